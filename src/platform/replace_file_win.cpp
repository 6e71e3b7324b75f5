// Replacing a file as one step on Windows: a temporary file beside it, moved over it.
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

// Removes what earlier writes of this name left when their process died between creating
// the temporary file and moving it into place: "." + name + TemporaryMark and six characters. Links
// (reparse points) and folders are left.
void RemoveStaleTemporaries(const std::string& dir, const std::string& leaf) {
    const std::string prefix = "." + leaf + TemporaryMark;
    WIN32_FIND_DATAA data{};
    const OwnedFind find(::FindFirstFileA((dir + prefix + "??????").c_str(), &data));
    if (!find.Valid())
        return;
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    do {
        if ((data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ==
                0 &&
            IsTemporaryName(data.cFileName, leaf) &&
            Ticks(now) - Ticks(data.ftLastWriteTime) > StaleTemporaryTicks) {
            ::DeleteFileA((dir + data.cFileName).c_str());
        }
    } while (::FindNextFileA(find.Get(), &data));
}

}  // namespace

void WriteFileAnew(std::string_view folder, std::string_view name, const PieceProducer& produce) {
    const std::string path = std::string(folder) + std::string(name);
    const std::string message = "Cannot create file " + DisplayPath(path);
    // folder itself is trusted, a link too; below it, no folder on the way may be one.
    if (!ReachableBelow(folder, path, false))
        throw Error(message);
    // A link (or a hard link) at the name is replaced like a file; a folder stays. The
    // read-only attribute refuses the write.
    const DWORD existing = ::GetFileAttributesA(path.c_str());
    const bool exists = existing != INVALID_FILE_ATTRIBUTES;
    const bool link = exists && (existing & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (exists && !link && (existing & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
        throw Error(message);
    }
    const size_t slash = path.find_last_of("\\/:");
    const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string leaf = path.substr(dir.size());

    std::string temp;
    OwnedHandle file;
    for (unsigned attempt = 0; attempt < 100 && !file.Valid(); ++attempt) {
        char suffix[8];
        std::snprintf(
            suffix, sizeof suffix, "%06lx",
            (::GetTickCount() * 7919ul + ::GetCurrentProcessId() * 31ul + attempt) & 0xFFFFFF);
        temp = dir + "." + leaf + TemporaryMark + suffix;
        // CREATE_NEW refuses whatever has the name, a link too: nothing is written through one.
        file = OwnHandle(::CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.Valid() && ::GetLastError() != ERROR_FILE_EXISTS &&
            ::GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    if (!file.Valid())
        ThrowCreateError(message);
    const HANDLE h = Win(file);
    bool written = false;
    try {
        written = produce([h](std::string_view piece) {
            DWORD put = 0;
            return ::WriteFile(h, piece.data(), static_cast<DWORD>(piece.size()), &put, nullptr) &&
                   put == piece.size();
        });
        written = written && ::FlushFileBuffers(h);
        written = file.Close() && written;
    } catch (...) {
        file.Close();
        ::DeleteFileA(temp.c_str());
        throw;
    }
    if (!written) {
        ::DeleteFileA(temp.c_str());
        throw OutputError("Unable to write to " + DisplayPath(path));
    }
    // The replaced file's hidden and system attributes stay with the name.
    if (exists && !link)
        ::SetFileAttributesA(
            temp.c_str(),
            existing & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE));
    if (!::MoveFileExA(temp.c_str(), path.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ::DeleteFileA(temp.c_str());
        throw Error(message);
    }
    RemoveStaleTemporaries(dir, leaf);
}

}  // namespace fraglane::platform
