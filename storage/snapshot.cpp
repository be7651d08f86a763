#include "storage/snapshot.h"

#include "storage/filemodule.h"

#include <QFileInfo>
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcFiles)

std::optional<QString> Snapshot::baselineFor(const QString& path, const QString& page) {
    if (m_unsaved)
        return m_unsaved;
    // A missing snapshot, or one emptied by hand, is no baseline: start from
    // this page instead of announcing it as new.
    const bool noBaseline =
        !fileModule::CheckFileExists(path) || (QFileInfo(path).size() == 0 && !page.isEmpty());
    if (noBaseline && !m_textManager.ReplaceText(path, page)) {
        m_unsaved = page;
        return m_unsaved;
    }
    bool read = true;
    const QString old = m_textManager.ReadText(path, &read);
    if (!read) {
        qCWarning(lcFiles) << "cannot read" << path << m_textManager.Message() << "- not compared";
        return std::nullopt;
    }
    return old;
}

bool Snapshot::store(const QString& path, const QString& page) {
    if (m_textManager.ReplaceText(path, page)) {
        m_unsaved.reset();
        return true;
    }
    m_unsaved = page;
    return false;
}

bool Snapshot::retry(const QString& path) {
    if (!m_unsaved)
        return true;
    if (!m_textManager.ReplaceText(path, *m_unsaved))
        return false;
    qCInfo(lcFiles) << "the news held in memory is stored at last in" << path;
    m_unsaved.reset();
    return true;
}

QString Snapshot::failure() const {
    // The manager's message is "number:description".
    const QString message = m_textManager.Message();
    const qsizetype colon = message.indexOf(u':');
    bool number = false;
    message.left(colon).toInt(&number);
    return number ? message.mid(colon + 1) : message;
}
