#pragma once

#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;
class QLockFile;

// One running Quietbox per user session. The first start holds a lock file and listens on a
// local socket beside it; a later start finds the lock held, hands its request to the running
// one over the socket and is told to leave. Both live in the runtime folder of
// TPrivateFolder::Base() ($XDG_RUNTIME_DIR, or the private cache folder when that is unusable).
class TSingleInstance : public QObject
{
    Q_OBJECT

public:
    // name: the lock's and socket's base name; folder: where they live (empty: the default).
    explicit TSingleInstance(const QString& name = QStringLiteral("quietbox"), const QString& folder = QString(),
                             QObject* parent = nullptr);
    ~TSingleInstance() override;

    // True when this process is now the one instance (it listens from here on). False when
    // another holds the lock: request has been handed to it (or could not be, when it hangs).
    bool Claim(const QString& request = QString());

Q_SIGNALS:
    // A later start asked; request is what it handed over (empty: just come to the front).
    void Requested(const QString& request);

private:
    QString m_folder;
    QString m_name;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
};
