#include "dialogs/frmsettings.h"

#include "web/changes.h"

#include <QCloseEvent>
#include <QPushButton>

frmSettings::frmSettings(QWidget* parent) : SmallWindow(427, 170, parent) {
    setObjectName(QStringLiteral("frmSettings"));
    addTitle(QStringLiteral(" Kelvo+ログイン"), 429);
    cmdLogin = new QPushButton(QStringLiteral("ログイン設定"), client());
    cmdLogin->setObjectName(QStringLiteral("cmdLogin"));
    cmdLogin->setGeometry(44, 44, 341, 29);
    cmdFavorite = new QPushButton(QStringLiteral("お気に入り設定"), client());
    cmdFavorite->setObjectName(QStringLiteral("cmdFavorite"));
    cmdFavorite->setGeometry(44, 84, 341, 29);
    cmdClose = new QPushButton(QStringLiteral("閉じる"), client());
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    cmdClose->setGeometry(44, 124, 341, 29);
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

void frmSettings::reject() {
    cmdClose_Click();
}

void frmSettings::closeEvent(QCloseEvent* event) {
    if (!property("kelvoHoldWait").toBool())
        done(0);
    event->accept();
}
