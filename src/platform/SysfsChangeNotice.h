#pragma once

#include "platform/ChangeNotice.h"

#include <string>

class QSocketNotifier;

// A sysfs attribute that the kernel announces changes of (sysfs_notify): the open file turns
// exceptional (POLLPRI) until it is read again from its start. An attribute that cannot be
// opened gives no notice.
class SysfsChangeNotice final : public ChangeNotice {
    Q_OBJECT
public:
    explicit SysfsChangeNotice(const std::string& path, QObject* parent = nullptr);
    ~SysfsChangeNotice() override;

    bool watching() const { return m_fd >= 0; }

private:
    void rearm();

    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
};
