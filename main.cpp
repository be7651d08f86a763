#include "app/basmain.h"
#include "platform/engine.h"

#include <QApplication>

#include <vector>

int main(int argc, char* argv[]) {
    QStringList raw;
    for (int i = 0; i < argc; ++i)
        raw << QString::fromLocal8Bit(argv[i]);
    const QStringList prepared = platform::prepareEngine(raw);
    std::vector<QByteArray> storage;
    for (const QString& arg : prepared)
        storage.push_back(arg.toLocal8Bit());
    std::vector<char*> args;
    for (QByteArray& arg : storage)
        args.push_back(arg.data());
    args.push_back(nullptr);
    int count = static_cast<int>(storage.size());

    QApplication app(count, args.data());
    QApplication::setApplicationName(QStringLiteral("KelvoMonitor"));
    QApplication::setApplicationVersion(QStringLiteral(KELVO_VERSION));
    // The program ends through its close sequence, not when a window closes.
    QApplication::setQuitOnLastWindowClosed(false);
    if (!basMain::Main())
        return 0;
    return QApplication::exec();
}
