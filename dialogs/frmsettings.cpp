#include "dialogs/frmsettings.h"

#include "web/changes.h"

#include <QPushButton>

frmSettings::frmSettings(QWidget* parent) : SmallWindow(427, 170, parent) {
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
    setTabOrder(cmdLogin, cmdFavorite);
    setTabOrder(cmdFavorite, cmdClose);
    cmdLogin->setFocus();
    connect(cmdLogin, &QPushButton::clicked, this, &frmSettings::cmdLogin_Click);
    connect(cmdFavorite, &QPushButton::clicked, this, &frmSettings::cmdFavorite_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmSettings::cmdClose_Click);
    centerOnScreen();
}

void frmSettings::cmdLogin_Click() {
    // Off the screen before the next dialog, but the opener keeps waiting
    // until the whole action has run.
    setProperty("kelvoHoldWait", true);
    hide();
    if (m_owner) {
        if (platform::BrowserPtr browser = m_owner->ie()) {
            m_owner->beginCredentialChange();
            basMain::ChangeLogin(*browser);
            m_owner->endCredentialChange();
        }
    }
    done(0);
}

void frmSettings::cmdFavorite_Click() {
    setProperty("kelvoHoldWait", true);
    hide();
    basMain::ChangeFavorite();
    done(0);
}

void frmSettings::cmdClose_Click() {
    done(0);
}

void frmSettings::cancel() {
    // Already handing over to another dialog: that one decides.
    if (!property("kelvoHoldWait").toBool())
        cmdClose_Click();
}
