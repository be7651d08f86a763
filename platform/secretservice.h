#pragma once

// The desktop's keyring (GNOME Keyring, KWallet, KeePassXC) through the
// Secret Service on the session bus, spoken to over QtDBus: every call is
// bounded, a locked keyring is told apart from a missing item, and unlocking
// is the desktop's own prompt, waited for on Qt's event loop.

#include <QDBusConnection>
#include <QMap>
#include <QObject>
#include <QString>

class QDBusMessage;

namespace platform {

class SecretService : public QObject {
    Q_OBJECT
public:
    enum class Status {
        Done,
        Locked,    // the item's collection is locked: nothing read
        NotFound,  // no such item
        NoService, // nobody provides the Secret Service
        NoAnswer,  // it is there but did not answer in time
        Dismissed, // the member turned the unlock prompt away
        Failed,    // any other error, with its words
    };
    struct Answer {
        Status status = Status::Failed;
        QString secret;
        QString why; // the service's words for a failure
    };
    using Attributes = QMap<QString, QString>;

    explicit SecretService(const QDBusConnection& bus, QObject* parent = nullptr);

    static constexpr int DefaultCallTimeoutMs = 3000;
    // How long the desktop's prompt may wait for the member inside a store.
    static constexpr int PromptWaitMs = 5 * 60 * 1000;
    void setCallTimeoutMs(int ms) { m_timeoutMs = ms; }

    // Whether a Secret Service answers.
    Status probe();
    // The secret of the first item with these attributes. Never prompts.
    Answer read(const Attributes& attributes);
    // Stores it in the default collection (replacing an item with the same
    // attributes), asking the desktop to unlock or make the collection when
    // need be, and waiting (PromptWaitMs at most) for the member's answer.
    Answer store(const Attributes& attributes, const QString& label, const QString& secret);
    // Deletes every item with these attributes: Done also when none was there.
    Answer remove(const Attributes& attributes);
    // Asks the desktop to unlock the items with these attributes (their
    // collections), and returns at once; unlockEnded follows (Done,
    // Dismissed or the failure). One at a time.
    void askUnlock(const Attributes& attributes);

Q_SIGNALS:
    void unlockEnded(platform::SecretService::Status status);

private:
    struct Reply;
    Reply call(const QString& path, const QString& interface, const QString& method,
               const QList<QVariant>& arguments, int timeoutMs = -1);
    Answer openSession(QString* session);
    void closeSession(const QString& session);
    Answer defaultCollection(QString* path, bool make);
    Answer unlockCollection(const QString& path);
    // Unlocks these objects, waiting for the desktop's prompt if one comes.
    Answer unlock(const QStringList& objects);
    Answer runPrompt(const QString& prompt, QVariant* result = nullptr);
    Answer search(const Attributes& attributes, QStringList* unlocked, QStringList* locked);

    QDBusConnection m_bus;
    int m_timeoutMs = DefaultCallTimeoutMs;
    bool m_unlocking = false;
};

// The session bus's, one for the process.
SecretService& secretService();
// Tests point the program at a Secret Service on a bus of their own.
void setSecretServiceForTesting(SecretService* service);

} // namespace platform
