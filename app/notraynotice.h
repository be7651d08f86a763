#pragma once

// The notice for a desktop where the icon cannot be seen: some 30 s after the
// start when no tray has come, and again when a tray of another kind than the
// icon's comes; never while the icon is shown, and never again once the
// member has asked so ([tray] notice=off in settings.ini).

#include "dialogs/frmnotray.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

namespace platform {
class TrayIcon;
}

class NoTrayNotice : public QObject {
    Q_OBJECT
public:
    NoTrayNotice(platform::TrayIcon* tray, QObject* parent);

    // Shown once per run, or once per change of the tray's kind.
    void Show();
    void stop();
    // No notice for the start; one for a tray of another kind still comes.
    void skipStartNotice() { m_timer.stop(); }

    QTimer* timer() { return &m_timer; }
    frmNoTray* window() const { return m_window; }

    // settings.ini: [tray] notice=off keeps the notice away.
    static const QString Section;
    static const QString Key;
    static const QString Off;

private:
    platform::TrayIcon* m_tray;
    QTimer m_timer;
    QPointer<frmNoTray> m_window;
    bool m_told = false;
    bool m_stopped = false;
};
