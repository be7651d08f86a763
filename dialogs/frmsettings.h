#pragma once

#include "platform/browser.h"
#include "platform/smallwindow.h"

class QPushButton;

// What the settings dialog needs of the window that opened it.
class SettingsOwner {
public:
    virtual ~SettingsOwner() = default;
    // The hidden browser to sign out and in again, or nullptr.
    virtual platform::BrowserPtr ie() const = 0;
    // Marks the hidden browser in use while a credential change runs.
    virtual void beginCredentialChange() {}
    virtual void endCredentialChange() {}
};

// Two actions (credentials, favorite) and a close button. Hides itself
// before handing over, and is done after one action.
class frmSettings : public platform::SmallWindow {
    Q_OBJECT
public:
    explicit frmSettings(QWidget* parent = nullptr);

    SettingsOwner* Owner() const { return m_owner; }
    void setOwner(SettingsOwner* obj) { m_owner = obj; }

    QPushButton* cmdLogin;
    QPushButton* cmdFavorite;
    QPushButton* cmdClose;

protected:
    void cancel() override;

private:
    void cmdLogin_Click();
    void cmdFavorite_Click();
    void cmdClose_Click();

    SettingsOwner* m_owner = nullptr;
};
