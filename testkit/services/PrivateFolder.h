#pragma once

#include <string>

// A folder only its owner may enter (mode 700), under $TMPDIR (else /tmp), removed with
// everything in it when this goes. Daemons' sockets, logs and homes live in one, so nothing of
// one test's services is seen by another's or outlives it.
class PrivateFolder {
public:
    // `prefix` names the folder, e.g. "beamwick-sound"; path() is empty if it could not be made.
    // `inMemory` puts it in a memory-backed file system (/dev/shm) where there is one, for files
    // that stand in for the kernel's: on a disk, truncating one can wait seconds behind other
    // processes' journal commits on a busy machine, which a sysfs attribute never does.
    explicit PrivateFolder(const std::string& prefix, bool inMemory = false);
    ~PrivateFolder();
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;

    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};
