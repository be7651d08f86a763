#include "platform/messagebox.h"

#include "platform/modal.h"

#include <QMessageBox>
#include <QPushButton>

namespace platform {

const QString ApplicationTitle = QStringLiteral("KelvoMonitor");

namespace {
MessageHandler g_handler;
QuestionHandler g_question;

// QMessageBox makes itself application modal, which would freeze the
// member's browser windows and the tray while it waits.
void wait(QMessageBox& box) {
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.setModal(false);
    box.setWindowModality(Qt::NonModal);
    showAndWait(&box);
}
} // namespace

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
    wait(box);
}

void setQuestionHandler(QuestionHandler handler) {
    g_question = std::move(handler);
}

bool AskYesNo(const QString& text) {
    if (g_question)
        return g_question(text);
    QMessageBox box(QMessageBox::Question, ApplicationTitle, text, QMessageBox::NoButton);
    QPushButton* yes = box.addButton(QStringLiteral("はい(&Y)"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("いいえ(&N)"), QMessageBox::NoRole);
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    wait(box);
    return box.clickedButton() == yes;
}

} // namespace platform
