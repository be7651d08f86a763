#pragma once

#include "platform/smallwindow.h"

#include <functional>

class QCheckBox;
class QPushButton;

// Two actions (credentials, favorite) and a close button. The dialog only
// reports which one the member chose; whoever opened it carries it out.
class frmSettings : public platform::SmallWindow {
    Q_OBJECT
public:
    enum class Action { None, Login, Favorite };

    // Where the password is kept, asked of whoever opened the dialog: true
    // when it moved (a failure is told by the handler).
    using KeyringChoice = std::function<bool(bool keyring)>;

    explicit frmSettings(KeyringChoice chooseKeyring = {}, QWidget* parent = nullptr);

    Action chosen() const { return m_chosen; }

    // Shows a fresh dialog and waits until it hides; None when closed.
    static Action Ask(const KeyringChoice& chooseKeyring = {});

    QPushButton* cmdLogin;
    QPushButton* cmdFavorite;
    QPushButton* cmdClose;
    QCheckBox* chkAutostart;
    // Enabled once a Secret Service answers, or while the password is there
    // (it can always go back to the file).
    QCheckBox* chkKeyring;

    static const QString AutostartFailedMessage;
    static const QString KeyringCaption;
    static const QString KeyringAskingTip;
    static const QString KeyringMissingTip;

protected:
    void cancel() override { cmdClose_Click(); }

private:
    void choose(Action action);
    void chkAutostart_Toggled(bool on);
    void chkKeyring_Toggled(bool on);
    void probeKeyring();
    void cmdClose_Click() { choose(Action::None); }

    Action m_chosen = Action::None;
    KeyringChoice m_chooseKeyring;
};
