#pragma once

// A benchmark run as the member of a kelvo-service of its own: the account,
// signed-in credentials and a member folder that goes with the run.
#include "storage/membersettings.h"
#include "tools/kelvo-service/client/kelvoservice.h"

#include <QTemporaryDir>

namespace bench {

template <class Body> int runAsMember(char* argv0, Body body) {
    char* ownArgv[] = {argv0, nullptr};
    return runWithService(1, ownArgv, {QStringLiteral("bench@example.com:bench")},
                          [&](KelvoService& service) {
                              QTemporaryDir dir;
                              basMain::setMemberDirForTesting(dir.path());
                              basMain::setMailAddress(QStringLiteral("bench@example.com"));
                              basMain::setPassword(QStringLiteral("bench"));
                              return body(service);
                          });
}

} // namespace bench
