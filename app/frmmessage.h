#pragma once

#include "platform/smallwindow.h"

class QPushButton;

// The notification "新着記事があります": "開く" opens the top page signed in,
// "閉じる" just closes. It never closes by itself.
class frmMessage : public platform::SmallWindow {
    Q_OBJECT
public:
    explicit frmMessage(QWidget* parent = nullptr);

    static const QString Text;

    QPushButton* cmdOpen;
    QPushButton* cmdClose;

    // While a check reads the top page behind it, "開く" waits for the
    // hidden browser to be free: a member window signs in on its cookies.
    void setReading(bool reading);

protected:
    void cancel() override { cmdClose_Click(); }
    void showEvent(QShowEvent* event) override;

private:
    void cmdOpen_Click();
    void cmdClose_Click();

    bool m_reading = false;
    bool m_openWhenFree = false;
};
