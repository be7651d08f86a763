#pragma once

// A session bus of the test's own, with a real GNOME Keyring on it when
// asked for: no service files, so nothing is started behind the test's back
// (the keyring's prompter included: an unlock prompt is turned away at once).

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

class KeyringBus {
public:
    static constexpr const char* KeyringPassword = "keyring-pass";

    KeyringBus() {
        const QString config = m_dir.filePath(QStringLiteral("bus.conf"));
        QFile f(config);
        if (!f.open(QIODevice::WriteOnly))
            return;
        f.write("<busconfig><type>session</type><listen>unix:dir=" + m_dir.path().toUtf8() +
                "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                "<allow own=\"*\"/></policy></busconfig>\n");
        f.close();
        m_bus.start(QStringLiteral("dbus-daemon"),
                    {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                     QStringLiteral("--print-address=1")});
        if (!m_bus.waitForReadyRead(10000))
            return;
        m_address = QString::fromUtf8(m_bus.readLine().trimmed());
        m_name = QStringLiteral("keyring-bus-%1").arg(reinterpret_cast<quintptr>(this));
        QDBusConnection::connectToBus(m_address, m_name);
    }
    ~KeyringBus() {
        stopKeyring();
        QDBusConnection::disconnectFromBus(m_name);
        m_bus.terminate();
        m_bus.waitForFinished(5000);
    }

    QDBusConnection connection() const { return QDBusConnection(m_name); }
    QString address() const { return m_address; }

    // gnome-keyring-daemon as at a login: its login keyring made, unlocked,
    // and the default; its files under a home of its own.
    bool startKeyring() {
        m_keyring = std::make_unique<QProcess>();
        QProcessEnvironment env = environment();
        env.insert(QStringLiteral("HOME"), m_dir.path());
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_dir.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.path());
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        m_keyring->setProcessEnvironment(env);
        m_keyring->start(QStringLiteral("gnome-keyring-daemon"),
                         {QStringLiteral("--foreground"), QStringLiteral("--unlock"),
                          QStringLiteral("--components=secrets")});
        if (!m_keyring->waitForStarted(5000))
            return false;
        m_keyring->write(KeyringPassword);
        m_keyring->closeWriteChannel();
        auto* bus = connection().interface();
        return QTest::qWaitFor(
            [bus] { return bus->isServiceRegistered(QStringLiteral("org.freedesktop.secrets")); }, 10000);
    }
    void stopKeyring() {
        if (!m_keyring)
            return;
        ::kill(static_cast<pid_t>(m_keyring->processId()), SIGCONT);
        m_keyring->terminate();
        m_keyring->waitForFinished(5000);
        m_keyring.reset();
    }
    // Registered, and never answering.
    void freezeKeyring(bool frozen) {
        ::kill(static_cast<pid_t>(m_keyring->processId()), frozen ? SIGSTOP : SIGCONT);
    }

    QDBusMessage callService(const QString& path, const QString& interface, const QString& method,
                             const QVariantList& arguments) const {
        QDBusMessage m = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.secrets"), path,
                                                        interface, method);
        m.setArguments(arguments);
        return connection().call(m, QDBus::Block, 5000);
    }
    // The Secret Service's Lock, as a screen lock or the member's Seahorse does.
    void lockLogin() const {
        callService(QStringLiteral("/org/freedesktop/secrets"),
                    QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("Lock"),
                    {QVariant::fromValue(QList<QDBusObjectPath>{QDBusObjectPath(Login)})});
    }
    // Unlocked by its password, as the desktop's prompt would.
    void unlockLogin() const {
        const QDBusMessage session =
            callService(QStringLiteral("/org/freedesktop/secrets"),
                        QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("OpenSession"),
                        {QStringLiteral("plain"), QVariant::fromValue(QDBusVariant(QString()))});
        QDBusArgument master;
        master.beginStructure();
        master << session.arguments().value(1).value<QDBusObjectPath>() << QByteArray()
               << QByteArray(KeyringPassword) << QStringLiteral("text/plain");
        master.endStructure();
        callService(QStringLiteral("/org/freedesktop/secrets"),
                    QStringLiteral("org.gnome.keyring.InternalUnsupportedGuiltRiddenInterface"),
                    QStringLiteral("UnlockWithMasterPassword"),
                    {QVariant::fromValue(QDBusObjectPath(Login)), QVariant::fromValue(master)});
    }

    // secret-tool, as a member would look.
    QString secretTool(const QStringList& arguments, const QByteArray& input = {}) const {
        QProcess tool;
        tool.setProcessEnvironment(environment());
        tool.start(QStringLiteral("secret-tool"), arguments);
        tool.write(input);
        tool.closeWriteChannel();
        tool.waitForFinished(10000);
        return QString::fromUtf8(tool.readAllStandardOutput());
    }
    QString keyringFolder() const { return m_dir.filePath(QStringLiteral("data/keyrings")); }

private:
    static constexpr const char* Login = "/org/freedesktop/secrets/collection/login";
    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
        return env;
    }

    QTemporaryDir m_dir;
    QProcess m_bus;
    QString m_address;
    QString m_name;
    std::unique_ptr<QProcess> m_keyring;
};
