#include "dialogs/frmsettings.h"

#include "platform/modal.h"

#include <QPointer>
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
    connect(cmdLogin, &QPushButton::clicked, this, [this] { choose(Action::Login); });
    connect(cmdFavorite, &QPushButton::clicked, this, [this] { choose(Action::Favorite); });
    connect(cmdClose, &QPushButton::clicked, this, &frmSettings::cmdClose_Click);
    centerOnScreen();
}

void frmSettings::choose(Action action) {
    m_chosen = action;
    done(0);
}

frmSettings::Action frmSettings::Ask() {
    QPointer<frmSettings> dialog = new frmSettings;
    platform::showAndWait(dialog);
    const Action action = dialog ? dialog->chosen() : Action::None;
    delete dialog;
    return action;
}
