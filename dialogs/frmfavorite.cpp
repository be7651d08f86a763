#include "dialogs/frmfavorite.h"

#include "platform/messagebox.h"
#include "platform/modal.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

const QString frmFavorite::EmptyURLMessage = QStringLiteral("お気に入りＵＲＬが入力されていません。");

frmFavorite::frmFavorite(QWidget* parent) : SmallWindow(427, 170, parent) {
    setObjectName(QStringLiteral("frmFavorite"));
    QLabel* label =
        addLabel("lblURL", QStringLiteral("お気に入りのＵＲＬを設定します"), QRect(24, 52, 240, 24));
    txtURL = new QLineEdit(client());
    nameField(label, txtURL);
    txtURL->setObjectName(QStringLiteral("txtURL"));
    txtURL->setGeometry(20, 76, 385, 33);

    cmdOK = addButton("cmdOK", QStringLiteral("設定"), QRect(128, 132, 85, 29));
    cmdOK->setDefault(true);
    cmdClose = addButton("cmdClose", QStringLiteral("閉じる"), QRect(216, 132, 85, 29));
    addTitle(QStringLiteral(" お気に入り設定"), 429);

    setTabOrder(txtURL, cmdOK);
    setTabOrder(cmdOK, cmdClose);
    txtURL->setFocus();

    connect(cmdOK, &QPushButton::clicked, this, &frmFavorite::cmdOK_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmFavorite::cmdClose_Click);
    centerOnScreen();
}

QString frmFavorite::FavoriteURL() const {
    return txtURL->text();
}
void frmFavorite::setFavoriteURL(const QString& value) {
    txtURL->setText(value);
}

void frmFavorite::cmdOK_Click() {
    if (txtURL->text().isEmpty()) {
        platform::ShowMessage(EmptyURLMessage, platform::MessageIcon::Warning);
        return;
    }
    hide();
}

void frmFavorite::cmdClose_Click() {
    setFavoriteURL(QString());
    hide();
}

QString frmFavorite::Ask(const QString& url) {
    auto* dialog = new frmFavorite;
    dialog->setFavoriteURL(url);
    return platform::askWindow(dialog, QString(), [](frmFavorite& d) { return d.FavoriteURL(); });
}
