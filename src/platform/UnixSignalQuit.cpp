#include "platform/UnixSignalQuit.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <array>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int wakeFds[2] = {-1, -1};
constexpr std::array kSignals{SIGTERM, SIGINT, SIGHUP};

extern "C" void onSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    // Nothing to do if the socket is full: a quit is already on its way.
    [[maybe_unused]] const auto written = ::write(wakeFds[0], &byte, 1);
    errno = saved;
}

} // namespace

UnixSignalQuit::UnixSignalQuit(QObject* parent) : QObject(parent)
{
    if (wakeFds[0] < 0 &&
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, wakeFds) != 0)
        return;
    m_notifier = new QSocketNotifier(wakeFds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &UnixSignalQuit::handleWake);

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    m_installed = true;
    for (int signal : kSignals)
        m_installed = ::sigaction(signal, &action, nullptr) == 0 && m_installed;
}

UnixSignalQuit::~UnixSignalQuit()
{
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int signal : kSignals)
        ::sigaction(signal, &action, nullptr);
}

int UnixSignalQuit::exec()
{
    QTimer::singleShot(0, this, [this] {
        if (m_requested)
            QCoreApplication::exit(0);
    });
    return QCoreApplication::exec();
}

void UnixSignalQuit::handleWake()
{
    char buffer[16];
    while (::read(wakeFds[1], buffer, sizeof buffer) > 0) {
    }
    // Kept for exec(): event processing before the loop runs (a blocking call on the way to it)
    // can take the signal in, when exiting does nothing. And exit() rather than quit(): a quit
    // asks the windows first, and one that is just opening can refuse it, leaving a signalled
    // process running for good.
    m_requested = true;
    QCoreApplication::exit(0);
}
