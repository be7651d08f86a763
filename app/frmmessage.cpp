#include "app/frmmessage.h"

#include "platform/appicon.h"
#include "web/openpages.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

const QString frmMessage::Text = QStringLiteral("新着記事があります");

namespace {

// A notification to assistive technologies (a screen reader speaks it as
// one), not a dialog.
QAccessibleInterface* asNotification(const QString& className, QObject* object) {
    if (className != QLatin1String("frmMessage") || !object->isWidgetType())
        return nullptr;
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Notification);
}
// Before any popup is made: its base's construction may already be asked about.
[[maybe_unused]] const bool g_asNotification = (QAccessible::installFactory(asNotification), true);

} // namespace

frmMessage::frmMessage(QWidget* parent) : SmallWindow(200, 93, parent) {
    setObjectName(QStringLiteral("frmMessage"));
    // The strip runs one pixel past the client area, as the window was drawn.
    QLabel* title = addTitle(QStringLiteral(" Kelvo+Monitor"), 201);
    title->setObjectName(QStringLiteral("Label1"));

    addLabel("lblMessage", Text, QRect(44, 28, 144, 24));

    cmdOpen = addButton("cmdOpen", QStringLiteral("開く"), QRect(24, 60, 73, 29));
    cmdOpen->setDefault(true);
    cmdClose = addButton("cmdClose", QStringLiteral("閉じる"), QRect(100, 60, 73, 29));

    auto* image = new QLabel(client());
    image->setObjectName(QStringLiteral("Image1"));
    image->setPixmap(platform::appLogo());
    image->setGeometry(4, 24, 32, 32);
    image->setFocusPolicy(Qt::NoFocus);

    // What a screen reader says as it appears; the title strip says less.
    setAccessibleName(Text);
    setTabOrder(cmdOpen, cmdClose);
    cmdOpen->setFocus();
    connect(cmdOpen, &QPushButton::clicked, this, &frmMessage::cmdOpen_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmMessage::cmdClose_Click);
}

void frmMessage::showEvent(QShowEvent* event) {
    SmallWindow::showEvent(event);
    QAccessibleEvent alert(this, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
}

void frmMessage::setReading(bool reading) {
    m_reading = reading;
    if (!reading && std::exchange(m_openWhenFree, false))
        QTimer::singleShot(0, this, &frmMessage::cmdOpen_Click); // once the check has unwound
}

void frmMessage::cmdOpen_Click() {
    if (m_reading) {
        cmdOpen->setEnabled(false);
        m_openWhenFree = true;
        return;
    }
    // The popup stays, unresponsive, while the new window signs in; then it goes.
    cmdOpen->setEnabled(false);
    basMain::OpenTopPage();
    hide();
}

void frmMessage::cmdClose_Click() {
    hide();
}
