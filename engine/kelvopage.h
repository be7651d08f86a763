#pragma once

#include <QWebEnginePage>

namespace engine {

// A page in the shared profile whose new-window requests open member windows.
class KelvoPage : public QWebEnginePage {
    Q_OBJECT
public:
    explicit KelvoPage(QObject* parent = nullptr);

protected:
    QWebEnginePage* createWindow(WebWindowType type) override;
};

} // namespace engine
