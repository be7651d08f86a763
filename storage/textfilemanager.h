#pragma once

#include <QString>

class QFileDevice;

// Whole-file text operations on UTF-8 files. Nothing is thrown: failures come
// back as empty text or false, with the text of the last failure in Message().
class textfileManager {
public:
    textfileManager();

    QString Message() const { return m_message; }

    // `ok`, when given, tells an empty file from one that could not be read.
    QString ReadText(const QString& strFilePath, bool* ok = nullptr);
    // Appends strValue and CR LF; an empty strValue writes nothing.
    bool WriteText(const QString& strFilePath, const QString& strValue);
    bool ClearText(const QString& strFilePath);
    // Creates an empty file unless one is there already.
    bool CreateText(const QString& strFilePath);
    // Replaces the file (made when missing) with strValue and CR LF, or with
    // nothing for an empty strValue, through a temporary file beside it and a
    // rename: a failed or cut-short write leaves the old file whole.
    bool ReplaceText(const QString& strFilePath, const QString& strValue);

    static const QString NotFoundMessage;

private:
    void SetMessage(const QString& message) { m_message = message; }
    void SetFailure(const QFileDevice& file);

    QString m_message;
};
