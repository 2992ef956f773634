// Preloaded into a daemon that writes the testbed's LED attributes as it would write sysfs, as
// UPower does: it rewinds and writes a new value without truncating. Sysfs takes each write as the
// whole value; the testbed's plain file would keep the old value's tail ("1" over "57" reads 17).
// So a write at the start of a file under the testbed cuts the file to what was written.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <unistd.h>

namespace {

bool underTestbed(int fd)
{
    static const char* const root = [] {
        const char* folder = std::getenv("UMOCKDEV_DIR");
        return folder ? realpath(folder, nullptr) : nullptr;
    }();
    char link[32];
    char path[PATH_MAX];
    std::snprintf(link, sizeof(link), "/proc/self/fd/%d", fd);
    const ssize_t length = readlink(link, path, sizeof(path) - 1);
    if (!root || length <= 0)
        return false;
    path[length] = '\0';
    return std::strncmp(path, root, std::strlen(root)) == 0;
}

} // namespace

extern "C" ssize_t write(int fd, const void* bytes, size_t size)
{
    using Write = ssize_t (*)(int, const void*, size_t);
    static const auto next = reinterpret_cast<Write>(dlsym(RTLD_NEXT, "write"));
    const off_t at = lseek(fd, 0, SEEK_CUR);
    const ssize_t written = next(fd, bytes, size);
    const int error = errno;
    if (at == 0 && written > 0 && underTestbed(fd))
        (void)ftruncate(fd, written);
    errno = error;
    return written;
}
