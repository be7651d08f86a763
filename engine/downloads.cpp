#include "engine/downloads.h"

#include "engine/engine.h"
#include "platform/appicon.h"
#include "platform/browser.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>
#include <QWebEngineView>

Q_DECLARE_LOGGING_CATEGORY(lcEngine)

namespace engine {
namespace {

QString byteSize(qint64 bytes) {
    return QLocale(QLocale::Japanese, QLocale::Japan)
        .formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

QString whyInterrupted(const QWebEngineDownloadRequest& request) {
    // The engine's reasons come in ranges: the file, the network, the site.
    const int reason = request.interruptReason();
    if (reason == QWebEngineDownloadRequest::FileNoSpace)
        return QStringLiteral("ディスクの空き容量が足りません");
    if (reason > 0 && reason < 20)
        return QStringLiteral("ファイルを保存できません");
    if (reason >= 20 && reason < 30)
        return QStringLiteral("ネットワークのエラー");
    if (reason >= 30 && reason < 40)
        return QStringLiteral("サイトのエラー");
    return request.interruptReasonString();
}

// Chromium's own leftovers of a download that did not finish.
const QStringList PartialSuffixes = {QString(), QStringLiteral(".download"), QStringLiteral(".crdownload")};

} // namespace

QString downloadFileName(const QString& suggested) {
    QString name = suggested.section(u'/', -1).section(u'\\', -1).trimmed();
    while (name.startsWith(u'.')) // never a hidden file, nor ".."
        name.remove(0, 1);
    return name.isEmpty() ? QStringLiteral("download") : name;
}

QString freeDownloadPath(const QString& folder, const QString& name, const QSet<QString>& taken) {
    // "archive.tar.gz" becomes "archive (1).tar.gz", "report.pdf" "report (1).pdf".
    QString base = name;
    QString extension;
    const int tar = name.lastIndexOf(QStringLiteral(".tar."), -1, Qt::CaseInsensitive);
    const int dot = tar > 0 ? tar : name.lastIndexOf(u'.');
    if (dot > 0) {
        base = name.left(dot);
        extension = name.mid(dot);
    }
    for (int n = 0;; ++n) {
        const QString candidate =
            folder + u'/' + (n == 0 ? name : base + QStringLiteral(" (%1)").arg(n) + extension);
        if (!taken.contains(candidate) && !QFileInfo::exists(candidate) &&
            !QFileInfo::exists(candidate + QStringLiteral(".download")))
            return candidate;
    }
}

DownloadItem::DownloadItem(QWebEngineDownloadRequest* request, const QString& path, QWidget* parent)
    : QFrame(parent), m_request(request), m_path(path), m_name(new QLabel(this)), m_status(new QLabel(this)),
      m_progress(new QProgressBar(this)), m_cancel(new QPushButton(QStringLiteral("キャンセル"), this)),
      m_open(new QPushButton(QStringLiteral("開く"), this)),
      m_folder(new QPushButton(QStringLiteral("フォルダを開く"), this)) {
    setFrameShape(QFrame::StyledPanel);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 2, 6, 2);
    m_name->setText(QFileInfo(path).fileName());
    m_name->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_progress->setMaximumWidth(160);
    m_progress->setAccessibleName(QStringLiteral("ダウンロードの進み具合"));
    layout->addWidget(m_name);
    layout->addWidget(m_progress);
    layout->addWidget(m_status, 1);
    layout->addWidget(m_cancel);
    layout->addWidget(m_open);
    layout->addWidget(m_folder);
    m_open->hide();
    m_folder->hide();
    connect(m_cancel, &QPushButton::clicked, this, &DownloadItem::cancel);
    connect(m_open, &QPushButton::clicked, this,
            [this] { QDesktopServices::openUrl(QUrl::fromLocalFile(m_path)); });
    connect(m_folder, &QPushButton::clicked, this,
            [this] { QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(m_path).absolutePath())); });
    resumedAs(request);
}

void DownloadItem::resumedAs(QWebEngineDownloadRequest* request) {
    if (m_request && m_request != request)
        disconnect(m_request, nullptr, this, nullptr);
    m_request = request;
    connect(request, &QWebEngineDownloadRequest::receivedBytesChanged, this, &DownloadItem::update);
    connect(request, &QWebEngineDownloadRequest::totalBytesChanged, this, &DownloadItem::update);
    connect(request, &QWebEngineDownloadRequest::stateChanged, this, &DownloadItem::update);
    update();
}

