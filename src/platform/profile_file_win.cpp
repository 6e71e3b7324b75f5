// The settings file on Windows: its stamp, and its replacement as one step.
#include "platform/profile_file.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/owned_win.h"

namespace fraglane::platform {

namespace {

uint64_t Ticks(const FILETIME& t) {
    return (uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime;
}

}  // namespace

ProfileFile::FileStamp ProfileFile::Stamp() const {
    FileStamp stamp;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExA(m_nativePath.c_str(), GetFileExInfoStandard, &data))
        return stamp;
    stamp.exists = true;
    stamp.size = static_cast<int64_t>((uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow);
    stamp.mtimeNs = static_cast<int64_t>(Ticks(data.ftLastWriteTime) * 100);
    return stamp;
}

std::string ProfileFile::ReadBytes() const {
    // A folder cannot be opened as a file; a device (CON, NUL) or a pipe can, and is refused
    // before anything is read from it.
    const DWORD attributes = ::GetFileAttributesA(m_nativePath.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        throw Error(NotRegularMessage());
    const OwnedHandle file = OwnHandle(::CreateFileA(
        m_nativePath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid())
        return {};  // missing, or not to be read: read as missing
    const HANDLE h = Win(file);
    if (::GetFileType(h) != FILE_TYPE_DISK)
        throw Error(NotRegularMessage());
    std::string bytes;
    LARGE_INTEGER size{};
    if (::GetFileSizeEx(h, &size) && size.QuadPart > 0)
        bytes.reserve(static_cast<size_t>(std::min<LONGLONG>(size.QuadPart, UINT32_MAX)));
    char buffer[65536];
    while (bytes.size() < UINT32_MAX) {
        DWORD got = 0;
        if (!::ReadFile(h, buffer, static_cast<DWORD>(sizeof buffer), &got, nullptr))
            return {};  // cut short, it must not pass for the whole file
        if (got == 0)
            break;
        bytes.append(buffer, got);
    }
    return bytes;
}

FileLock ProfileFile::Lock(uint32_t slot, bool wait) const {
    const size_t slash = m_nativePath.find_last_of("\\/:");
    const size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
    const std::string lockFile =
        m_nativePath.substr(0, nameAt) + "." + m_nativePath.substr(nameAt) + ".lock";
    return FileLock::Acquire(lockFile, slot, wait, "Unable to write to " + DisplayPath(m_path));
}

void ProfileFile::WriteReplacement(const std::string& message) {
    const std::string& native = m_nativePath;
    // Records count bytes in 32 bits: a file of 4 GiB or more is never written over.
    WIN32_FILE_ATTRIBUTE_DATA existing{};
    if (::GetFileAttributesExA(native.c_str(), GetFileExInfoStandard, &existing) &&
        existing.nFileSizeHigh != 0) {
        m_loaded = false;
        throw Error(message);
    }
    const size_t slash = native.find_last_of("\\/:");
    const std::string dir =
        slash == std::string::npos ? std::string() : native.substr(0, slash + 1);
    try {
        WriteFileAnew(dir, native.substr(dir.size()),
                      [this](const std::function<bool(std::string_view)>& write) {
                          return m_text.SerializeInPieces(write);
                      });
    } catch (const Error&) {
        // Only a regular file is replaced; the read-only attribute refuses it.
        m_loaded = false;
        throw Error(message);
    }
}

}  // namespace fraglane::platform
