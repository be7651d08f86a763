#include "platform/secretservice.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QTimer>

Q_LOGGING_CATEGORY(lcKeyring, "kelvo.keyring", QtWarningMsg)

namespace {

const QString Service = QStringLiteral("org.freedesktop.secrets");
const QString ServicePath = QStringLiteral("/org/freedesktop/secrets");
const QString ServiceInterface = QStringLiteral("org.freedesktop.Secret.Service");
const QString CollectionInterface = QStringLiteral("org.freedesktop.Secret.Collection");
const QString ItemInterface = QStringLiteral("org.freedesktop.Secret.Item");
const QString PromptInterface = QStringLiteral("org.freedesktop.Secret.Prompt");
const QString NoPrompt = QStringLiteral("/");

// The Secret Service's (oayays): a secret as it crosses the bus.
struct SecretValue {
    QDBusObjectPath session;
    QByteArray parameters;
    QByteArray value;
    QString contentType;
};

QDBusArgument& operator<<(QDBusArgument& argument, const SecretValue& secret) {
    argument.beginStructure();
    argument << secret.session << secret.parameters << secret.value << secret.contentType;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, SecretValue& secret) {
    argument.beginStructure();
    argument >> secret.session >> secret.parameters >> secret.value >> secret.contentType;
    argument.endStructure();
    return argument;
}

void registerTypes() {
    static const bool done = [] {
        qDBusRegisterMetaType<SecretValue>();
        qDBusRegisterMetaType<QMap<QString, QString>>();
        qDBusRegisterMetaType<QList<QDBusObjectPath>>();
        return true;
    }();
    Q_UNUSED(done)
}

using Status = platform::SecretService::Status;

platform::SecretService::Answer failureOf(const QDBusMessage& error) {
    const QString name = error.errorName();
    const QString why = error.errorMessage().isEmpty() ? name : error.errorMessage();
    Status status = Status::Failed;
    if (name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
        name == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner") ||
        name == QLatin1String("org.freedesktop.DBus.Error.Disconnected") ||
        name.startsWith(QLatin1String("org.freedesktop.DBus.Error.Spawn")))
        status = Status::NoService;
    else if (name == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
             name == QLatin1String("org.freedesktop.DBus.Error.Timeout") ||
             name == QLatin1String("org.freedesktop.DBus.Error.TimedOut"))
        status = Status::NoAnswer;
    else if (name == QLatin1String("org.freedesktop.Secret.Error.IsLocked"))
        status = Status::Locked;
    else if (name == QLatin1String("org.freedesktop.Secret.Error.NoSuchObject") ||
             name == QLatin1String("org.freedesktop.DBus.Error.UnknownObject"))
        status = Status::NotFound;
    return {status, QString(), why};
}

QString pathOf(const QVariant& value) {
    return value.value<QDBusObjectPath>().path();
}

QStringList pathsOf(const QVariant& value) {
    QStringList paths;
    for (const QDBusObjectPath& p : qdbus_cast<QList<QDBusObjectPath>>(value))
        paths << p.path();
    return paths;
}

QVariant pathList(const QStringList& paths) {
    QList<QDBusObjectPath> list;
    for (const QString& p : paths)
        list << QDBusObjectPath(p);
    return QVariant::fromValue(list);
}

// The end of one prompt: its Completed signal, or the end of the wait.
class PromptWatch : public QObject {
    Q_OBJECT
public:
    bool ended = false;
    bool dismissed = true;
    QVariant result;
public Q_SLOTS:
    void completed(bool wasDismissed, const QDBusVariant& value) {
        ended = true;
        dismissed = wasDismissed;
        result = value.variant();
        Q_EMIT done();
    }
Q_SIGNALS:
    void done();
};

} // namespace

Q_DECLARE_METATYPE(SecretValue)

