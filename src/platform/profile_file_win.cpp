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

// A temporary file of a write left behind longer than this belongs to a process that died
// (in 100-nanosecond file-time units).
constexpr uint64_t StaleTemporaryTicks = 60ull * 10'000'000;

uint64_t Ticks(const FILETIME& t) {
    return (uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime;
}

// Removes what earlier writes of this file left when their process died between creating
// the temporary file and moving it into place: "." + name + "." and six characters.
void RemoveStaleTemporaries(const std::string& dir, const std::string& base) {
    const std::string prefix = "." + base + ".";
    WIN32_FIND_DATAA data{};
    const OwnedFind find(::FindFirstFileA((dir + prefix + "??????").c_str(), &data));
    if (!find.Valid())
        return;
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    do {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
            std::string_view(data.cFileName).size() == prefix.size() + 6 &&
            Ticks(now) - Ticks(data.ftLastWriteTime) > StaleTemporaryTicks) {
            ::DeleteFileA((dir + data.cFileName).c_str());
        }
    } while (::FindNextFileA(find.Get(), &data));
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
    // The read-only attribute refuses a write.
    WIN32_FILE_ATTRIBUTE_DATA existing{};
    const bool exists =
        ::GetFileAttributesExA(native.c_str(), GetFileExInfoStandard, &existing) != 0;
    if (exists &&
        ((existing.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0 ||
         existing.nFileSizeHigh != 0)) {
        m_loaded = false;
        throw Error(message);
    }
    const size_t slash = native.find_last_of("\\/:");
    const std::string dir =
        slash == std::string::npos ? std::string() : native.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? native : native.substr(slash + 1);

    std::string temp;
    OwnedHandle file;
    for (unsigned attempt = 0; attempt < 100 && !file.Valid(); ++attempt) {
        char suffix[8];
        std::snprintf(suffix, sizeof suffix, "%06lx",
                      (::GetTickCount() * 7919ul + ::GetCurrentProcessId() + attempt) & 0xFFFFFF);
        temp = dir + "." + base + "." + suffix;
        file = OwnHandle(::CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    if (!file.Valid()) {
        m_loaded = false;
        throw Error(message);
    }
    const HANDLE h = Win(file);
    bool ok = SerializeInPieces([&](std::string_view piece) {
        DWORD put = 0;
        return ::WriteFile(h, piece.data(), static_cast<DWORD>(piece.size()), &put, nullptr) &&
               put == piece.size();
    });
    ok = ok && ::FlushFileBuffers(h);
    ok = file.Close() && ok;
    ok = ok && ::MoveFileExA(temp.c_str(), native.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) {
        ::DeleteFileA(temp.c_str());
        m_loaded = false;
        throw Error(message);
    }
    RemoveStaleTemporaries(dir, base);
}

}  // namespace fraglane::platform
