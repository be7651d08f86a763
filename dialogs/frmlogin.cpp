#include "dialogs/frmlogin.h"

#include "platform/messagebox.h"
#include "platform/modal.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

const QString frmLogin::EmptyAddressMessage = QStringLiteral("メールアドレスが入力されていません。");

frmLogin::frmLogin(QWidget* parent) : SmallWindow(427, 170, parent) {
    setObjectName(QStringLiteral("frmLogin"));
    addTitle(QStringLiteral(" Kelvo+ログイン"), 429);

    QLabel* mailLabel = addLabel("lblMailAddr", QStringLiteral("メールアドレス:"), QRect(24, 52, 137, 21));
    txtMailAddr = new QLineEdit(client());
    nameField(mailLabel, txtMailAddr);
    txtMailAddr->setObjectName(QStringLiteral("txtMailAddr"));
    txtMailAddr->setGeometry(168, 48, 237, 33);

    QLabel* passwordLabel = addLabel("lblPassword", QStringLiteral("パスワード:"), QRect(24, 88, 137, 21));
    txtPassword = new QLineEdit(client());
    nameField(passwordLabel, txtPassword);
    txtPassword->setObjectName(QStringLiteral("txtPassword"));
    txtPassword->setGeometry(168, 84, 101, 33);
    txtPassword->setEchoMode(QLineEdit::Password);
    txtPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42;")); // "*"
    // No input method: what is typed goes into the box as it is, never composed.
    txtPassword->setAttribute(Qt::WA_InputMethodEnabled, false);
    txtPassword->setInputMethodHints(Qt::ImhHiddenText | Qt::ImhSensitiveData | Qt::ImhNoPredictiveText |
                                     Qt::ImhNoAutoUppercase | Qt::ImhLatinOnly);

    cmdOpen = addButton("cmdOpen", QStringLiteral("ログイン"), QRect(128, 132, 85, 29));
    cmdOpen->setDefault(true);
    cmdClose = addButton("cmdClose", QStringLiteral("閉じる"), QRect(216, 132, 85, 29));

    setTabOrder(txtMailAddr, txtPassword);
    setTabOrder(txtPassword, cmdOpen);
    setTabOrder(cmdOpen, cmdClose);
    txtMailAddr->setFocus();

    connect(cmdOpen, &QPushButton::clicked, this, &frmLogin::cmdOpen_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmLogin::cmdClose_Click);
    centerOnScreen();
}

QString frmLogin::MailAddress() const {
    return txtMailAddr->text();
}
void frmLogin::setMailAddress(const QString& value) {
    txtMailAddr->setText(value);
}
QString frmLogin::Password() const {
    return txtPassword->text();
}
void frmLogin::setPassword(const QString& value) {
    txtPassword->setText(value);
}

void frmLogin::cmdOpen_Click() {
    if (txtMailAddr->text().isEmpty()) {
        platform::ShowMessage(EmptyAddressMessage, platform::MessageIcon::Warning);
        return;
    }
    hide();
}

void frmLogin::cmdClose_Click() {
    setMailAddress(QString());
    setPassword(QString());
    hide();
}

frmLogin::Result frmLogin::Ask(const QString& mailAddress, const QString& password) {
    auto* dialog = new frmLogin;
    dialog->setMailAddress(mailAddress);
    dialog->setPassword(password);
    return platform::askWindow(dialog, Result(), [](frmLogin& d) {
        return Result{d.MailAddress(), d.Password()};
    });
}
