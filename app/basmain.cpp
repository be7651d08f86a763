#include "app/basmain.h"

#include "app/changes.h"
#include "app/frmmain.h"
#include "app/keyring.h"
#include "dialogs/frmlogin.h"
#include "storage/inifile.h"
#include "storage/membersettings.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QScreen>

#include <memory>

Q_DECLARE_LOGGING_CATEGORY(lcStart)

namespace basMain {

std::unique_ptr<frmMain> Main(const std::optional<QString>& renewedTip) {
    setMailAddress(ReadSetting(MailAddressSetting));
    setPassword(ReadSetting(PasswordSetting));
    const PasswordRead read = MailAddress().isEmpty() ? PasswordRead::AtHand : ReadPassword();
    if (renewedTip && read != PasswordRead::AtHand) {
        qCWarning(lcStart) << "no renewal: the keyring did not give the password";
        return nullptr; // the copy before goes on, and asks nothing either
    }
    if (MailAddress().isEmpty()) {
        if (renewedTip)
            return nullptr; // never asks: the copy before goes on
        const frmLogin::Result entered = frmLogin::Ask(QString(), QString());
        if (entered.mailAddress.isEmpty())
            return nullptr;
        if (!StoreCredentials(entered)) {
            // Told; this run goes on with what the member typed.
            setMailAddress(entered.mailAddress);
            setPassword(entered.password);
        }
    }
    setFavoriteURL(ReadSetting(FavoriteSetting));
    auto main = std::make_unique<frmMain>();
    main->setPasswordRead(read);
    if (renewedTip)
        main->setRenewed(*renewedTip);
    main->Form_Load();
    if (main->isUnloaded())
        return nullptr; // a close request came during the load
    // Loaded, then placed beyond the screen's bottom-right corner, shown and hidden:
    // it exists for the window system but is never seen.
    if (QScreen* screen = QGuiApplication::primaryScreen())
        main->move(screen->geometry().width(), screen->geometry().height());
    main->setAttribute(Qt::WA_DontShowOnScreen);
    main->show();
    main->hide();
    return main;
}

} // namespace basMain