namespace platform {

struct SecretService::Reply {
    Answer answer;
    QList<QVariant> values;
};

SecretService::SecretService(const QDBusConnection& bus, QObject* parent) : QObject(parent), m_bus(bus) {
    registerTypes();
}

SecretService::Reply SecretService::call(const QString& path, const QString& interface, const QString& method,
                                         const QList<QVariant>& arguments, int timeoutMs) {
    Reply reply;
    if (!m_bus.isConnected()) {
        reply.answer = {Status::NoService, QString(), QStringLiteral("no session bus")};
        return reply;
    }
    QDBusMessage message = QDBusMessage::createMethodCall(Service, path, interface, method);
    message.setArguments(arguments);
    // On the event loop, so that the tray and every door answer meanwhile;
    // bounded by the call's own timeout.
    QDBusPendingCall pending = m_bus.asyncCall(message, timeoutMs < 0 ? m_timeoutMs : timeoutMs);
    if (!pending.isFinished()) {
        QDBusPendingCallWatcher watcher(pending);
        QEventLoop loop;
        connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
        loop.exec();
    }
    const QDBusMessage answer = pending.reply();
    if (answer.type() != QDBusMessage::ReplyMessage) {
        reply.answer = failureOf(answer);
        qCInfo(lcKeyring) << method << "failed:" << answer.errorName() << answer.errorMessage();
        return reply;
    }
    reply.answer.status = Status::Done;
    reply.values = answer.arguments();
    return reply;
}

SecretService::Status SecretService::probe() {
    // Answered by any Secret Service, without touching a collection.
    return call(ServicePath, QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping"), {})
        .answer.status;
}

SecretService::Answer SecretService::openSession(QString* session) {
    // Plain: the secret crosses the member's own session bus, whose other
    // clients could as well ask the unlocked keyring for it.
    const Reply r = call(ServicePath, ServiceInterface, QStringLiteral("OpenSession"),
                         {QStringLiteral("plain"), QVariant::fromValue(QDBusVariant(QString()))});
    if (r.answer.status == Status::Done && r.values.size() == 2)
        *session = pathOf(r.values.at(1));
    return r.answer;
}

void SecretService::closeSession(const QString& session) {
    call(session, QStringLiteral("org.freedesktop.Secret.Session"), QStringLiteral("Close"), {});
}

SecretService::Answer SecretService::search(const Attributes& attributes, QStringList* unlocked,
                                            QStringList* locked) {
    const Reply r =
        call(ServicePath, ServiceInterface, QStringLiteral("SearchItems"), {QVariant::fromValue(attributes)});
    if (r.answer.status == Status::Done && r.values.size() == 2) {
        *unlocked = pathsOf(r.values.at(0));
        *locked = pathsOf(r.values.at(1));
    }
    return r.answer;
}

SecretService::Answer SecretService::read(const Attributes& attributes) {
    QStringList unlocked, locked;
    if (const Answer a = search(attributes, &unlocked, &locked); a.status != Status::Done)
        return a;
    if (unlocked.isEmpty())
        return {locked.isEmpty() ? Status::NotFound : Status::Locked, QString(), QString()};
    QString session;
    if (const Answer a = openSession(&session); a.status != Status::Done)
        return a;
    const Reply r = call(unlocked.first(), ItemInterface, QStringLiteral("GetSecret"),
                         {QVariant::fromValue(QDBusObjectPath(session))});
    closeSession(session);
    if (r.answer.status != Status::Done)
        return r.answer;
    const auto secret = qdbus_cast<SecretValue>(r.values.value(0));
    return {Status::Done, QString::fromUtf8(secret.value), QString()};
}

SecretService::Answer SecretService::runPrompt(const QString& prompt, QVariant* result) {
    if (prompt.isEmpty() || prompt == NoPrompt)
        return {Status::Done, QString(), QString()};
    PromptWatch watch;
    m_bus.connect(Service, prompt, PromptInterface, QStringLiteral("Completed"), &watch,
                  SLOT(completed(bool, QDBusVariant)));
    if (const Reply r = call(prompt, PromptInterface, QStringLiteral("Prompt"), {QString()});
        r.answer.status != Status::Done)
        return r.answer;
    if (!watch.ended) {
        QEventLoop loop;
        QTimer bound;
        bound.setSingleShot(true);
        connect(&watch, &PromptWatch::done, &loop, &QEventLoop::quit);
        connect(&bound, &QTimer::timeout, &loop, &QEventLoop::quit);
        bound.start(PromptWaitMs);
        loop.exec();
    }
    if (!watch.ended) {
        call(prompt, PromptInterface, QStringLiteral("Dismiss"), {});
        return {Status::NoAnswer, QString(), QStringLiteral("the prompt was not answered")};
    }
    if (result)
        *result = watch.result;
    return {watch.dismissed ? Status::Dismissed : Status::Done, QString(), QString()};
}

SecretService::Answer SecretService::defaultCollection(QString* path, bool make) {
    const Reply r =
        call(ServicePath, ServiceInterface, QStringLiteral("ReadAlias"), {QStringLiteral("default")});
    if (r.answer.status != Status::Done)
        return r.answer;
    *path = pathOf(r.values.value(0));
    if (*path != NoPrompt || !make)
        return r.answer;
    // A keyring without any collection yet: the desktop makes one, asking
    // the member for its password.
    const QVariantMap properties{
        {QStringLiteral("org.freedesktop.Secret.Collection.Label"), QStringLiteral("Login")}};
    const Reply made = call(ServicePath, ServiceInterface, QStringLiteral("CreateCollection"),
                            {properties, QStringLiteral("default")});
    if (made.answer.status != Status::Done)
        return made.answer;
    *path = pathOf(made.values.value(0));
    QVariant result;
    const Answer prompted = runPrompt(pathOf(made.values.value(1)), &result);
    if (*path == NoPrompt)
        *path = pathOf(result);
    return prompted;
}

SecretService::Answer SecretService::unlockCollection(const QString& path) {
    const Reply locked = call(path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                              {CollectionInterface, QStringLiteral("Locked")});
    if (locked.answer.status != Status::Done)
        return locked.answer;
    if (!locked.values.value(0).value<QDBusVariant>().variant().toBool())
        return locked.answer;
    return unlock({path});
}

SecretService::Answer SecretService::unlock(const QStringList& objects) {
    const Reply r = call(ServicePath, ServiceInterface, QStringLiteral("Unlock"), {pathList(objects)});
    if (r.answer.status != Status::Done)
        return r.answer;
    return runPrompt(pathOf(r.values.value(1)));
}

SecretService::Answer SecretService::store(const Attributes& attributes, const QString& label,
                                           const QString& secret) {
    QString collection;
    if (const Answer a = defaultCollection(&collection, true); a.status != Status::Done)
        return a;
    if (collection == NoPrompt)
        return {Status::Failed, QString(), QStringLiteral("no keyring to store in")};
    if (const Answer a = unlockCollection(collection); a.status != Status::Done)
        return a;
    QString session;
    if (const Answer a = openSession(&session); a.status != Status::Done)
        return a;
    const QVariantMap properties{
        {QStringLiteral("org.freedesktop.Secret.Item.Label"), label},
        {QStringLiteral("org.freedesktop.Secret.Item.Attributes"), QVariant::fromValue(attributes)}};
    const SecretValue value{QDBusObjectPath(session), QByteArray(), secret.toUtf8(),
                            QStringLiteral("text/plain")};
    const Reply r = call(collection, CollectionInterface, QStringLiteral("CreateItem"),
                         {properties, QVariant::fromValue(value), true});
    closeSession(session);
    if (r.answer.status != Status::Done)
        return r.answer;
    return runPrompt(pathOf(r.values.value(1)));
}

SecretService::Answer SecretService::remove(const Attributes& attributes) {
    QStringList unlocked, locked;
    if (const Answer a = search(attributes, &unlocked, &locked); a.status != Status::Done)
        return a;
    if (!locked.isEmpty()) {
        if (const Answer a = unlock(locked); a.status != Status::Done)
            return a;
        unlocked += locked;
    }
    for (const QString& item : std::as_const(unlocked)) {
        const Reply r = call(item, ItemInterface, QStringLiteral("Delete"), {});
        if (r.answer.status != Status::Done)
            return r.answer;
        if (const Answer a = runPrompt(pathOf(r.values.value(0))); a.status != Status::Done)
            return a;
    }
    return {Status::Done, QString(), QString()};
}

void SecretService::askUnlock(const Attributes& attributes) {
    if (m_unlocking)
        return;
    auto end = [this](Status status) {
        m_unlocking = false;
        // Never inside the caller's own call.
        QMetaObject::invokeMethod(
            this, [this, status] { Q_EMIT unlockEnded(status); }, Qt::QueuedConnection);
    };
    m_unlocking = true;
    QStringList unlocked, locked;
    if (const Answer a = search(attributes, &unlocked, &locked); a.status != Status::Done)
        return end(a.status);
    if (locked.isEmpty())
        return end(unlocked.isEmpty() ? Status::NotFound : Status::Done);
    const Reply r = call(ServicePath, ServiceInterface, QStringLiteral("Unlock"), {pathList(locked)});
    if (r.answer.status != Status::Done)
        return end(r.answer.status);
    const QString prompt = pathOf(r.values.value(1));
    if (prompt == NoPrompt)
        return end(Status::Done);
    // The prompt may stand for as long as the member likes: nothing waits on it.
    auto* watch = new PromptWatch;
    watch->setParent(this);
    m_bus.connect(Service, prompt, PromptInterface, QStringLiteral("Completed"), watch,
                  SLOT(completed(bool, QDBusVariant)));
    connect(watch, &PromptWatch::done, this, [this, watch] {
        watch->deleteLater();
        m_unlocking = false;
        qCInfo(lcKeyring) << "unlock prompt answered, dismissed:" << watch->dismissed;
        Q_EMIT unlockEnded(watch->dismissed ? Status::Dismissed : Status::Done);
    });
    if (const Reply shown = call(prompt, PromptInterface, QStringLiteral("Prompt"), {QString()});
        shown.answer.status != Status::Done) {
        watch->deleteLater();
        return end(shown.answer.status);
    }
}

namespace {
SecretService* g_testService = nullptr;
} // namespace

SecretService& secretService() {
    if (g_testService)
        return *g_testService;
    static SecretService* service = new SecretService(QDBusConnection::sessionBus(), qApp);
    return *service;
}

void setSecretServiceForTesting(SecretService* service) {
    g_testService = service;
}

} // namespace platform

#include "secretservice.moc"
