#include "dialogs/frmsettings.h"

#include "platform/autostart.h"
#include "platform/messagebox.h"
#include "platform/modal.h"
#include "platform/secretservice.h"
#include "storage/membersettings.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

const QString frmSettings::AutostartFailedMessage = QStringLiteral("ログイン時の起動を設定できません。");
const QString frmSettings::KeyringCaption = QStringLiteral("パスワードをキーリングに保存する");
const QString frmSettings::KeyringAskingTip = QStringLiteral("キーリングを確認しています。");
const QString frmSettings::KeyringMissingTip = QStringLiteral(
    "キーリング (Secret Service) が応答しないため選べません。パスワードは設定ファイルに保存されます。");

frmSettings::frmSettings(KeyringChoice chooseKeyring, QWidget* parent)
    : SmallWindow(427, 226, parent), m_chooseKeyring(std::move(chooseKeyring)) {
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
    chkKeyring = new QCheckBox(KeyringCaption, client());
    chkKeyring->setObjectName(QStringLiteral("chkKeyring"));
    chkKeyring->setGeometry(QRect(44, 192, 341, 26));
    chkKeyring->setChecked(basMain::PasswordInKeyring());
    chkKeyring->setEnabled(false);
    chkKeyring->setToolTip(KeyringAskingTip);
    setTabOrder(cmdLogin, cmdFavorite);
    setTabOrder(cmdFavorite, cmdClose);
    setTabOrder(cmdClose, chkAutostart);
    setTabOrder(chkAutostart, chkKeyring);
    cmdLogin->setFocus();
    connect(cmdLogin, &QPushButton::clicked, this, [this] { choose(Action::Login); });
    connect(cmdFavorite, &QPushButton::clicked, this, [this] { choose(Action::Favorite); });
    connect(cmdClose, &QPushButton::clicked, this, &frmSettings::cmdClose_Click);
    connect(chkAutostart, &QCheckBox::toggled, this, &frmSettings::chkAutostart_Toggled);
    connect(chkKeyring, &QCheckBox::toggled, this, &frmSettings::chkKeyring_Toggled);
    centerOnScreen();
    // Once shown: a keyring that does not answer must not hold the dialog.
    QTimer::singleShot(0, this, &frmSettings::probeKeyring);
}

void frmSettings::probeKeyring() {
    // The answer is waited for on the event loop, where the dialog may go.
    const QPointer<frmSettings> self(this);
    const bool answers = platform::secretService().probe() == platform::SecretService::Status::Done;
    if (!self)
        return;
    const bool canChoose = m_chooseKeyring && (answers || chkKeyring->isChecked());
    chkKeyring->setEnabled(canChoose);
    chkKeyring->setToolTip(answers ? QString() : KeyringMissingTip);
    chkKeyring->setAccessibleDescription(chkKeyring->toolTip());
}

void frmSettings::chkKeyring_Toggled(bool on) {
    chkKeyring->setEnabled(false); // one move at a time
    const QPointer<frmSettings> self(this);
    const bool moved = m_chooseKeyring && m_chooseKeyring(on);
    if (!self)
        return;
    if (!moved) {
        const QSignalBlocker quiet(chkKeyring);
        chkKeyring->setChecked(!on);
    }
    probeKeyring();
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

frmSettings::Action frmSettings::Ask(const KeyringChoice& chooseKeyring) {
    return platform::askWindow(new frmSettings(chooseKeyring), Action::None,
                               [](frmSettings& d) { return d.chosen(); });
}
