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
    // Parallel to `added`: the old line that it stands for (an update, or
    // the same title with a few characters changed), else empty.
    QStringList replaced;
};
News whatIsNew(const QString& newText, const QString& oldText);

// A stretch of a line, in UTF-16 units; it never splits a character (a
// surrogate pair, a base and its combining marks).
struct Span {
    qsizetype start;
    qsizetype length;
    bool operator==(const Span& o) const { return start == o.start && length == o.length; }
};
// The stretches of `now` that are not in `was`, character by character:
// Japanese has no spaces to split words at.
QList<Span> changedSpans(const QString& was, const QString& now);
// Whether `now` reads as `was` with a few characters changed (an edited
// title, a corrected date): at least half of the longer one kept in place.
bool editedFrom(const QString& was, const QString& now);

} // namespace textcompare
