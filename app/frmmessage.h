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

protected:
    void cancel() override { cmdClose_Click(); }
    void showEvent(QShowEvent* event) override;

private:
    void cmdOpen_Click();
    void cmdClose_Click();
};
