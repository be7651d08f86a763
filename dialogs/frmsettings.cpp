#include "dialogs/frmsettings.h"

#include "platform/autostart.h"
#include "platform/messagebox.h"
#include "platform/modal.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QPushButton>

const QString frmSettings::AutostartFailedMessage = QStringLiteral("ログイン時の起動を設定できません。");

frmSettings::frmSettings(QWidget* parent) : SmallWindow(427, 196, parent) {
    setObjectName(QStringLiteral("frmSettings"));
    addTitle(QStringLiteral(" Kelvo+ログイン"), 429);
    cmdLogin = addButton("cmdLogin", QStringLiteral("ログイン設定"), QRect(44, 44, 341, 29));
    cmdFavorite = addButton("cmdFavorite", QStringLiteral("お気に入り設定"), QRect(44, 84, 341, 29));
    cmdClose = addButton("cmdClose", QStringLiteral("閉じる"), QRect(44, 124, 341, 29));
    // No default button: Enter presses the focused one.
    for (QPushButton* b : {cmdLogin, cmdFavorite, cmdClose}) {
        b->setAutoDefault(true);
        b->setDefault(false);
    }
    // Below the three buttons: whether the member's autostart entry exists.
    chkAutostart = new QCheckBox(QStringLiteral("ログイン時に起動する"), client());
    chkAutostart->setObjectName(QStringLiteral("chkAutostart"));
    chkAutostart->setGeometry(QRect(44, 162, 341, 26));
    chkAutostart->setChecked(platform::autostartEnabled(QStringLiteral(KELVO_APP_ID)));
    setTabOrder(cmdLogin, cmdFavorite);
    setTabOrder(cmdFavorite, cmdClose);
    setTabOrder(cmdClose, chkAutostart);
    cmdLogin->setFocus();
    connect(cmdLogin, &QPushButton::clicked, this, [this] { choose(Action::Login); });
    connect(cmdFavorite, &QPushButton::clicked, this, [this] { choose(Action::Favorite); });
    connect(cmdClose, &QPushButton::clicked, this, &frmSettings::cmdClose_Click);
    connect(chkAutostart, &QCheckBox::toggled, this, &frmSettings::chkAutostart_Toggled);
    centerOnScreen();
}

void frmSettings::choose(Action action) {
    m_chosen = action;
    done(0);
}

void frmSettings::chkAutostart_Toggled(bool on) {
    if (platform::setAutostart(QStringLiteral(KELVO_APP_ID), QCoreApplication::applicationFilePath(), on))
        return;
    const QSignalBlocker quiet(chkAutostart);
    chkAutostart->setChecked(platform::autostartEnabled(QStringLiteral(KELVO_APP_ID)));
    platform::ShowMessage(AutostartFailedMessage, platform::MessageIcon::Warning);
}

frmSettings::Action frmSettings::Ask() {
    return platform::askWindow(new frmSettings, Action::None, [](frmSettings& d) { return d.chosen(); });
}
