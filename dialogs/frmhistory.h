#pragma once

#include "storage/newsrecord.h"

#include <QStyledItemDelegate>
#include <QWidget>

class QLabel;
class QListWidget;
class QPushButton;

// 新着の履歴: every change found, newest first, those the member had not yet
// seen in bold. It only shows; whoever opened it keeps the record and acts on
// what it asks for (the top page, a clear).
class frmHistory : public QWidget {
    Q_OBJECT
public:
    explicit frmHistory(QWidget* parent = nullptr);

    // Entries oldest first, as the record keeps them; those found after
    // `seenUpTo` are bold.
    void setEntries(const QList<NewsEntry>& entries, const QDateTime& seenUpTo);

    // How many lines an entry shows before "ほか N 行".
    static constexpr int ShownLines = 5;
    // An entry as a screen reader says it, and as it is drawn (rich text).
    static QString entryText(const NewsEntry& entry, bool unseen);
    static QString entryHtml(const NewsEntry& entry, bool unseen, const QColor& quiet);

    QListWidget* lstHistory;
    QLabel* lblEmpty;
    QPushButton* cmdOpen;
    QPushButton* cmdClear;
    QPushButton* cmdClose;

    static const QString Caption;
    static const QString ClearQuestion;

Q_SIGNALS:
    void openTopPage();
    void clearAsked();
    // Hidden by the member: its place is to be kept.
    void closed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void cmdClear_Click();
};

// Draws an entry's rich text, as tall as its lines at the list's width.
class HistoryDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
