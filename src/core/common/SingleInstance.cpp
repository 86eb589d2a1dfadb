#include "core/common/SingleInstance.h"

#include "core/common/PrivateFolder.h"
#include "core/common/QbError.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>

namespace {

// A request is one line; the running instance answers "ok" once it took it.
constexpr int kWaitMs = 3000;

} // namespace

TSingleInstance::TSingleInstance(const QString& name, const QString& folder, QObject* parent)
    : QObject(parent)
    , m_folder(folder)
    , m_name(name)
{
}

TSingleInstance::~TSingleInstance() = default;

bool TSingleInstance::Claim(const QString& request)
{
    if (m_folder.isEmpty()) {
        try {
            m_folder = TPrivateFolder::Base();
        } catch (const QbError&) {
            return true; // nowhere to meet: run alone rather than not at all
        }
    }
    const QDir dir(m_folder);
    m_lock = std::make_unique<QLockFile>(dir.filePath(m_name + QStringLiteral(".lock")));
    m_lock->setStaleLockTime(0); // only a dead holder's lock is stale, however old
    const QString socketPath = dir.filePath(m_name + QStringLiteral(".socket"));
    if (m_lock->tryLock(0)) {
        m_server = new QLocalServer(this);
        m_server->setSocketOptions(QLocalServer::UserAccessOption);
        QLocalServer::removeServer(socketPath); // a dead holder's socket
        if (!m_server->listen(socketPath))
            return true; // still the one instance; later starts then find no one to raise
        connect(m_server, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket* peer = m_server->nextPendingConnection()) {
                connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
                connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
                    if (!peer->canReadLine())
                        return;
                    const QString line = QString::fromUtf8(peer->readLine()).chopped(1);
                    peer->write("ok\n");
                    peer->flush();
                    Q_EMIT Requested(line);
                });
            }
        });
        return true;
    }
    m_lock.reset();
    // The holder may be starting: it listens a moment after it locked.
    QLocalSocket socket;
    for (int attempt = 0; attempt < 10; ++attempt) {
        socket.connectToServer(socketPath);
        if (socket.waitForConnected(kWaitMs / 10))
            break;
        QThread::msleep(100);
    }
    if (socket.state() != QLocalSocket::ConnectedState)
        return false;
    QString line = request;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    socket.write(line.toUtf8() + '\n');
    socket.waitForBytesWritten(kWaitMs);
    socket.waitForReadyRead(kWaitMs);
    return false;
}
