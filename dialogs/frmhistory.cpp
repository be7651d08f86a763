#include "dialogs/frmhistory.h"

#include "platform/messagebox.h"
#include "platform/smallwindow.h"
#include "storage/textcompare.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QTextDocument>
#include <QVBoxLayout>

const QString frmHistory::Caption = QStringLiteral("新着の履歴");
const QString frmHistory::ClearQuestion = QStringLiteral("新着の履歴をすべて消去しますか？");

namespace {

constexpr int HtmlRole = Qt::UserRole;

QString foundText(const NewsEntry& entry) {
    return entry.found.toLocalTime().toString(QStringLiteral("yyyy/MM/dd HH:mm"));
}

// New lines first, then updates; each at most ShownLines in all.
QList<NewsLine> shownLines(const NewsEntry& entry) {
    QList<NewsLine> out;
    for (bool update : {false, true}) {
        for (const NewsLine& line : entry.lines) {
            if (line.update == update)
                out << line;
        }
    }
    return out;
}

int hiddenLines(const NewsEntry& entry) {
    return static_cast<int>(std::max<qsizetype>(0, entry.lines.size() - frmHistory::ShownLines)) +
           entry.more + entry.withheld;
}

// What an entry without lines to show says.
QString summary(const NewsEntry& entry) {
    if (entry.withheld > 0 || entry.more > 0)
        return QStringLiteral("新着記事があります");
    return entry.removed ? QStringLiteral("記事が削除されました")
                         : QStringLiteral("記事の並びが変わりました");
}

QString more(int n) {
    return QStringLiteral("ほか %1 行").arg(n);
}

// The line with what changed from the line it stands for marked.
QString markedHtml(const NewsLine& line) {
    if (line.was.isEmpty())
        return line.text.toHtmlEscaped();
    QString html;
    qsizetype at = 0;
    for (const textcompare::Span& span : textcompare::changedSpans(line.was, line.text)) {
        html += line.text.mid(at, span.start - at).toHtmlEscaped();
        html += QStringLiteral("<span style=\"background-color:#ffe27a; color:#000000; "
                               "text-decoration:underline\">") +
                line.text.mid(span.start, span.length).toHtmlEscaped() + QStringLiteral("</span>");
        at = span.start + span.length;
    }
    return html + line.text.mid(at).toHtmlEscaped();
}

} // namespace

QString frmHistory::entryText(const NewsEntry& entry, bool unseen) {
    QStringList parts{(unseen ? QStringLiteral("未確認 ") : QString()) + foundText(entry)};
    const QList<NewsLine> lines = shownLines(entry);
    for (const NewsLine& line : lines.mid(0, ShownLines)) {
        QString text = line.update ? QStringLiteral("更新: ") + line.text : line.text;
        if (!line.was.isEmpty() && !line.update)
            text += QStringLiteral("（変更前: %1）").arg(line.was);
        parts << text;
    }
    if (lines.isEmpty())
        parts << summary(entry);
    if (const int hidden = hiddenLines(entry); hidden > 0 && !lines.isEmpty())
        parts << more(hidden);
    return parts.join(u'\n');
}

QString frmHistory::entryHtml(const NewsEntry& entry, bool unseen, const QColor& quiet) {
    const QString quietStyle = QStringLiteral("color:%1").arg(quiet.name());
    QString html =
        QStringLiteral("<div style=\"%1\">").arg(unseen ? QStringLiteral("font-weight:bold") : QString());
    html += QStringLiteral("<div>%1</div>").arg(foundText(entry).toHtmlEscaped());
    const QList<NewsLine> lines = shownLines(entry);
    for (const NewsLine& line : lines.mid(0, ShownLines)) {
        html += line.update ? QStringLiteral("<div style=\"%1\">%2</div>").arg(quietStyle, markedHtml(line))
                            : QStringLiteral("<div>%1</div>").arg(markedHtml(line));
    }
    if (lines.isEmpty())
        html += QStringLiteral("<div>%1</div>").arg(summary(entry));
    if (const int hidden = hiddenLines(entry); hidden > 0 && !lines.isEmpty())
        html += QStringLiteral("<div style=\"%1\">%2</div>").arg(quietStyle, more(hidden));
    return html + QStringLiteral("</div>");
}

