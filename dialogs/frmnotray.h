#pragma once

#include "platform/smallwindow.h"

class QCheckBox;
class QLabel;
class QPushButton;

// Told once when no notification area has come: where the commands are
// without one. Not modal: the program goes on checking while it is up. It
// only reports whether the member asked not to be told again.
class frmNoTray : public platform::SmallWindow {
    Q_OBJECT
public:
    explicit frmNoTray(QWidget* parent = nullptr);

    bool dontShowAgain() const;

    QLabel* lblText;
    QCheckBox* chkDontShow;
    QPushButton* cmdClose;

    static const QString Text;

protected:
    void cancel() override { done(0); }
};
