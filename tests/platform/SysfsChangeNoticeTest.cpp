#include "platform/SysfsChangeNotice.h"

#include "testkit/support/EventLoop.h"

#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <string>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// The kernel announces a change of the host name on /proc/sys/kernel/hostname through the same
// poll flag as a sysfs attribute's change (POLLPRI), which is what the notice waits for. In a
// UTS namespace of its own the test may change the name without touching the machine's.
bool ownHostName(std::string& why)
{
    if (::unshare(CLONE_NEWUTS) == 0 || ::unshare(CLONE_NEWUSER | CLONE_NEWUTS) == 0)
        return true;
    why =
        std::string("cannot get a host name of the test's own (needs root or user namespaces): ") +
        std::strerror(errno);
    return false;
}

bool setHostName(const std::string& name)
{
    return ::sethostname(name.c_str(), name.size()) == 0;
}

} // namespace

TEST(SysfsChangeNoticeTest, EachChangeTheKernelAnnouncesIsNoticedOnce)
{
    std::string why;
    ASSERT_TRUE(ownHostName(why)) << why;
    SysfsChangeNotice notice("/proc/sys/kernel/hostname");
    ASSERT_TRUE(notice.watching());
    int changes = 0;
    QObject::connect(&notice, &ChangeNotice::changed, [&] { ++changes; });
    spinUntil([] { return false; }, 50ms);
    EXPECT_EQ(changes, 0) << "opening the file is no change";

    // A second change is seen as well, and no notice repeats while nothing changes.
    for (int n = 1; n <= 2; ++n) {
        ASSERT_TRUE(setHostName("beamwick-test-" + std::to_string(n)));
        EXPECT_TRUE(spinUntil([&] { return changes >= n; }, 5s)) << "change " << n;
        spinUntil([] { return false; }, 50ms);
        EXPECT_EQ(changes, n);
    }
}

TEST(SysfsChangeNoticeTest, AFileThatCannotBeOpenedOrNeverAnnouncesGivesNoNotice)
{
    QTemporaryDir folder;
    SysfsChangeNotice missing(folder.filePath("brightness_hw_changed").toStdString());
    EXPECT_FALSE(missing.watching());

    // An ordinary file is never exceptional: watched, but quiet.
    const std::string plain = folder.filePath("plain").toStdString();
    ASSERT_EQ(::close(::creat(plain.c_str(), 0600)), 0);
    SysfsChangeNotice quiet(plain);
    EXPECT_TRUE(quiet.watching());
    int changes = 0;
    QObject::connect(&quiet, &ChangeNotice::changed, [&] { ++changes; });
    spinUntil([] { return false; }, 50ms);
    EXPECT_EQ(changes, 0);
}
