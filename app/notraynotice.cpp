#include "app/notraynotice.h"

#include "platform/placement.h"
#include "platform/tray.h"
#include "platform/traywatcher.h"
#include "storage/inifile.h"
#include "storage/membersettings.h"

const QString NoTrayNotice::Section = QString::fromLatin1(basMain::TrayNoticeSetting.section);
const QString NoTrayNotice::Key = QString::fromLatin1(basMain::TrayNoticeSetting.key);
const QString NoTrayNotice::Off = QStringLiteral("off");

NoTrayNotice::NoTrayNotice(platform::TrayIcon* tray, QObject* parent) : QObject(parent), m_tray(tray) {
    // Long enough for a tray that starts with the session to have come.
    m_timer.setInterval(30000);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &NoTrayNotice::Show);
    connect(m_tray, &platform::TrayIcon::shownChanged, this, [this](bool shown) {
        if (shown && m_window)
            m_window->reject(); // the icon is the door now
    });
    connect(
        m_tray, &platform::TrayIcon::trayOfAnotherKind, this,
        [this] {
            m_told = false; // a new situation, told once more
            Show();
        },
        Qt::QueuedConnection);
    m_timer.start();
}

void NoTrayNotice::stop() {
    m_stopped = true;
    m_timer.stop();
}

void NoTrayNotice::Show() {
    if (m_stopped || m_told || m_tray->isShown())
        return;
    using inifileModule::GetIniString;
    if (GetIniString(Key, Section, QString(), basMain::SettingsFilePath()) == Off)
        return;
    m_told = true;
    auto* notice = new frmNoTray;
    m_window = notice;
    connect(notice, &QDialog::finished, this, [notice] {
        if (notice->dontShowAgain() &&
            !inifileModule::WriteIniString(Off, Key, Section, basMain::SettingsFilePath()))
            qCWarning(lcTray) << "could not keep the no-tray notice away for later starts";
        notice->deleteLater();
    });
    basWin32API::SetTopMost(*notice);
    notice->show();
}
