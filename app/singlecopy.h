#pragma once

#include <QLockFile>
#include <QObject>

class QLocalServer;

namespace basMain {

// One copy of the program per folder of the member's files: a lock file in
// the folder says who holds it, a local socket lets a later start tell the
// holder. A lock left by a copy that was killed is taken over.
class SingleCopy : public QObject {
    Q_OBJECT
public:
    explicit SingleCopy(const QString& folder);
    ~SingleCopy() override;

    // True when this start holds the folder (or cannot tell: an unwritable
    // folder does not stop the program). False when another copy holds it;
    // that copy has been told.
    bool claim();

Q_SIGNALS:
    // A later start in the same folder was turned away.
    void anotherStartRefused();

private:
    QString m_serverName;
    QLockFile m_lock;
    QLocalServer* m_server = nullptr;
};

} // namespace basMain
