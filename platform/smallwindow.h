#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace platform {

// The look shared by the popup and the dialogs: no title bar, a one-pixel
// frame, grey background, a title strip at the top, Meiryo (or Noto Sans CJK
// JP where Meiryo is missing) 12 pt, not on the taskbar. Geometry is given in
// pixels of the client area, as 96 dpi would have it.
class SmallWindow : public QDialog {
    Q_OBJECT
public:
    SmallWindow(int clientWidth, int clientHeight, QWidget* parent = nullptr);

    // The client area: place controls here.
    QWidget* client() const { return m_client; }
    QLabel* addTitle(const QString& text, int width);
    QLabel* addLabel(const char* name, const QString& text, const QRect& geometry);
    QPushButton* addButton(const char* name, const QString& text, const QRect& geometry);
    // Ties a field to its label: Alt+ its key, and the name a screen reader says.
    static void nameField(QLabel* label, QWidget* field);
    void centerOnScreen();

    static QFont windowFont();

public Q_SLOTS:
    // Esc, and a close by the window system, press the cancel button.
    void reject() override { cancel(); }

protected:
    virtual void cancel() = 0;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* m_client;
};

} // namespace platform
