#include "storage/textfilemanager.h"

#include "storage/filemodule.h"

#include <QFile>
#include <QLoggingCategory>
#include <QSaveFile>

Q_DECLARE_LOGGING_CATEGORY(lcFiles)

using fileModule::CheckFileExists;

const QString textfileManager::NotFoundMessage = QStringLiteral("ファイルが見つかりません。");

textfileManager::textfileManager() {
    SetMessage(QString());
}

void textfileManager::SetFailure(const QFileDevice& file) {
    // number ":" description, no blanks around the colon
    SetMessage(QString::number(static_cast<int>(file.error())) + u':' + file.errorString());
}

QString textfileManager::ReadText(const QString& strFilePath, bool* ok) {
    if (ok)
        *ok = false;
    if (!CheckFileExists(strFilePath)) {
        SetMessage(NotFoundMessage);
        return QString();
    }
    QFile file(strFilePath);
    if (!file.open(QIODevice::ReadOnly)) {
        SetFailure(file);
        return QString();
    }
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        SetFailure(file);
        return QString();
    }
    if (ok)
        *ok = true;
    return QString::fromUtf8(data);
}

bool textfileManager::WriteText(const QString& strFilePath, const QString& strValue) {
    if (!CheckFileExists(strFilePath)) {
        SetMessage(NotFoundMessage);
        return false;
    }
    if (strValue.isEmpty())
        return true;
    QFile file(strFilePath);
    const QByteArray data = strValue.toUtf8() + "\r\n";
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(data) != data.size() ||
        !file.flush()) {
        SetFailure(file);
        return false;
    }
    file.close();
    if (file.error() != QFileDevice::NoError) {
        SetFailure(file);
        return false;
    }
    return true;
}

bool textfileManager::ClearText(const QString& strFilePath) {
    if (!CheckFileExists(strFilePath)) {
        SetMessage(NotFoundMessage);
        return false;
    }
    QFile file(strFilePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        SetFailure(file);
        return false;
    }
    return true;
}

bool textfileManager::CreateText(const QString& strFilePath) {
    if (CheckFileExists(strFilePath))
        return true;
    QFile file(strFilePath);
    // NewOnly: never truncate something that appeared since the check.
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        SetFailure(file);
        return false;
    }
    return true;
}

bool textfileManager::ReplaceText(const QString& strFilePath, const QString& strValue) {
    QSaveFile file(strFilePath);
    const QByteArray data = strValue.isEmpty() ? QByteArray() : strValue.toUtf8() + "\r\n";
    // The member's own pages (a greeting names them): theirs alone to read,
    // whatever the file was before.
    const bool opened = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) &&
                        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (!opened || !fileModule::CommitWhole(file, data)) {
        SetFailure(file);
        qCWarning(lcFiles) << "cannot write" << strFilePath << m_message;
        file.cancelWriting();
        return false;
    }
    return true;
}
