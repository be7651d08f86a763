#pragma once

#include <QString>
#include <QStringList>

namespace textcompare {

// The text with every U+3000, every U+0020 and then every CR LF pair removed,
// each removal one left-to-right pass as a plain replace would make it.
QString normalized(const QString& text);

// True when the normalised texts differ.
bool IsTextChanged(const QString& newText, const QString& oldText);

// The text as it comes back after a round trip through the snapshot file:
// characters UTF-8 cannot hold (lone surrogates) become U+FFFD. Comparing with
// this form keeps such a page from raising a change at every check.
QString storable(const QString& text);

// What a change brought, line by line, after the same normalisation as
// IsTextChanged (so a line that differs only in blanks is the same line).
struct News {
    QStringList added; // lines of the new text that the old one lacks, in page order, trimmed
    // Those of `added` that stand for an old line which they differ from only
    // in digits (a counter, a date, a time above the list): updates, not news.
    QStringList updates;
    bool removed = false; // the old text had lines that the new one lacks
};
News whatIsNew(const QString& newText, const QString& oldText);

} // namespace textcompare
