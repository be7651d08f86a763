#pragma once

#include "platform/smallwindow.h"

class QCheckBox;
class QPushButton;

// Two actions (credentials, favorite) and a close button. The dialog only
// reports which one the member chose; whoever opened it carries it out.
class frmSettings : public platform::SmallWindow {
    Q_OBJECT
public:
    enum class Action { None, Login, Favorite };

    explicit frmSettings(QWidget* parent = nullptr);

    Action chosen() const { return m_chosen; }

    // Shows a fresh dialog and waits until it hides; None when closed.
    static Action Ask();

    QPushButton* cmdLogin;
    QPushButton* cmdFavorite;
    QPushButton* cmdClose;
    QCheckBox* chkAutostart;

    static const QString AutostartFailedMessage;

protected:
    void cancel() override { cmdClose_Click(); }

private:
    void choose(Action action);
    void chkAutostart_Toggled(bool on);
    void cmdClose_Click() { choose(Action::None); }

    Action m_chosen = Action::None;
};
