// Files on Windows, through the Win32 calls: the behaviour the POSIX side imitates is native
// here (case-blind names, the read-only attribute, DOS attributes and dates).
#include "platform/file.h"

#include <algorithm>

#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/owned_win.h"

namespace fraglane::platform {

namespace {

OVERLAPPED At(uint64_t offset) {
    OVERLAPPED o{};
    o.Offset = static_cast<DWORD>(offset);
    o.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return o;
}

}  // namespace

bool FileHandleTraits::Close(intptr_t handle) {
    return ::CloseHandle(reinterpret_cast<HANDLE>(handle)) != 0;
}

bool ReachableWithoutLinks(std::string_view path, bool lastToo) {
    const std::string folder = ConfiningFolder(path);
    if (folder.empty())
        return true;
    const DWORD own = ::GetFileAttributesA(folder.substr(0, folder.size() - 1).c_str());
    if (own != INVALID_FILE_ATTRIBUTES && (own & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return false;
    return ReachableBelow(folder, path, lastToo);
}

bool ReachableBelow(std::string_view folder, std::string_view path, bool lastToo) {
    for (size_t end = path.find('\\', folder.size());; end = path.find('\\', end + 1)) {
        if (end == std::string_view::npos && !lastToo)
            return true;
        const std::string part(path.substr(0, end));
        if (part.size() > folder.size()) {
            const std::string_view name = std::string_view(part).substr(part.rfind('\\') + 1);
            if (name == "..")
                return false;
            const DWORD a = ::GetFileAttributesA(part.c_str());
            if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
                return false;
        }
        if (end == std::string_view::npos)
            return true;
    }
}

void ThrowCreateError(const std::string& message) {
    switch (::GetLastError()) {
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
        case ERROR_NOT_READY:
            throw OutputError(message);  // the folder takes nothing
        default:
            throw Error(message);  // this name only
    }
}

bool LocalTime(int64_t unixSeconds, std::tm& local) {
    const time_t t = static_cast<time_t>(unixSeconds);
    return ::localtime_s(&local, &t) == 0;
}

File File::OpenExisting(std::string_view path, bool forWriting) {
    const std::string native(path);
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    File f;
    bool readWrite = forWriting;
    if (forWriting && ReachableWithoutLinks(path)) {
        f.m_handle =
            OwnHandle(::CreateFileA(native.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    if (!f.m_handle.Valid()) {
        // A read-only file or medium: opened for reading.
        readWrite = false;
        f.m_handle = OwnHandle(::CreateFileA(native.c_str(), GENERIC_READ, share, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    const HANDLE h = Win(f.m_handle);
    LARGE_INTEGER size{};
    if (!f.m_handle.Valid() || ::GetFileType(h) != FILE_TYPE_DISK || !::GetFileSizeEx(h, &size))
        throw Error("File \"" + DisplayPath(path) + "\" not found!");
    f.m_size = static_cast<uint64_t>(size.QuadPart);
    // The read-only attribute refuses writing, whatever the account may do.
    BY_HANDLE_FILE_INFORMATION info{};
    f.m_writable = readWrite && ::GetFileInformationByHandle(h, &info) &&
                   (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) == 0;
    return f;
}

File File::Create(std::string_view path) {
    return CreateNative(std::string(path), path, false);
}

File File::CreateExact(std::string_view path) {
    return CreateNative(std::string(path), path, true);
}

File File::CreateNative(const std::string& native, std::string_view path, bool onlyNew) {
    const std::string message = "Cannot create file " + DisplayPath(path);
    if (!ReachableWithoutLinks(path))
        throw Error(message);
    const DWORD attributes = ::GetFileAttributesA(native.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
        throw Error(message);
    }
    File f;
    f.m_handle = OwnHandle(::CreateFileA(
        native.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
        onlyNew ? CREATE_NEW : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f.m_handle.Valid())
        ThrowCreateError(message);
    f.m_writable = true;
    return f;
}

bool File::SameAs(uint64_t device, uint64_t inode) const {
    BY_HANDLE_FILE_INFORMATION info{};
    return m_handle.Valid() && ::GetFileInformationByHandle(Win(m_handle), &info) &&
           info.dwVolumeSerialNumber == device &&
           ((uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow) == inode;
}

uint64_t File::Size() const {
    return m_handle.Valid() ? m_size : 0;
}

bool File::ReadAt(uint64_t offset, void* buffer, size_t n) const {
    auto* out = static_cast<char*>(buffer);
    while (n > 0) {
        OVERLAPPED o = At(offset);
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<size_t>(n, 1u << 30));
        if (!::ReadFile(Win(m_handle), out, want, &got, &o) || got == 0)
            return false;
        out += got;
        n -= got;
        offset += got;
    }
    return true;
}

bool File::WriteAt(uint64_t offset, const void* data, size_t n) {
    const auto* in = static_cast<const char*>(data);
    while (n > 0) {
        OVERLAPPED o = At(offset);
        DWORD put = 0;
        const DWORD want = static_cast<DWORD>(std::min<size_t>(n, 1u << 30));
        if (!::WriteFile(Win(m_handle), in, want, &put, &o) || put == 0)
            return false;
        in += put;
        n -= put;
        offset += put;
        m_size = std::max(m_size, offset);
    }
    return true;
}

void File::SetAttributes(uint32_t attributes) {
    FILE_BASIC_INFO info{};
    if (!::GetFileInformationByHandleEx(Win(m_handle), FileBasicInfo, &info, sizeof info))
        return;
    constexpr DWORD Kept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                           FILE_ATTRIBUTE_ARCHIVE;
    info.FileAttributes = (attributes & Kept) != 0 ? (attributes & Kept) : FILE_ATTRIBUTE_NORMAL;
    ::SetFileInformationByHandle(Win(m_handle), FileBasicInfo, &info, sizeof info);
}

bool File::Truncate(uint64_t size) {
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(size);
    if (!::SetFilePointerEx(Win(m_handle), at, nullptr, FILE_BEGIN) ||
        !::SetEndOfFile(Win(m_handle))) {
        return false;
    }
    m_size = size;
    return true;
}

uint32_t GetFileAttributes(std::string_view path) {
    return ::GetFileAttributesA(std::string(path).c_str());
}

void SetFileAttributes(std::string_view path, uint32_t attributes) {
    ::SetFileAttributesA(std::string(path).c_str(),
                         attributes & (AttrReadOnly | AttrHidden | AttrSystem | AttrArchive));
}

uint32_t FileDosDateTime(std::string_view path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    FILETIME local{};
    WORD date = 0, time = 0;
    if (!::GetFileAttributesExA(std::string(path).c_str(), GetFileExInfoStandard, &data) ||
        !::FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) ||
        !::FileTimeToDosDateTime(&local, &date, &time)) {
        return CurrentDosDateTime();
    }
    return (uint32_t{date} << 16) | time;
}

}  // namespace fraglane::platform
