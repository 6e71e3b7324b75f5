// File locks on Linux: open file description locks (F_OFD_SETLK), which belong to one open of
// the file rather than to the process, so that two opens in one process exclude each other,
// and which lock single bytes. The kernel drops them with the last descriptor of the open.
#include "platform/file_lock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/error.h"
#include "platform/owned_posix.h"

namespace fraglane::platform {

FileLock FileLock::Acquire(const std::string& nativePath, uint32_t slot, bool wait,
                           const std::string& failure) {
    FileLock lock;
    // Not through a link (O_CREAT would create its target), and without waiting: a named pipe
    // under the name would block the open. What is open is then checked.
    lock.m_handle = OwnFd(
        ::open(nativePath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0666));
    struct stat st {};
    if (!lock.m_handle.Valid() || ::fstat(Fd(lock.m_handle), &st) != 0 || !S_ISREG(st.st_mode))
        throw Error(failure);
    struct flock range {};
    range.l_type = F_WRLCK;
    range.l_whence = SEEK_SET;
    range.l_start = static_cast<off_t>(slot);
    range.l_len = 1;
    range.l_pid = 0;  // required for open file description locks
    int result = 0;
    do {
        result = ::fcntl(Fd(lock.m_handle), wait ? F_OFD_SETLKW : F_OFD_SETLK, &range);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        if (!wait && (errno == EAGAIN || errno == EACCES))
            return FileLock();  // held by another
        throw Error(failure);
    }
    lock.m_slot = slot;
    return lock;
}

void FileLock::Release() {
    // Closing the only descriptor of the open drops its lock.
    m_handle.Close();
}

}  // namespace fraglane::platform
