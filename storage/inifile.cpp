#include "storage/inifile.h"

#include "storage/filemodule.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSaveFile>

#include <optional>
#include <vector>

Q_LOGGING_CATEGORY(lcFiles, "kelvo.files", QtWarningMsg)

namespace inifileModule {
namespace {

const QByteArray Utf8Bom("\xEF\xBB\xBF");

struct Line {
    QByteArray text; // without its line ending
    QByteArray ending;
};

struct IniText {
    QByteArray bom;
    std::vector<Line> lines;
};

IniText splitLines(const QByteArray& data) {
    IniText ini;
    int pos = 0;
    if (data.startsWith(Utf8Bom)) {
        ini.bom = Utf8Bom;
        pos = Utf8Bom.size();
    }
    while (pos < data.size()) {
        int nl = data.indexOf('\n', pos);
        Line line;
        if (nl < 0) {
            line.text = data.mid(pos);
            pos = data.size();
        } else {
            int end = nl;
            if (end > pos && data.at(end - 1) == '\r')
                --end;
            line.text = data.mid(pos, end - pos);
            line.ending = data.mid(end, nl + 1 - end);
            pos = nl + 1;
        }
        ini.lines.push_back(std::move(line));
    }
    return ini;
}

bool sameName(const QByteArray& raw, const QString& name) {
    return QString::fromUtf8(raw.trimmed()).compare(name, Qt::CaseInsensitive) == 0;
}

// The name of a well-formed header "[name]", or nothing for any other line.
// A header lacking "]" opens no section, so nothing below it can be mistaken
// for an entry of the section it was probably meant to be.
std::optional<QByteArray> sectionName(const QByteArray& line) {
    const QByteArray t = line.trimmed();
    if (!t.startsWith('['))
        return std::nullopt;
    const int close = t.indexOf(']');
    if (close < 0)
        return std::nullopt;
    return t.mid(1, close - 1);
}

bool isEntryOf(const QByteArray& line, const QString& key, QByteArray* value) {
    const int eq = line.indexOf('=');
    if (eq <= 0 || !sameName(line.left(eq), key))
        return false;
    if (value)
        *value = line.mid(eq + 1);
    return true;
}

struct SectionSpan {
    int header = -1;    // line index of the header
    int lastEntry = -1; // last non-blank line inside the section (the header when none)
    int end = -1;       // first line after the section
};

// First section of that name, if any.
std::optional<SectionSpan> findSection(const IniText& ini, const QString& section) {
    const int count = static_cast<int>(ini.lines.size());
    for (int i = 0; i < count; ++i) {
        const auto name = sectionName(ini.lines[i].text);
        if (!name || !sameName(*name, section))
            continue;
        SectionSpan span;
        span.header = i;
        span.lastEntry = i;
        int j = i + 1;
        for (; j < count; ++j) {
            const QByteArray& text = ini.lines[j].text;
            // Any line opening with "[" ends the section, well-formed or not.
            if (text.trimmed().startsWith('['))
                break;
            if (!text.trimmed().isEmpty())
                span.lastEntry = j;
        }
        span.end = j;
        return span;
    }
    return std::nullopt;
}

std::optional<QByteArray> readFile(const QString& filePath, QString* why = nullptr) {
    QFile file(filePath);
    if (!QFileInfo(filePath).isFile()) {
        if (why)
            *why = QStringLiteral("Not a file");
        return std::nullopt;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        if (why)
            *why = file.errorString();
        return std::nullopt;
    }
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (why)
            *why = file.errorString();
        return std::nullopt;
    }
    return data;
}

bool isSafeName(const QString& name) {
    if (name.trimmed().isEmpty())
        return false;
    for (QChar c : name) {
        if (c == u'\r' || c == u'\n' || c == QChar(0) || c == u'=' || c == u'[' || c == u']')
            return false;
    }
    return true;
}

bool hasLineBreakOrNul(const QString& value) {
    for (QChar c : value) {
        if (c == u'\r' || c == u'\n' || c == QChar(0))
            return true;
    }
    return false;
}

QByteArray fileLineEnding(const IniText& ini) {
    for (const Line& line : ini.lines) {
        if (!line.ending.isEmpty())
            return line.ending;
    }
    return QByteArrayLiteral("\n");
}

// Replaces the entry's value in place, or adds the key at the end of its
// section, or the section at the end of the file.
void setEntry(IniText& ini, const IniEntry& e) {
    const QByteArray entry = e.key.toUtf8() + '=' + e.value.toUtf8();
    const QByteArray ending = fileLineEnding(ini);
    auto insertAt = [&](int index, const QByteArray& text) {
        // The line before the new one may be the file's last, without an ending.
        if (index > 0 && ini.lines[index - 1].ending.isEmpty())
            ini.lines[index - 1].ending = ending;
        ini.lines.insert(ini.lines.begin() + index, Line{text, ending});
    };
    if (const auto span = findSection(ini, e.section)) {
        for (int i = span->header + 1; i < span->end; ++i) {
            if (isEntryOf(ini.lines[i].text, e.key, nullptr)) {
                // Keep the key as the file spells it; only the value changes.
                QByteArray& text = ini.lines[i].text;
                text = text.left(text.indexOf('=') + 1) + e.value.toUtf8();
                return;
            }
        }
        insertAt(span->lastEntry + 1, entry);
    } else {
        const int at = static_cast<int>(ini.lines.size());
        insertAt(at, '[' + e.section.toUtf8() + ']');
        insertAt(at + 1, entry);
    }
}

void removeEntry(IniText& ini, const IniEntry& e) {
    bool inSection = false;
    for (std::size_t i = 0; i < ini.lines.size();) {
        if (ini.lines[i].text.trimmed().startsWith('[')) {
            const auto name = sectionName(ini.lines[i].text);
            inSection = name && sameName(*name, e.section);
        } else if (inSection && isEntryOf(ini.lines[i].text, e.key, nullptr)) {
            ini.lines.erase(ini.lines.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
        }
        ++i;
    }
}

bool saveAtomically(const QString& filePath, const IniText& ini, QString* error) {
    QSaveFile out(filePath);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        qCWarning(lcFiles) << "cannot write" << filePath << out.errorString();
        if (error)
            *error = out.errorString();
        return false;
    }
    // The file holds the member's password: owner only, also when it existed before.
    out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QByteArray data = ini.bom;
    for (const Line& line : ini.lines) {
        data += line.text;
        data += line.ending;
    }
    if (!fileModule::CommitWhole(out, data)) {
        qCWarning(lcFiles) << "cannot write" << filePath << out.errorString();
        if (error)
            *error = out.errorString();
        out.cancelWriting();
        return false;
    }
    return true;
}

} // namespace

