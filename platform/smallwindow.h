#pragma once

#include <QDialog>

class QLabel;

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
    void centerOnScreen();

    static QFont windowFont();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* m_client;
};

} // namespace platform
