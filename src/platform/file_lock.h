#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "platform/owned.h"

namespace fraglane::platform {

// An advisory lock on one byte of a lock file, held while the object lives. Each byte is a
// lock of its own. A lock taken through another open of the file excludes it, whether in
// another process or in this one, so two objects of one process exclude each other as two
// processes do. The system drops the lock when the process ends, however it ends: the lock
// file stays behind, and its existence locks nothing.
class FileLock {
public:
    FileLock() = default;
    ~FileLock() { Release(); }
    FileLock(FileLock&& other) noexcept
        : m_handle(std::move(other.m_handle)), m_slot(other.m_slot) {}
    FileLock& operator=(FileLock&& other) noexcept {
        if (this != &other) {
            Release();
            m_handle = std::move(other.m_handle);
            m_slot = other.m_slot;
        }
        return *this;
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Locks byte slot of the lock file at nativePath exclusively. The file is created when
    // missing; it is opened without waiting and taken only when it is a regular file (a link,
    // a pipe or a folder under its name is refused). With wait, this blocks until the lock is
    // free; without, it gives up at once and returns a FileLock that holds nothing. Throws
    // Error(failure) when the lock file cannot be opened or the lock cannot be taken.
    static FileLock Acquire(const std::string& nativePath, uint32_t slot, bool wait,
                            const std::string& failure);

    bool Held() const { return m_handle.Valid(); }
    void Release();  // by system

private:
    OwnedHandle m_handle;
    uint32_t m_slot = 0;
};

}  // namespace fraglane::platform