DownloadItem::~DownloadItem() {
    // Nothing is left running unseen: a row that goes ends its download.
    if (running())
        cancel();
}

bool DownloadItem::running() const {
    return m_request && !m_ended &&
           (m_request->state() == QWebEngineDownloadRequest::DownloadRequested ||
            m_request->state() == QWebEngineDownloadRequest::DownloadInProgress);
}

void DownloadItem::cancel() {
    if (m_request)
        m_request->cancel();
    update();
}

QString DownloadItem::state() const {
    return m_status->text();
}

void DownloadItem::update() {
    if (m_ended)
        return;
    if (!m_request) {
        m_status->setText(QStringLiteral("失敗しました"));
        end();
        return;
    }
    qCDebug(lcEngine) << "download" << m_request->id() << m_request->state() << m_request->receivedBytes()
                      << m_request->interruptReason();
    const qint64 received = m_request->receivedBytes();
    const qint64 total = m_request->totalBytes();
    switch (m_request->state()) {
    case QWebEngineDownloadRequest::DownloadRequested:
    case QWebEngineDownloadRequest::DownloadInProgress:
        if (total > 0) {
            m_progress->setRange(0, 100);
            m_progress->setValue(static_cast<int>(received * 100 / total));
            m_status->setText(byteSize(received) + QStringLiteral(" / ") + byteSize(total));
        } else {
            m_progress->setRange(0, 0); // a size the site did not say
            m_status->setText(byteSize(received));
        }
        return;
    case QWebEngineDownloadRequest::DownloadCompleted:
        m_status->setText(QStringLiteral("完了 (") + byteSize(received) + u')');
        m_open->show();
        m_folder->show();
        break;
    case QWebEngineDownloadRequest::DownloadCancelled:
        m_status->setText(QStringLiteral("キャンセルしました"));
        break;
    case QWebEngineDownloadRequest::DownloadInterrupted:
        m_status->setText(QStringLiteral("失敗しました: ") + whyInterrupted(*m_request));
        break;
    }
    end();
}

void DownloadItem::end() {
    m_ended = true;
    m_progress->hide();
    m_cancel->hide();
    const bool complete = m_request && m_request->state() == QWebEngineDownloadRequest::DownloadCompleted;
    if (!complete) {
        // The name was free when the download began: whatever is under it now
        // is a part of this download, and no part may pass for the file.
        for (const QString& suffix : PartialSuffixes) {
            if (QFile::exists(m_path + suffix) && !QFile::remove(m_path + suffix))
                qCWarning(lcEngine) << "could not remove the part of a download at" << m_path + suffix;
        }
    }
    qCInfo(lcEngine) << "download" << m_path << m_status->text()
                     << (m_request ? m_request->interruptReason() : QWebEngineDownloadRequest::NoReason);
    setAccessibleDescription(m_status->text());
    Q_EMIT ended();
}

DownloadShelf::DownloadShelf(QWidget* parent) : QFrame(parent) {
    setFrameShape(QFrame::StyledPanel);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    m_rows = new QVBoxLayout;
    m_rows->setSpacing(2);
    layout->addLayout(m_rows, 1);
    auto* shut = new QToolButton(this);
    shut->setText(QStringLiteral("✕"));
    shut->setToolTip(QStringLiteral("ダウンロードの表示を閉じる"));
    shut->setAccessibleName(shut->toolTip());
    shut->setAutoRaise(true);
    layout->addWidget(shut, 0, Qt::AlignTop);
    // Closing the strip drops the rows that have ended; downloads go on.
    connect(shut, &QToolButton::clicked, this, [this] {
        for (DownloadItem* item : items()) {
            if (!item->running())
                delete item;
        }
        if (items().isEmpty())
            hide();
    });
    hide();
}

void DownloadShelf::add(DownloadItem* item) {
    item->setParent(this);
    m_rows->addWidget(item);
    item->show();
    show();
}

QList<DownloadItem*> DownloadShelf::items() const {
    return findChildren<DownloadItem*>(QString(), Qt::FindDirectChildrenOnly);
}

QList<DownloadItem*> DownloadShelf::runningItems() const {
    QList<DownloadItem*> running;
    for (DownloadItem* item : items()) {
        if (item->running())
            running << item;
    }
    return running;
}

