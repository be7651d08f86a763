#include "app/keyring.h"

#include "app/changes.h"
#include "platform/messagebox.h"
#include "storage/membersettings.h"

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcKeyring)

namespace basMain {

const QString KeyringLockedTip = QStringLiteral("%1 キーリングのロック解除を待っています");
const QString KeyringNoAnswerTip = QStringLiteral("%1 キーリングが応答しません（次の確認で再試行します）");
const QString KeyringGoneTip = QStringLiteral("%1 キーリングからパスワードを読めません");
const QString KeyringWaitingMessage =
    QStringLiteral("パスワードはキーリングにあります。キーリングのロックが解除されるとログインします。");
const QString KeyringNoAnswerMessage =
    QStringLiteral("キーリングが応答しないため、パスワードを読めません。次の確認で再試行します。");
const QString KeyringRefusedMessage =
    QStringLiteral("キーリングのロックが解除されなかったため、パスワードを読めませんでした。ログイン設定でパ"
                   "スワードを入力してください。");
const QString KeyringGoneMessage =
    QStringLiteral("キーリングにパスワードが見つかりません。ログイン設定でパスワードを入力してください。");
const QString KeyringNotSavedMessage = QStringLiteral("パスワードをキーリングに保存できませんでした。");
const QString KeyringNotRemovedMessage =
    QStringLiteral("パスワードを設定ファイルに戻しましたが、キーリングからは削除できませんでした。");
const QString KeyringUnreadMessage = QStringLiteral("キーリングからパスワードを読めないため、設定ファイルに戻"
                                                    "せません。ログイン設定でパスワードを入力してください。");

using Status = platform::SecretService::Status;

platform::SecretService::Attributes KeyringAttributes(const QString& mailAddress) {
    return {{QStringLiteral("xdg:schema"), QStringLiteral(KELVO_APP_ID)},
            {QStringLiteral("service"), QStringLiteral(KELVO_SERVICE_HOST)},
            {QStringLiteral("username"), mailAddress}};
}

QString KeyringLabel(const QString& mailAddress) {
    return QStringLiteral("KelvoMonitor (%1)").arg(mailAddress);
}

namespace {

void tellFailure(const QString& message, const platform::SecretService::Answer& answer) {
    QString why = answer.why;
    if (answer.status == Status::Dismissed)
        why = QStringLiteral("キーリングのロックが解除されませんでした。");
    else if (answer.status == Status::NoService)
        why = QStringLiteral("キーリング (Secret Service) が見つかりません。");
    else if (answer.status == Status::NoAnswer)
        why = QStringLiteral("キーリングが応答しません。");
    platform::ShowMessage(message + (why.isEmpty() ? QString() : QStringLiteral("\n") + why),
                          platform::MessageIcon::Warning);
}

inifileModule::IniEntry removal(Setting setting) {
    inifileModule::IniEntry e = SettingEntry(setting, QString());
    e.remove = true;
    return e;
}

} // namespace

PasswordRead ReadPassword() {
    if (!PasswordInKeyring()) {
        setPassword(ReadSetting(PasswordSetting));
        return PasswordRead::AtHand;
    }
    const auto answer = platform::secretService().read(KeyringAttributes(MailAddress()));
    switch (answer.status) {
    case Status::Done:
        setPassword(answer.secret);
        setKeyringHoldsPassword(true);
        return PasswordRead::AtHand;
    case Status::Locked:
        qCInfo(lcKeyring) << "the keyring is locked";
        setPasswordMissing();
        return PasswordRead::Locked;
    case Status::NotFound:
    case Status::NoService:
        qCWarning(lcKeyring) << "the password is not in the keyring:"
                             << (answer.why.isEmpty() ? QStringLiteral("no item for this address")
                                                      : answer.why);
        setPasswordMissing();
        return PasswordRead::Gone;
    case Status::NoAnswer:
    case Status::Dismissed:
    case Status::Failed:
        break;
    }
    qCWarning(lcKeyring) << "the keyring did not give the password:" << answer.why;
    setPasswordMissing();
    return PasswordRead::NoAnswer;
}

namespace {

// The password in the keyring first; only once it confirms are the file's
// entries written. A file that cannot be written takes the new item out
// again when `dropOnFailure` (the file still points elsewhere).
bool storeThenWrite(const QString& address, const QString& password,
                    const QList<inifileModule::IniEntry>& entries, bool dropOnFailure) {
    auto& keyring = platform::secretService();
    const auto stored = keyring.store(KeyringAttributes(address), KeyringLabel(address), password);
    if (stored.status != Status::Done) {
        tellFailure(KeyringNotSavedMessage, stored);
        return false;
    }
    if (WriteSettings(entries))
        return true;
    if (dropOnFailure)
        keyring.remove(KeyringAttributes(address));
    return false;
}

} // namespace

bool StoreCredentialsInKeyring(const frmLogin::Result& entered) {
    const QString before = ReadSetting(MailAddressSetting);
    const bool moved = before != entered.mailAddress;
    if (!storeThenWrite(entered.mailAddress, entered.password,
                        {SettingEntry(MailAddressSetting, entered.mailAddress), removal(PasswordSetting)},
                        moved))
        return false;
    if (moved && !before.isEmpty()) // the old address's item goes with it
        platform::secretService().remove(KeyringAttributes(before));
    setMailAddress(entered.mailAddress);
    setPassword(entered.password);
    setKeyringHoldsPassword(true);
    return true;
}

bool ChoosePasswordPlace(bool keyring) {
    if (keyring == PasswordInKeyring())
        return true;
    if (keyring) {
        if (!storeThenWrite(MailAddress(), Password(),
                            {SettingEntry(KeyringSetting, QStringLiteral("1")), removal(PasswordSetting)},
                            true))
            return false;
        setKeyringHoldsPassword(true);
        qCInfo(lcKeyring) << "the password is in the keyring";
        return true;
    }
    if (!PasswordAtHand()) {
        platform::ShowMessage(KeyringUnreadMessage, platform::MessageIcon::Warning);
        return false;
    }
    // In the file first: the password is never in neither.
    if (!WriteSettings({SettingEntry(PasswordSetting, Password()), removal(KeyringSetting)}))
        return false;
    setKeyringHoldsPassword(false);
    qCInfo(lcKeyring) << "the password is in the settings file";
    if (const auto removed = platform::secretService().remove(KeyringAttributes(MailAddress()));
        removed.status != Status::Done)
        tellFailure(KeyringNotRemovedMessage, removed);
    return true;
}

KeyringPassword::KeyringPassword(QObject* parent) : QObject(parent) {
    connect(&platform::secretService(), &platform::SecretService::unlockEnded, this,
            &KeyringPassword::unlockEnded);
}

void KeyringPassword::begin(PasswordRead read) {
    m_refused = false;
    m_toldGone = false;
    m_askedUnlock = false;
    settle(read);
}

bool KeyringPassword::retry() {
    if (PasswordAtHand())
        return true;
    settle(ReadPassword());
    return m_state == PasswordRead::AtHand;
}

void KeyringPassword::settle(PasswordRead read) {
    m_state = read;
    switch (read) {
    case PasswordRead::AtHand:
        m_refused = false;
        m_toldGone = false;
        break;
    case PasswordRead::Locked:
        // The desktop's own prompt, once a start: answered or turned away,
        // it is not raised at every tick (an unlock made elsewhere is read
        // at the next one).
        if (!m_askedUnlock) {
            m_askedUnlock = true;
            qCInfo(lcKeyring) << "asking the desktop to unlock the keyring";
            platform::secretService().askUnlock(KeyringAttributes(MailAddress()));
        }
        break;
    case PasswordRead::Gone:
        if (!m_toldGone) {
            m_toldGone = true;
            Q_EMIT loginNeeded(KeyringGoneMessage);
        }
        break;
    case PasswordRead::NoAnswer: // the next tick reads again
        break;
    }
}

void KeyringPassword::unlockEnded(Status status) {
    if (PasswordAtHand())
        return;
    switch (status) {
    case Status::Done: // read by whoever signs in, with the browser held
        Q_EMIT arrived();
        return;
    case Status::Dismissed:
        qCWarning(lcKeyring) << "the keyring's unlock was refused";
        if (!m_refused) {
            m_refused = true;
            Q_EMIT loginNeeded(KeyringRefusedMessage);
        }
        return;
    case Status::NotFound:
    case Status::NoService:
        return settle(PasswordRead::Gone);
    case Status::Locked:
    case Status::NoAnswer:
    case Status::Failed:
        m_state = PasswordRead::NoAnswer; // the next tick reads again
        return;
    }
}

QString KeyringPassword::tipLine(const QString& time) const {
    switch (m_state) {
    case PasswordRead::Locked:
        return KeyringLockedTip.arg(time);
    case PasswordRead::Gone:
        return KeyringGoneTip.arg(time);
    case PasswordRead::NoAnswer:
    case PasswordRead::AtHand:
        break;
    }
    return KeyringNoAnswerTip.arg(time);
}

QString KeyringPassword::message() const {
    switch (m_state) {
    case PasswordRead::Locked:
        return m_refused ? KeyringRefusedMessage : KeyringWaitingMessage;
    case PasswordRead::Gone:
        return KeyringGoneMessage;
    case PasswordRead::NoAnswer:
    case PasswordRead::AtHand:
        break;
    }
    return KeyringNoAnswerMessage;
}

} // namespace basMain