frmHistory::frmHistory(QWidget* parent)
    : QWidget(parent, Qt::Window), lstHistory(new QListWidget(this)),
      lblEmpty(new QLabel(QStringLiteral("新着はまだありません。"), this)),
      cmdOpen(new QPushButton(QStringLiteral("開く(&O)"), this)),
      cmdClear(new QPushButton(QStringLiteral("履歴を消去(&D)"), this)),
      cmdClose(new QPushButton(QStringLiteral("閉じる"), this)) {
    setObjectName(QStringLiteral("frmHistory"));
    setWindowTitle(Caption);
    setAccessibleName(Caption);
    setFont(platform::SmallWindow::windowFont());
    lstHistory->setObjectName(QStringLiteral("lstHistory"));
    lstHistory->setAccessibleName(Caption);
    lstHistory->setItemDelegate(new HistoryDelegate(lstHistory));
    lstHistory->setResizeMode(QListView::Adjust);
    lstHistory->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    lstHistory->setWordWrap(true);
    lblEmpty->setObjectName(QStringLiteral("lblEmpty"));
    cmdOpen->setObjectName(QStringLiteral("cmdOpen"));
    cmdClear->setObjectName(QStringLiteral("cmdClear"));
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdOpen);
    buttons->addWidget(cmdClear);
    buttons->addStretch();
    buttons->addWidget(cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblEmpty);
    layout->addWidget(lstHistory, 1);
    layout->addLayout(buttons);
    setTabOrder(lstHistory, cmdOpen);
    setTabOrder(cmdOpen, cmdClear);
    setTabOrder(cmdClear, cmdClose);
    resize(560, 440);
    connect(lstHistory, &QListWidget::itemActivated, this, &frmHistory::openTopPage);
    connect(cmdOpen, &QPushButton::clicked, this, &frmHistory::openTopPage);
    connect(cmdClear, &QPushButton::clicked, this, &frmHistory::cmdClear_Click);
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);
}

void frmHistory::setEntries(const QList<NewsEntry>& entries, const QDateTime& seenUpTo) {
    const int row = lstHistory->currentRow();
    lstHistory->clear();
    const QColor quiet = palette().color(QPalette::PlaceholderText);
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        const bool unseen = !seenUpTo.isValid() || it->found > seenUpTo;
        auto* item = new QListWidgetItem(entryText(*it, unseen), lstHistory);
        item->setData(HtmlRole, entryHtml(*it, unseen, quiet));
    }
    const bool any = lstHistory->count() > 0;
    lblEmpty->setVisible(!any);
    cmdOpen->setEnabled(any);
    cmdClear->setEnabled(any);
    if (any)
        lstHistory->setCurrentRow(std::clamp(row, 0, lstHistory->count() - 1));
}

void frmHistory::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void frmHistory::closeEvent(QCloseEvent* event) {
    Q_EMIT closed();
    event->accept();
}

void frmHistory::cmdClear_Click() {
    if (platform::AskYesNo(ClearQuestion))
        Q_EMIT clearAsked();
}

namespace {

void layOut(QTextDocument& doc, const QStyleOptionViewItem& option, int width) {
    doc.setDefaultFont(option.font);
    doc.setDocumentMargin(4);
    doc.setHtml(option.index.data(HtmlRole).toString());
    doc.setTextWidth(width);
}

int viewWidth(const QStyleOptionViewItem& option) {
    const auto* view = qobject_cast<const QAbstractItemView*>(option.widget);
    return view ? view->viewport()->width() : option.rect.width();
}

} // namespace

void HistoryDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    opt.text.clear(); // drawn below, as rich text
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget); // selection and focus
    QTextDocument doc;
    layOut(doc, opt, opt.rect.width());
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette = opt.palette;
    const bool selected = opt.state & QStyle::State_Selected;
    context.palette.setColor(QPalette::Text,
                             opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    painter->save();
    painter->translate(opt.rect.topLeft());
    painter->setClipRect(opt.rect.translated(-opt.rect.topLeft()));
    doc.documentLayout()->draw(painter, context);
    painter->restore();
}

QSize HistoryDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    QTextDocument doc;
    layOut(doc, opt, std::max(100, viewWidth(opt) - 4));
    return QSize(static_cast<int>(doc.idealWidth()), static_cast<int>(doc.size().height()) + 2);
}
