// The file system on Windows: program path text is the native path, and the file system
// itself ignores case.
#include "platform/file_system.h"

#include <algorithm>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/owned_win.h"
#include "platform/text.h"

namespace fraglane::platform {

std::string ToNative(std::string_view path) {
    return std::string(path);
}

std::string FromNative(std::string_view nativePath) {
    return std::string(nativePath);
}

std::string DisplayPath(std::string_view path) {
    return std::string(path);
}

bool FileExists(std::string_view path) {
    const DWORD a = ::GetFileAttributesA(std::string(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(std::string_view path) {
    const DWORD a = ::GetFileAttributesA(std::string(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool CreateDir(std::string_view path) {
    return ReachableWithoutLinks(path) &&
           ::CreateDirectoryA(std::string(path).c_str(), nullptr) != 0;
}

bool RemoveFile(std::string_view path) {
    if (!ReachableWithoutLinks(path, false))
        return false;
    const std::string native(path);
    // A link to a folder is removed as the folder entry it is.
    const DWORD a = ::GetFileAttributesA(native.c_str());
    if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
        (a & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return ::RemoveDirectoryA(native.c_str()) != 0;
    }
    return ::DeleteFileA(native.c_str()) != 0;
}

bool RenameFile(std::string_view from, std::string_view to) {
    return ReachableWithoutLinks(from, false) && ReachableWithoutLinks(to, false) &&
           ::MoveFileExA(std::string(from).c_str(), std::string(to).c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool RenameToNewName(std::string_view from, std::string_view to) {
    // Without MOVEFILE_REPLACE_EXISTING the move fails where anything has the new name.
    return ReachableWithoutLinks(from, false) && ReachableWithoutLinks(to, false) &&
           ::MoveFileExA(std::string(from).c_str(), std::string(to).c_str(),
                         MOVEFILE_WRITE_THROUGH) != 0;
}

bool RemoveExactFile(std::string_view path) {
    return RemoveFile(path);  // the system finds any case itself
}

bool RemoveDir(std::string_view path) {
    return ReachableWithoutLinks(path, false) && ::RemoveDirectoryA(std::string(path).c_str()) != 0;
}

void FailWritesPastTheFileSizeLimit() {
    // Windows has no file-size limit signal: a failed write already returns its error.
}

std::string ProgramFile() {
    char buffer[MAX_PATH * 4];
    const DWORD n = ::GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    return n == 0 || n >= sizeof buffer ? std::string() : std::string(buffer, n);
}

std::string AbsolutePath(const std::string& native) {
    char buffer[MAX_PATH * 4];
    const DWORD n =
        ::GetFullPathNameA(native.empty() ? "." : native.c_str(), sizeof buffer, buffer, nullptr);
    return n == 0 || n >= sizeof buffer ? native : std::string(buffer, n);
}

std::vector<DirEntry> ListDirectory(std::string_view dir, bool mustRead) {
    std::vector<DirEntry> entries;
    const std::string pattern = IncludeTrailingBackslash(dir) + "*";
    WIN32_FIND_DATAA data{};
    const OwnedFind find(::FindFirstFileA(pattern.c_str(), &data));
    if (!find.Valid()) {
        if (mustRead)
            throw Error("Cannot read folder " + DisplayPath(dir));
        return entries;
    }
    do {
        const std::string_view name = data.cFileName;
        if (name == "." || name == "..")
            continue;
        entries.push_back(
            {std::string(name), (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    } while (::FindNextFileA(find.Get(), &data));
    return entries;
}

EntryInfo InspectEntry(std::string_view path) {
    return InspectNativeEntry(std::string(path));  // the system finds any case itself
}

EntryInfo InspectNativeEntry(const std::string& native) {
    EntryInfo info;
    const DWORD a = ::GetFileAttributesA(native.c_str());
    if (a == INVALID_FILE_ATTRIBUTES)
        return info;
    info.isLink = (a & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    // Opened through any link, with the folder flag so that folders open too, for what the
    // entry leads to.
    const OwnedHandle entry =
        OwnHandle(::CreateFileA(native.c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!entry.Valid())
        return info;  // a dangling link leads nowhere
    const HANDLE h = Win(entry);
    BY_HANDLE_FILE_INFORMATION file{};
    if (::GetFileInformationByHandle(h, &file)) {
        const bool folder = (file.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        info.kind = folder                               ? EntryKind::Directory
                    : ::GetFileType(h) == FILE_TYPE_DISK ? EntryKind::Regular
                                                         : EntryKind::Other;
        info.device = file.dwVolumeSerialNumber;
        info.inode = (uint64_t{file.nFileIndexHigh} << 32) | file.nFileIndexLow;
        if (info.isLink || folder) {
            char real[MAX_PATH * 4];
            const DWORD n = ::GetFinalPathNameByHandleA(h, real, sizeof real, FILE_NAME_NORMALIZED);
            if (n > 0 && n < sizeof real)
                info.realPath.assign(real, n);
        }
    }
    return info;
}

bool IsInsideFolder(std::string_view realPath, std::string_view realFolder) {
    if (realPath.empty() || realFolder.empty())
        return false;
    if (realFolder.back() == '\\')
        realFolder.remove_suffix(1);
    return realPath.size() >= realFolder.size() &&
           text::EqualsIgnoreCase(realPath.substr(0, realFolder.size()), realFolder) &&
           (realPath.size() == realFolder.size() || realPath[realFolder.size()] == '\\');
}

namespace {

// Opens a file for reading; a device (CON, NUL, a pipe) is refused when regularOnly.
OwnedHandle OpenForReading(std::string_view path, bool regularOnly) {
    OwnedHandle file =
        OwnHandle(::CreateFileA(std::string(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid())
        throw Error("File \"" + DisplayPath(path) + "\" not found!");
    if (regularOnly && ::GetFileType(Win(file)) != FILE_TYPE_DISK)
        throw Error("Cannot process this file: " + DisplayPath(path) + " ");
    return file;
}

// Hands the open file to take in pieces of at most 64 KiB, maxBytes in all at most.
void ReadOpenFile(const OwnedHandle& file, std::string_view path, size_t maxBytes,
                  const std::function<void(std::string_view)>& take) {
    char buffer[65536];
    size_t done = 0;
    while (done < maxBytes) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min(sizeof buffer, maxBytes - done));
        if (!::ReadFile(Win(file), buffer, want, &got, nullptr))
            throw Error("Unable to read " + DisplayPath(path));
        if (got == 0)
            break;
        done += got;
        take(std::string_view(buffer, got));
    }
}

// Reads a file at most maxBytes long; a device (CON, NUL, a pipe) is refused when regularOnly.
std::string ReadNative(std::string_view path, size_t maxBytes, bool regularOnly) {
    const OwnedHandle file = OpenForReading(path, regularOnly);
    std::string data;
    LARGE_INTEGER size{};
    if (::GetFileSizeEx(Win(file), &size) && size.QuadPart > 0)
        data.reserve(std::min(maxBytes, static_cast<size_t>(size.QuadPart)));
    ReadOpenFile(file, path, maxBytes, [&data](std::string_view piece) { data.append(piece); });
    return data;
}

}  // namespace

std::string ReadFileBytes(std::string_view path, size_t maxBytes) {
    return ReadNative(path, maxBytes, false);
}

std::string ReadRegularFile(std::string_view path, size_t maxBytes) {
    return ReadNative(path, maxBytes, true);
}

void ReadRegularFileInPieces(std::string_view path,
                             const std::function<void(std::string_view)>& take) {
    ReadOpenFile(OpenForReading(path, true), path, SIZE_MAX, take);
}

void ReadSameFileInPieces(std::string_view path, uint64_t device, uint64_t inode,
                          const std::function<void(std::string_view)>& take) {
    const OwnedHandle file = OpenForReading(path, true);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(Win(file), &info) || info.dwVolumeSerialNumber != device ||
        ((uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow) != inode) {
        throw Error("Cannot process this file: " + DisplayPath(path) + " ");
    }
    ReadOpenFile(file, path, SIZE_MAX, take);
}

void CopyFileKeepingTime(std::string_view from, std::string_view to) {
    WIN32_FILE_ATTRIBUTE_DATA source{};
    const bool timed =
        ::GetFileAttributesExA(std::string(from).c_str(), GetFileExInfoStandard, &source) != 0;
    CopyRegularFile(from, to);
    if (!timed)
        return;
    const OwnedHandle target = OwnHandle(::CreateFileA(
        std::string(to).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (target.Valid())
        ::SetFileTime(Win(target), nullptr, &source.ftLastAccessTime, &source.ftLastWriteTime);
}

}  // namespace fraglane::platform