QString GetIniString(const QString& key, const QString& section, const QString& defaultValue,
                     const QString& filePath) {
    QString why;
    const auto data = readFile(filePath, &why);
    if (!data) {
        if (QFileInfo::exists(filePath))
            qCWarning(lcFiles) << "cannot read" << filePath << why;
        return defaultValue;
    }
    const IniText ini = splitLines(*data);
    const auto span = findSection(ini, section);
    if (!span)
        return defaultValue;
    for (int i = span->header + 1; i < span->end; ++i) {
        QByteArray value;
        if (isEntryOf(ini.lines[i].text, key, &value)) {
            const QString result = QString::fromUtf8(value); // whole, as written
            return result.isEmpty() ? defaultValue : result;
        }
    }
    return defaultValue;
}

bool WriteIniString(const QString& value, const QString& key, const QString& section,
                    const QString& filePath) {
    return WriteIniStrings({{section, key, value}}, filePath);
}

bool WriteIniStrings(const QList<IniEntry>& entries, const QString& filePath, QString* error) {
    auto failed = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    for (const IniEntry& e : entries) {
        if (hasLineBreakOrNul(e.value) || !isSafeName(e.key) || !isSafeName(e.section)) {
            // Never the value: it may be the password.
            qCWarning(lcFiles) << "refused a line break or NUL for" << e.section << e.key;
            return failed(QStringLiteral("改行を含む値は保存できません。"));
        }
    }
    IniText ini;
    if (QFileInfo::exists(filePath)) {
        QString why;
        const auto data = readFile(filePath, &why);
        if (!data) {
            qCWarning(lcFiles) << "cannot read" << filePath << why << "- left as it is";
            return failed(why); // a directory or an unreadable file: never replace it
        }
        ini = splitLines(*data);
    }
    for (const IniEntry& e : entries) {
        if (e.remove)
            removeEntry(ini, e);
        else
            setEntry(ini, e);
    }
    return saveAtomically(filePath, ini, error);
}

} // namespace inifileModule
