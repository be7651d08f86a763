#include "platform/smallwindow.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

namespace platform {

QFont SmallWindow::windowFont() {
    QFont font;
    font.setFamilies(
        {QStringLiteral("メイリオ"), QStringLiteral("Meiryo"), QStringLiteral("Noto Sans CJK JP")});
    font.setPointSize(12);
    font.setWeight(QFont::Normal);
    return font;
}

SmallWindow::SmallWindow(int clientWidth, int clientHeight, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::FramelessWindowHint), m_client(new QWidget(this)) {
    setFixedSize(clientWidth + 2, clientHeight + 2);
    m_client->setGeometry(1, 1, clientWidth, clientHeight);
    m_client->setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(224, 224, 224));
    pal.setColor(QPalette::WindowText, Qt::black);
    setPalette(pal);
    m_client->setPalette(pal);
    setFont(windowFont());
}

QLabel* SmallWindow::addTitle(const QString& text, int width) {
    auto* title = new QLabel(text, m_client);
    title->setObjectName(QStringLiteral("lblTitle"));
    title->setGeometry(0, 0, width, 21);
    title->setAutoFillBackground(true);
    QPalette pal = title->palette();
    pal.setColor(QPalette::Window, QColor(192, 192, 192));
    title->setPalette(pal);
    title->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // The caption stays empty as designed; assistive technologies name the
    // window by its title strip.
    setAccessibleName(text.trimmed());
    return title;
}

QLabel* SmallWindow::addLabel(const char* name, const QString& text, const QRect& geometry) {
    auto* label = new QLabel(text, m_client);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    return label;
}

void SmallWindow::nameField(QLabel* label, QWidget* field) {
    label->setBuddy(field);
    QString name = label->text().trimmed();
    while (name.endsWith(u':') || name.endsWith(u'：'))
        name.chop(1);
    field->setAccessibleName(name);
}

QPushButton* SmallWindow::addButton(const char* name, const QString& text, const QRect& geometry) {
    auto* button = new QPushButton(text, m_client);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(geometry);
    button->setAutoDefault(false);
    return button;
}

void SmallWindow::closeEvent(QCloseEvent* event) {
    cancel();
    event->accept();
}

void SmallWindow::centerOnScreen() {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
}

void SmallWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(QColor(64, 64, 64));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

} // namespace platform
