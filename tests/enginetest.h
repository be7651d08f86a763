#pragma once

#include "tools/kelvo-service/client/kelvoservice.h"

#include <QTest>

#include <memory>

// Runs a test object's functions in an application whose engine reaches `accounts`' site.
inline int runEngineTest(int argc, char* argv[], const QStringList& accounts,
                         const std::function<QObject*(KelvoService&)>& makeTest) {
    const QStringList testArgs = platform::argumentList(argc, argv);
    return runWithService(argc, argv, accounts, [&](KelvoService& service) {
        std::unique_ptr<QObject> test(makeTest(service));
        return QTest::qExec(test.get(), testArgs);
    });
}
