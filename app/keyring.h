#pragma once

// The member's password in the desktop's keyring, for the member who chose
// it in 設定: where it is read from and stored, how it moves between the
// settings file and the keyring, and a password the keyring has not given
// yet (locked, gone, silent). The settings file says where it is
// (KeyringSetting); the file stays the default.

#include "dialogs/frmlogin.h"
#include "platform/secretservice.h"

#include <QObject>

namespace basMain {

extern const QString KeyringLockedTip;   // %1: HH:MM
extern const QString KeyringNoAnswerTip; // %1: HH:MM
extern const QString KeyringGoneTip;     // %1: HH:MM
extern const QString KeyringWaitingMessage;
extern const QString KeyringNoAnswerMessage;
extern const QString KeyringRefusedMessage;
extern const QString KeyringGoneMessage;
extern const QString KeyringNotSavedMessage;
extern const QString KeyringNotRemovedMessage;
extern const QString KeyringUnreadMessage;

// The keyring's item for this address: the program's, and the member's.
platform::SecretService::Attributes KeyringAttributes(const QString& mailAddress);
QString KeyringLabel(const QString& mailAddress);

enum class PasswordRead { AtHand, Locked, Gone, NoAnswer };
// Reads the password from where the settings file says, into memory; when
// it is not at hand, nothing may sign in (PasswordAtHand). Never prompts.
PasswordRead ReadPassword();

// Stores new credentials where the file says the password goes: the
// keyring first, then the file's address. A failure is told with its
// reason and changes nothing in memory.
bool StoreCredentialsInKeyring(const frmLogin::Result& entered);

// The member's choice in 設定: the password moves to the keyring, and
// leaves the file only once the keyring holds it; or back to the file
// first, and then leaves the keyring. False, told, when it did not move.
bool ChoosePasswordPlace(bool keyring);

// A password that the keyring has not given yet: the desktop's unlock
// prompt, a read again at each tick, and what the member is told (once).
class KeyringPassword : public QObject {
    Q_OBJECT
public:
    explicit KeyringPassword(QObject* parent = nullptr);

    // After the start's read.
    void begin(PasswordRead read);
    // Reads again; true when the password is at hand.
    bool retry();
    QString tipLine(const QString& time) const;
    // For the member who asked for a check meanwhile.
    QString message() const;

Q_SIGNALS:
    // Unlocked: read the password again (retry) and sign in.
    void arrived();
    // The keyring is gone, or its unlock was refused: told once, and the
    // member is asked for the password.
    void loginNeeded(const QString& why);

private:
    void settle(PasswordRead read);
    void unlockEnded(platform::SecretService::Status status);

    PasswordRead m_state = PasswordRead::AtHand;
    bool m_refused = false;
    bool m_askedUnlock = false;
    bool m_toldGone = false;
};

} // namespace basMain
