#include "platform/SysfsChangeNotice.h"

#include <QSocketNotifier>
#include <fcntl.h>
#include <unistd.h>

SysfsChangeNotice::SysfsChangeNotice(const std::string& path, QObject* parent)
    : ChangeNotice(parent), m_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC))
{
    if (m_fd < 0)
        return;
    rearm();
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Exception, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        rearm();
        post();
    });
}

SysfsChangeNotice::~SysfsChangeNotice()
{
    if (m_notifier)
        m_notifier->setEnabled(false);
    if (m_fd >= 0)
        ::close(m_fd);
}

void SysfsChangeNotice::rearm()
{
    // The value itself is read by whoever acts on the notice; this read only re-arms it. It
    // fails with ENODATA until the first change, which re-arms it just the same.
    char buffer[64];
    if (::lseek(m_fd, 0, SEEK_SET) == 0) {
        [[maybe_unused]] const auto ignored = ::read(m_fd, buffer, sizeof buffer);
    }
}
