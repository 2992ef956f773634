#include "shell/LocalLineSocket.h"

#include <QFile>
#include <QSocketNotifier>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr int kRetryMilliseconds = 50;

// False when the path does not fit a socket address.
bool addressOf(const QString& path, sockaddr_un& address)
{
    const QByteArray name = QFile::encodeName(path);
    address = {};
    address.sun_family = AF_UNIX;
    if (name.isEmpty() || size_t(name.size()) >= sizeof(address.sun_path))
        return false;
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    return true;
}

int streamSocket()
{
    return ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
}

} // namespace

LocalLineSocket::LocalLineSocket(QObject* parent) : QObject(parent) {}

LocalLineSocket::~LocalLineSocket()
{
    close();
}

bool LocalLineSocket::listen(const QString& path)
{
    close();
    sockaddr_un address;
    if (!addressOf(path, address))
        return false;
    ::unlink(address.sun_path);
    m_fd = streamSocket();
    // No one can connect between bind and listen, so narrowing the mode in between leaves no
    // moment in which another user could.
    const auto* generic = reinterpret_cast<const sockaddr*>(&address);
    if (m_fd < 0 || ::bind(m_fd, generic, sizeof(address)) != 0 ||
        ::chmod(address.sun_path, S_IRUSR | S_IWUSR) != 0 || ::listen(m_fd, SOMAXCONN) != 0) {
        close();
        return false;
    }
    m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] { acceptClients(); });
    return true;
}

void LocalLineSocket::close()
{
    while (!m_clients.empty())
        dropClient(m_clients.begin()->first, Drop::now);
    m_notifier.reset();
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

void LocalLineSocket::acceptClients()
{
    // One client per turn of the event loop: the clients held get read in between, so a burst
    // of connections makes the oldest go only once it had its turn to be heard.
    const int fd = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0)
        return;
    if (m_clients.size() >= maxClients) {
        const auto oldest =
            std::min_element(m_clients.begin(), m_clients.end(), [](const auto& a, const auto& b) {
                return a.second.order < b.second.order;
            });
        dropClient(oldest->first, Drop::now);
    }
    auto notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(notifier.get(), &QSocketNotifier::activated, this, [this, fd] { readClient(fd); });
    m_clients[fd] = Client{std::move(notifier), {}, ++m_accepted};
}

void LocalLineSocket::readClient(int fd)
{
    const auto found = m_clients.find(fd);
    if (found == m_clients.end())
        return;
    char chunk[512];
    const ssize_t got = ::read(fd, chunk, sizeof(chunk));
    if (got < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (got <= 0) {
        dropClient(fd, Drop::fromItsSignal);
        return;
    }
    QByteArray& pending = found->second.pending;
    pending.append(chunk, got);
    qsizetype end;
    while ((end = pending.indexOf('\n')) >= 0) {
        const QByteArray line = pending.left(end);
        pending.remove(0, end + 1);
        // A receiver may close this socket; the line is handed on from a copy for that reason.
        emit lineReceived(line);
        if (!m_clients.contains(fd))
            return;
    }
    if (pending.size() > maxLine)
        dropClient(fd, Drop::fromItsSignal);
}

void LocalLineSocket::dropClient(int fd, Drop when)
{
    const auto found = m_clients.find(fd);
    if (found == m_clients.end())
        return;
    // Disable before closing, so the notifier never watches a number the kernel hands out again.
    // A notifier is not deleted inside its own signal.
    found->second.notifier->setEnabled(false);
    if (when == Drop::fromItsSignal)
        found->second.notifier.release()->deleteLater();
    m_clients.erase(found);
    ::close(fd);
}

bool LocalLineSocket::send(const QString& path, const QByteArray& bytes, QDeadlineTimer deadline)
{
    sockaddr_un address;
    if (!addressOf(path, address))
        return false;
    const auto* generic = reinterpret_cast<const sockaddr*>(&address);
    do {
        const int fd = streamSocket();
        bool sent = false;
        if (fd >= 0 && ::connect(fd, generic, sizeof(address)) == 0)
            sent = ::send(fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL) ==
                   ssize_t(bytes.size());
        if (fd >= 0)
            ::close(fd);
        if (sent)
            return true;
        QThread::msleep(kRetryMilliseconds);
    } while (!deadline.hasExpired());
    return false;
}
