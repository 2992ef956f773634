#include "shell/InstanceGuard.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QStandardPaths>

namespace {

// The primary may be between taking the lock and listening: give it this long to answer.
constexpr int kAnswerMilliseconds = 3000;

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

InstanceGuard::~InstanceGuard() = default;

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
    connect(&m_socket, &LocalLineSocket::lineReceived, this, [this](const QByteArray& line) {
        if (line == showRequest)
            emit showRequested();
    });
    m_socket.listen(socketPath());
}

bool InstanceGuard::askPrimary()
{
    return LocalLineSocket::send(socketPath(), QByteArray(showRequest) + '\n',
                                 QDeadlineTimer(kAnswerMilliseconds));
}
