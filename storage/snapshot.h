#pragma once

// When the snapshot file is the baseline of a check, and when it is replaced:
// a missing or emptied file starts from the page at hand, an unreadable one
// stops the comparison, and a change that could not be stored is compared
// against in memory until a write succeeds.

#include "storage/textfilemanager.h"

#include <QString>

#include <optional>

class Snapshot {
public:
    // The text that `page` is compared with; nothing when the file cannot be
    // read (taken for empty it would announce the whole page).
    std::optional<QString> baselineFor(const QString& path, const QString& page);
    // After a change has been shown: the file replaced whole, so a crash or a
    // full disk leaves the old one; kept in memory when that fails, so the
    // same change is not announced again at every check. False when it failed
    // (why: failure()).
    bool store(const QString& path, const QString& page);
    // A change shown but not stored is tried again (at every tick, and at the
    // close): true once nothing is left unstored.
    bool retry(const QString& path);
    // Whether every change shown is in the file.
    bool allStored() const { return !m_unsaved; }
    // The page held in memory alone, if any.
    const std::optional<QString>& unsaved() const { return m_unsaved; }
    // A page told but not stored by the copy before a renewal: stored at
    // the next retry, compared against meanwhile.
    void hold(const QString& page) { m_unsaved = page; }
    void forgetUnsaved() { m_unsaved.reset(); }
    // The system's reason of the last failed store, in its words.
    QString failure() const;

private:
    textfileManager m_textManager;
    std::optional<QString> m_unsaved;
};
