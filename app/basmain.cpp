#include "app/basmain.h"

#include "app/changes.h"
#include "app/frmmain.h"
#include "dialogs/frmlogin.h"
#include "storage/inifile.h"
#include "storage/membersettings.h"

#include <QApplication>
#include <QScreen>

#include <memory>

namespace basMain {

using inifileModule::GetIniString;

namespace {
std::unique_ptr<frmMain> g_mainWindow;
}

frmMain* MainWindow() {
    return g_mainWindow.get();
}

void ReleaseMainWindow() {
    g_mainWindow.reset();
}

bool Main(const std::optional<QString>& renewedTip) {
    setMailAddress(
        GetIniString(QStringLiteral("address"), QStringLiteral("mail"), QString(), SettingsFilePath()));
    setPassword(GetIniString(QStringLiteral("pwd"), QStringLiteral("mail"), QString(), SettingsFilePath()));
    if (MailAddress().isEmpty()) {
        if (renewedTip)
            return false; // never asks: the copy before goes on
        const frmLogin::Result entered = frmLogin::Ask(QString(), QString());
        if (entered.mailAddress.isEmpty())
            return false;
        if (!StoreCredentials(entered)) {
            // Told; this run goes on with what the member typed.
            setMailAddress(entered.mailAddress);
            setPassword(entered.password);
        }
    }
    setFavoriteURL(
        GetIniString(QStringLiteral("favorite"), QStringLiteral("url"), QString(), SettingsFilePath()));
    g_mainWindow = std::make_unique<frmMain>();
    if (renewedTip)
        g_mainWindow->setRenewed(*renewedTip);
    g_mainWindow->Form_Load();
    if (g_mainWindow->isUnloaded())
        return false; // a close request came during the load
    // Loaded, then placed beyond the screen's bottom-right corner, shown and hidden:
    // it exists for the window system but is never seen.
    if (QScreen* screen = QGuiApplication::primaryScreen())
        g_mainWindow->move(screen->geometry().width(), screen->geometry().height());
    g_mainWindow->setAttribute(Qt::WA_DontShowOnScreen);
    g_mainWindow->show();
    g_mainWindow->hide();
    return true;
}

} // namespace basMain
