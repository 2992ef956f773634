#include "shell/InstanceGuard.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

namespace {

// The primary may be between taking the lock and listening: give it this long to answer.
constexpr int kAnswerMilliseconds = 3000;
constexpr int kRetryMilliseconds = 50;

QString runtimeDirectory(const QString& requested)
{
    if (!requested.isEmpty())
        return requested;
    // $XDG_RUNTIME_DIR, private to the user; Qt makes a 0700 fallback when it is unset.
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

} // namespace

InstanceGuard::InstanceGuard(const QString& directory, QObject* parent)
    : QObject(parent), m_directory(runtimeDirectory(directory)),
      m_lock(QDir(m_directory).filePath(QStringLiteral("beamwick.lock")))
{
    // A lock left by a crashed process is recognised by its dead process id, never by age:
    // a long-running instance must keep its lock.
    m_lock.setStaleLockTime(0);
}

InstanceGuard::~InstanceGuard()
{
    if (m_server)
        m_server->close();
}

QString InstanceGuard::socketPath() const
{
    return QDir(m_directory).filePath(QStringLiteral("beamwick.socket"));
}

InstanceGuard::Outcome InstanceGuard::claim()
{
    QDir().mkpath(m_directory);
    if (m_lock.tryLock(0)) {
        serve();
        return Outcome::primary;
    }
    return askPrimary() ? Outcome::askedPrimary : Outcome::unreachable;
}

void InstanceGuard::serve()
{
    // Only the lock's holder gets here, so a socket file left behind is from a dead process.
    QLocalServer::removeServer(socketPath());
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                while (socket->canReadLine()) {
                    if (socket->readLine() == showRequest)
                        emit showRequested();
                }
            });
        }
    });
    m_server->listen(socketPath());
}

bool InstanceGuard::askPrimary()
{
    const QDeadlineTimer deadline(kAnswerMilliseconds);
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(socketPath());
        if (socket.waitForConnected(int(std::max<qint64>(1, deadline.remainingTime())))) {
            socket.write(showRequest);
            while (socket.bytesToWrite() > 0 &&
                   socket.waitForBytesWritten(int(std::max<qint64>(1, deadline.remainingTime()))))
                ;
            const bool sent = socket.bytesToWrite() == 0;
            socket.disconnectFromServer();
            if (sent)
                return true;
        }
        QThread::msleep(kRetryMilliseconds);
    }
    return false;
}
