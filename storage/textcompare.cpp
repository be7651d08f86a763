#include "storage/textcompare.h"

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

} // namespace textcompare
