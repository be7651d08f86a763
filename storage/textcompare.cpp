#include "storage/textcompare.h"

#include <QHash>
#include <QSet>
#include <QStringView>

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

} // namespace

News whatIsNew(const QString& newText, const QString& oldText) {
    QHash<QString, int> old;
    QStringList oldKeys; // by place: the n-th line that holds more than blanks
    forEachLine(oldText, [&](QStringView, const QString& key) {
        ++old[key];
        oldKeys << key;
    });
    QList<std::pair<QString, QString>> lines; // shown, key
    QSet<QString> newKeys;
    forEachLine(newText, [&](QStringView line, const QString& key) {
        lines.append({line.trimmed().toString().remove(u'\r'), key});
        newKeys.insert(key);
    });
    News news;
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
            withoutDigits(oldKeys.at(place)) == withoutDigits(key))
            news.updates << shown;
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