DownloadsWindow::DownloadsWindow() : m_shelf(new DownloadShelf(this)) {
    platform::MemberWindows::instance()->opened();
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("ダウンロード - KelvoMonitor"));
    setWindowIcon(platform::appIcon());
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_shelf);
    layout->addStretch();
    resize(560, 160);
}

DownloadsWindow::~DownloadsWindow() {
    platform::MemberWindows::instance()->closed();
}

void DownloadsWindow::closeEvent(QCloseEvent* event) {
    if (m_confirmed || m_shelf->runningItems().isEmpty()) {
        event->accept();
        return;
    }
    // As browsers ask before a close would end downloads; the question waits
    // in this window alone.
    event->ignore();
    auto* ask = new QMessageBox(QMessageBox::Question, QStringLiteral("KelvoMonitor"),
                                QStringLiteral("ダウンロードが終わっていません。中止して閉じますか?"),
                                QMessageBox::NoButton, this);
    ask->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton* stop = ask->addButton(QStringLiteral("中止して閉じる"), QMessageBox::DestructiveRole);
    ask->addButton(QStringLiteral("続ける"), QMessageBox::RejectRole);
    ask->setWindowModality(Qt::WindowModal);
    connect(ask, &QMessageBox::finished, this, [this, ask, stop] {
        if (ask->clickedButton() != stop)
            return;
        for (DownloadItem* item : m_shelf->runningItems())
            item->cancel();
        m_confirmed = true;
        close();
    });
    ask->open();
}

Downloads* Downloads::instance() {
    static Downloads* downloads = new Downloads;
    return downloads;
}

Downloads::Downloads() : QObject(QCoreApplication::instance()) {
    connect(sharedProfile(), &QWebEngineProfile::downloadRequested, this, &Downloads::requested);
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, &Downloads::cancelAllAtExit);
}

DownloadsWindow* Downloads::downloadsWindow() {
    if (!m_window)
        m_window = new DownloadsWindow;
    m_window->show();
    m_window->raise();
    return m_window;
}

void Downloads::requested(QWebEngineDownloadRequest* request) {
    qCDebug(lcEngine) << "download requested" << request->id() << request->url() << request->state();
    if (DownloadItem* item = m_items.value(request->id()); item && item->running()) {
        // The same download again, resumed after its connection broke: same file.
        const QFileInfo file(item->path());
        request->setDownloadDirectory(file.absolutePath());
        request->setDownloadFileName(file.fileName());
        item->resumedAs(request);
        request->accept();
        return;
    }
    QWebEngineView* view = QWebEngineView::forPage(request->page());
    auto* shelf = view ? view->window()->findChild<DownloadShelf*>() : nullptr;
    if (request->page() && !shelf) {
        // The hidden browser's page, or a page with no window of ours.
        qCInfo(lcEngine) << "a download without a member window refused:" << request->url();
        request->cancel();
        return;
    }
    if (!shelf)
        shelf = downloadsWindow()->shelf();
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (!QDir().mkpath(folder)) {
        qCWarning(lcEngine) << "cannot make the download folder" << folder;
        auto* item =
            new DownloadItem(request, folder + u'/' + downloadFileName(request->suggestedFileName()), shelf);
        request->cancel();
        shelf->add(item);
        return;
    }
    const QString path = freeDownloadPath(folder, downloadFileName(request->suggestedFileName()), m_taken);
    m_taken.insert(path);
    request->setDownloadDirectory(folder);
    request->setDownloadFileName(QFileInfo(path).fileName());
    auto* item = new DownloadItem(request, path, shelf);
    connect(item, &DownloadItem::ended, this, [this, path, id = request->id()] {
        m_taken.remove(path);
        m_items.remove(id);
    });
    const quint32 id = request->id();
    connect(item, &QObject::destroyed, this, [this, path, id] {
        m_taken.remove(path);
        m_items.remove(id);
    });
    m_items.insert(request->id(), item);
    shelf->add(item);
    request->accept();
}

void Downloads::windowClosing(DownloadShelf* shelf) {
    const QList<DownloadItem*> running = shelf->runningItems();
    if (running.isEmpty())
        return;
    DownloadShelf* target = downloadsWindow()->shelf();
    for (DownloadItem* item : running)
        target->add(item);
}

void Downloads::cancelAllAtExit() {
    for (const QPointer<DownloadItem>& item : m_items) {
        if (item && item->running()) {
            item->cancel();
            qCWarning(lcEngine) << "the program ended before a download did; it was cancelled:"
                                << item->path();
        }
    }
}

} // namespace engine
