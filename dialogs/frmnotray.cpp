#include "dialogs/frmnotray.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

const QString frmNoTray::Text = QStringLiteral(
    "このデスクトップには通知領域（トレイ）がないため、KelvoMonitor のアイコンを表示できません。"
    "新着記事の確認はこのまま続け、見つかればお知らせします。\n\n"
    "メニューの操作は、アプリケーションメニューの KelvoMonitor を右クリックして選ぶか、"
    "KelvoMonitor をもう一度起動すると表示されるメニューから行えます。\n\n"
    "デスクトップにトレイの拡張機能（GNOME では「AppIndicator」拡張機能など）を入れると、"
    "アイコンが表示されます。");

frmNoTray::frmNoTray(QWidget* parent) : SmallWindow(520, 330, parent) {
    setObjectName(QStringLiteral("frmNoTray"));
    addTitle(QStringLiteral(" Kelvo+Monitor"), 522);
    lblText = addLabel("lblText", Text, QRect(20, 32, 480, 240));
    lblText->setWordWrap(true);
    lblText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    chkDontShow = new QCheckBox(QStringLiteral("今後表示しない"), client());
    chkDontShow->setObjectName(QStringLiteral("chkDontShow"));
    chkDontShow->setGeometry(QRect(20, 288, 280, 29));
    cmdClose = addButton("cmdClose", QStringLiteral("閉じる"), QRect(415, 288, 85, 29));
    cmdClose->setDefault(true);
    setTabOrder(cmdClose, chkDontShow);
    cmdClose->setFocus();
    connect(cmdClose, &QPushButton::clicked, this, [this] { done(0); });
    centerOnScreen();
}

bool frmNoTray::dontShowAgain() const {
    return chkDontShow->isChecked();
}
