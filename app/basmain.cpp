#include "app/basmain.h"

#include "dialogs/frmlogin.h"
#include "platform/modal.h"
#include "storage/inifile.h"
#include "storage/membersettings.h"

#include <QPointer>

namespace basMain {

using inifileModule::GetIniString;
using inifileModule::WriteIniString;

Credentials AskCredentials(const QString& mailAddress, const QString& password) {
    QPointer<frmLogin> dialog = new frmLogin;
    dialog->setAttribute(Qt::WA_DeleteOnClose, false);
    dialog->setMailAddress(mailAddress);
    dialog->setPassword(password);
    platform::showAndWait(dialog);
    Credentials result;
    if (dialog) {
        result.mailAddress = dialog->MailAddress();
        result.password = dialog->Password();
        delete dialog;
    }
    return result;
}

bool Main() {
    setMailAddress(
        GetIniString(QStringLiteral("address"), QStringLiteral("mail"), QString(), SettingsFilePath()));
    setPassword(GetIniString(QStringLiteral("pwd"), QStringLiteral("mail"), QString(), SettingsFilePath()));
    if (MailAddress().isEmpty()) {
        const Credentials entered = AskCredentials(QString(), QString());
        setMailAddress(entered.mailAddress);
        setPassword(entered.password);
        if (MailAddress().isEmpty())
            return false;
        WriteIniString(MailAddress(), QStringLiteral("address"), QStringLiteral("mail"), SettingsFilePath());
        WriteIniString(Password(), QStringLiteral("pwd"), QStringLiteral("mail"), SettingsFilePath());
    }
    setFavoriteURL(
        GetIniString(QStringLiteral("favorite"), QStringLiteral("url"), QString(), SettingsFilePath()));
    // The main window comes with the tray program; until then start-up ends here.
    return false;
}

} // namespace basMain
