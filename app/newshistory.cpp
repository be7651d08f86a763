#include "app/newshistory.h"

#include "dialogs/frmhistory.h"
#include "storage/checkreport.h"
#include "storage/membersettings.h"

#include <QGuiApplication>
#include <QListWidget>
#include <QScreen>

namespace basMain {

namespace {
const QString PlaceSection = QStringLiteral("history");
} // namespace

const QString NewsHistory::UnseenTip = QStringLiteral("未確認の新着 %1 件");

NewsHistory::~NewsHistory() {
    delete m_window;
}

frmHistory* NewsHistory::window() const {
    return m_window;
}

void NewsHistory::closeWindow() {
    if (m_window)
        m_window->close();
}

QString NewsHistory::FilePath() {
    return MemberDir() + QStringLiteral("/kelvo_history.json");
}

NewsRecord& NewsHistory::record() {
    if (!m_record)
        m_record.emplace(FilePath()); // the member's folder is known once the program runs
    return *m_record;
}

bool NewsHistory::add(const textcompare::News& news) {
    const bool written =
        record().add(report::newsEntry(news, QDateTime::currentDateTimeUtc(), MailAddress(), Password()));
    if (m_window && m_window->isVisible())
        record().markSeen(); // before the member's eyes
    refresh();
    return written;
}

QString NewsHistory::tipLine() {
    const int unseen = record().unseen();
    return unseen > 0 ? UnseenTip.arg(unseen) : QString();
}

void NewsHistory::refresh() {
    if (m_window)
        m_window->setEntries(record().entries(), m_boldAfter);
    Q_EMIT changed();
}

void NewsHistory::Show() {
    if (!m_window) {
        m_window = new frmHistory;
        m_window->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_window, &frmHistory::openTopPage, this, &NewsHistory::openTopPage);
        connect(m_window, &frmHistory::clearAsked, this, &NewsHistory::clear);
        connect(m_window, &frmHistory::closed, this, &NewsHistory::keepPlace);
        const QByteArray place = WindowPlace(PlaceSection);
        // A place on a monitor that is gone is no place: Qt then centres it.
        if (place.isEmpty() || !m_window->restoreGeometry(place)) {
            // On a small or much scaled screen, no larger than most of it.
            const QRect free = QGuiApplication::primaryScreen()->availableGeometry();
            m_window->resize(m_window->size().boundedTo(free.size() * 9 / 10));
            m_window->move(free.center() - m_window->rect().center());
        }
        m_boldAfter = record().seenUpTo();
        m_window->setEntries(record().entries(), m_boldAfter);
    }
    m_window->show();
    m_window->setWindowState(m_window->windowState() & ~Qt::WindowMinimized);
    m_window->raise();
    m_window->activateWindow();
    m_window->lstHistory->setFocus();
    if (!record().markSeen())
        Q_EMIT notStored();
    Q_EMIT changed();
}

void NewsHistory::clear() {
    if (!record().clear())
        Q_EMIT notStored();
    refresh();
}

void NewsHistory::keepPlace() {
    SetWindowPlace(PlaceSection, m_window->saveGeometry());
}

} // namespace basMain
