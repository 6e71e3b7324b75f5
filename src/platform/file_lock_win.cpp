// File locks on Windows: LockFileEx on one byte of the lock file, past its end (it stays
// empty, so no read or write ever meets the locked range). A lock belongs to the handle, so
// that two handles in one process exclude each other; the system drops it when the handle is
// closed or the process ends.
#include "platform/file_lock.h"

#include "platform/error.h"
#include "platform/owned_win.h"

namespace fraglane::platform {

FileLock FileLock::Acquire(const std::string& nativePath, uint32_t slot, bool wait,
                           const std::string& failure) {
    FileLock lock;
    // A link under the name is opened as itself (and then refused) rather than followed.
    lock.m_handle = OwnHandle(
        ::CreateFileA(nativePath.c_str(), GENERIC_READ | GENERIC_WRITE,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!lock.m_handle.Valid())
        throw Error(failure);
    const HANDLE h = Win(lock.m_handle);
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileType(h) != FILE_TYPE_DISK || !::GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        throw Error(failure);
    }
    OVERLAPPED at{};
    at.Offset = slot;
    const DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
    // A handle opened without FILE_FLAG_OVERLAPPED: the call returns once the lock is granted.
    if (!::LockFileEx(h, flags, 0, 1, 0, &at)) {
        if (!wait && ::GetLastError() == ERROR_LOCK_VIOLATION)
            return FileLock();  // held by another
        throw Error(failure);
    }
    lock.m_slot = slot;
    return lock;
}

void FileLock::Release() {
    if (!m_handle.Valid())
        return;
    // Unlocked at once: on a close alone the system drops the lock when it gets to it.
    OVERLAPPED at{};
    at.Offset = m_slot;
    ::UnlockFileEx(Win(m_handle), 0, 1, 0, &at);
    m_handle.Close();
}

}  // namespace fraglane::platform
