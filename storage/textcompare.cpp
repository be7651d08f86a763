#include "storage/textcompare.h"

#include <QHash>
#include <QSet>
#include <QStringView>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <vector>

namespace textcompare {

QString normalized(const QString& text) {
    QString out(text.size(), Qt::Uninitialized);
    const char16_t* in = reinterpret_cast<const char16_t*>(text.utf16());
    const char16_t* const end = in + text.size();
    char16_t* const begin = reinterpret_cast<char16_t*>(out.data());
    char16_t* o = begin;
    // A CR just written that the next kept character may pair with. Once a pair
    // is dropped the CR before it (if any) is not paired again, as in one
    // left-to-right replace.
    bool pendingCR = false;
    for (; in != end; ++in) {
        const char16_t c = *in;
        if (c == u' ' || c == u'\u3000')
            continue;
        if (c == u'\n' && pendingCR) {
            --o;
            pendingCR = false;
            continue;
        }
        *o++ = c;
        pendingCR = (c == u'\r');
    }
    out.truncate(static_cast<int>(o - begin));
    return out;
}

bool IsTextChanged(const QString& newText, const QString& oldText) {
    return normalized(newText) != normalized(oldText);
}

QString storable(const QString& text) {
    return QString::fromUtf8(text.toUtf8());
}

namespace {

// Calls `f(line, key)` for every line that holds more than blanks; the key is
// the line without blanks, ideographic spaces and CR.
template <class F> void forEachLine(const QString& text, F f) {
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype end = text.indexOf(u'\n', start);
        if (end < 0)
            end = text.size();
        const QStringView line = QStringView(text).mid(start, end - start);
        QString key;
        key.reserve(line.size());
        for (QChar c : line) {
            if (c != u' ' && c != u'\u3000' && c != u'\r')
                key += c;
        }
        if (!key.isEmpty())
            f(line, key);
        start = end + 1;
    }
}

QString withoutDigits(const QString& key) {
    QString out;
    out.reserve(key.size());
    for (QChar c : key) {
        if (!c.isDigit())
            out += c;
    }
    return out;
}

// The line's characters as the member sees them (grapheme clusters).
std::vector<QStringView> characters(const QString& line) {
    std::vector<QStringView> out;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, line);
    qsizetype from = 0;
    for (qsizetype to = finder.toNextBoundary(); to > 0; to = finder.toNextBoundary()) {
        out.push_back(QStringView(line).mid(from, to - from));
        from = to;
    }
    return out;
}

// Lines longer than this are never compared character by character: a
// page-long line would cost its length squared.
constexpr size_t MarkedLength = 400;

// For each character of `now`, whether it is kept from `was` (a longest
// common subsequence); empty when either is too long.
std::vector<bool> keptCharacters(const std::vector<QStringView>& was, const std::vector<QStringView>& now) {
    const size_t n = now.size(), m = was.size();
    if (n > MarkedLength || m > MarkedLength)
        return {};
    std::vector<std::vector<unsigned short>> lcs(n + 1, std::vector<unsigned short>(m + 1, 0));
    for (size_t i = n; i-- > 0;) {
        for (size_t j = m; j-- > 0;)
            lcs[i][j] = now[i] == was[j] ? lcs[i + 1][j + 1] + 1 : std::max(lcs[i + 1][j], lcs[i][j + 1]);
    }
    std::vector<bool> kept(n, false);
    for (size_t i = 0, j = 0; i < n && j < m;) {
        if (now[i] == was[j]) {
            kept[i++] = true;
            ++j;
        } else if (lcs[i + 1][j] >= lcs[i][j + 1]) {
            ++i;
        } else {
            ++j;
        }
    }
    return kept;
}

} // namespace

QList<Span> changedSpans(const QString& was, const QString& now) {
    const std::vector<QStringView> nowChars = characters(now);
    const std::vector<bool> kept = keptCharacters(characters(was), nowChars);
    QList<Span> spans;
    if (kept.empty() && !nowChars.empty())
        return {{0, now.size()}};
    for (size_t i = 0; i < nowChars.size(); ++i) {
        if (kept[i])
            continue;
        const qsizetype start = nowChars[i].data() - now.constData();
        if (!spans.isEmpty() && spans.last().start + spans.last().length == start)
            spans.last().length += nowChars[i].size();
        else
            spans.append({start, nowChars[i].size()});
    }
    return spans;
}

bool editedFrom(const QString& was, const QString& now) {
    const std::vector<QStringView> wasChars = characters(was), nowChars = characters(now);
    const std::vector<bool> kept = keptCharacters(wasChars, nowChars);
    const auto same = std::count(kept.begin(), kept.end(), true);
    const auto longer = static_cast<qsizetype>(std::max(wasChars.size(), nowChars.size()));
    return same >= 2 && same < longer && 2 * same >= longer;
}

News whatIsNew(const QString& newText, const QString& oldText) {
    QHash<QString, int> old;
    QStringList oldKeys;  // by place: the n-th line that holds more than blanks
    QStringList oldLines; // the same, as shown
    forEachLine(oldText, [&](QStringView line, const QString& key) {
        ++old[key];
        oldKeys << key;
        oldLines << line.trimmed().toString().remove(u'\r');
    });
    QList<std::pair<QString, QString>> lines; // shown, key
    QSet<QString> newKeys;
    forEachLine(newText, [&](QStringView line, const QString& key) {
        lines.append({line.trimmed().toString().remove(u'\r'), key});
        newKeys.insert(key);
    });
    News news;
    QSet<qsizetype> paired; // old places already stood for
    QList<qsizetype> edits; // places in `added` still to pair with an old line
    for (qsizetype place = 0; place < lines.size(); ++place) {
        const auto& [shown, key] = lines.at(place);
        auto it = old.find(key);
        if (it != old.end() && *it > 0) {
            --*it; // a line repeated on the page is new only beyond its old count
            continue;
        }
        news.added << shown;
        // In the place of an old line that is gone from the page, and the
        // same as it but for digits.
        if (place < oldKeys.size() && !newKeys.contains(oldKeys.at(place)) &&
            withoutDigits(oldKeys.at(place)) == withoutDigits(key)) {
            news.updates << shown;
            news.replaced << oldLines.at(place);
            paired.insert(place);
        } else {
            news.replaced << QString();
            edits << news.added.size() - 1;
        }
    }
    // An edited title stands for the first old line gone from the page that
    // it reads as edited from, wherever new articles above have moved it. Bounded: a page that
    // changed all over is told line by line.
    QList<qsizetype> gone;
    for (qsizetype place = 0; place < oldKeys.size(); ++place) {
        if (!newKeys.contains(oldKeys.at(place)) && !paired.contains(place))
            gone << place;
    }
    if (gone.size() * edits.size() <= 400) {
        for (qsizetype at : std::as_const(edits)) {
            for (qsizetype place : std::as_const(gone)) {
                if (!paired.contains(place) && editedFrom(oldLines.at(place), news.added.at(at))) {
                    news.replaced[at] = oldLines.at(place);
                    paired.insert(place);
                    break;
                }
            }
        }
    }
    for (int left : std::as_const(old)) {
        if (left > 0) {
            news.removed = true;
            break;
        }
    }
    return news;
}

} // namespace textcompare
