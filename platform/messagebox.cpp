#include "platform/messagebox.h"

#include "platform/modal.h"

#include <QMessageBox>

namespace platform {

const QString ApplicationTitle = QStringLiteral("KelvoMonitor");

namespace {
MessageHandler g_handler;
}

void setMessageHandler(MessageHandler handler) {
    g_handler = std::move(handler);
}

void ShowMessage(const QString& text, MessageIcon icon) {
    if (g_handler) {
        g_handler(text, icon);
        return;
    }
    QMessageBox box(icon == MessageIcon::Warning ? QMessageBox::Warning : QMessageBox::Information,
                    ApplicationTitle, text, QMessageBox::Ok);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    // QMessageBox makes itself application modal, which would freeze the
    // member's browser windows and the tray while it waits.
    box.setModal(false);
    box.setWindowModality(Qt::NonModal);
    showAndWait(&box);
}

} // namespace platform
