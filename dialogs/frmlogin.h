#pragma once

#include "platform/smallwindow.h"

class QLabel;
class QLineEdit;
class QPushButton;

// Collects the member's mail address and password. An empty MailAddress()
// after the dialog has hidden itself means that the member cancelled.
class frmLogin : public platform::SmallWindow {
    Q_OBJECT
public:
    explicit frmLogin(QWidget* parent = nullptr);

    QString MailAddress() const;
    void setMailAddress(const QString& value);
    QString Password() const;
    void setPassword(const QString& value);

    static const QString EmptyAddressMessage;

    // Shows a fresh dialog pre-filled with the two values and waits until it
    // hides. A dialog destroyed by other means counts as cancelled.
    struct Result {
        QString mailAddress;
        QString password;
    };
    static Result Ask(const QString& mailAddress, const QString& password);

    QLineEdit* txtMailAddr;
    QLineEdit* txtPassword;
    QPushButton* cmdOpen;
    QPushButton* cmdClose;

protected:
    void cancel() override { cmdClose_Click(); }

private:
    void cmdOpen_Click();
    void cmdClose_Click();
};
