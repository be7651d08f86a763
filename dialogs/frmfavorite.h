#pragma once

#include "platform/smallwindow.h"

class QLineEdit;
class QPushButton;

// Collects the favorite page's URL. An empty FavoriteURL() after the dialog
// has hidden itself means that the member cancelled.
class frmFavorite : public platform::SmallWindow {
    Q_OBJECT
public:
    explicit frmFavorite(QWidget* parent = nullptr);

    QString FavoriteURL() const;
    void setFavoriteURL(const QString& value);

    static const QString EmptyURLMessage;

    // Shows a fresh dialog pre-filled with `url` and waits until it hides;
    // empty when cancelled or destroyed by other means.
    static QString Ask(const QString& url);

    QLineEdit* txtURL;
    QPushButton* cmdOK;
    QPushButton* cmdClose;

protected:
    void cancel() override { cmdClose_Click(); }

private:
    void cmdOK_Click();
    void cmdClose_Click();
};
