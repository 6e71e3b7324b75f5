// The file system on Linux (POSIX calls, and Linux's own /proc/self/exe and nanosecond stat
// times): Windows path text turned into native paths, names found without regard to case.
#include "platform/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <unordered_map>

#include "platform/confined_path_posix.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/owned_posix.h"
#include "platform/text.h"

namespace fraglane::platform {

namespace {

bool NativeEntryExists(const std::string& native) {
    struct stat st {};
    return ::lstat(native.c_str(), &st) == 0;
}

// Folded names of one directory, kept while the directory's modification time stays the same.
struct DirIndex {
    int64_t mtimeNs = 0;
    ino_t inode = 0;
    std::unordered_map<std::string, std::string> names;  // folded -> smallest actual name
};

std::mutex IndexMutex;
std::unordered_map<std::string, DirIndex> Indexes;
constexpr size_t MaxIndexes = 64;
// A directory changed less than this ago may change again within the same timestamp tick,
// unseen by its modification time: such a listing is used once and not kept.
constexpr int64_t SettledNs = 2'000'000'000;

int64_t Nanoseconds(const timespec& t) {
    return static_cast<int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

std::unordered_map<std::string, std::string> ReadFoldedNames(const std::string& dir) {
    std::unordered_map<std::string, std::string> names;
    const OwnedDir d(::opendir(dir.empty() ? "." : dir.c_str()));
    if (!d.Valid())
        return names;
    while (dirent* e = ::readdir(d.Get())) {
        const std::string_view name = e->d_name;
        if (name == "." || name == "..")
            continue;
        auto [it, inserted] = names.try_emplace(text::LowerCase(name), name);
        if (!inserted && name < it->second)
            it->second = name;  // the same answer whatever the order
    }
    return names;
}

// The name of an entry of dir that equals name with ASCII letters folded, or empty. Only
// called on a miss of the exact name; a settled directory is read once, then indexed.
std::string FindFolded(const std::string& dir, std::string_view name) {
    const std::string key = dir.empty() ? "." : dir;
    struct stat st {};
    if (::stat(key.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return {};
    const int64_t mtime = Nanoseconds(st.st_mtim);
    const std::string folded = text::LowerCase(name);
    {
        std::lock_guard lock(IndexMutex);
        const auto it = Indexes.find(key);
        if (it != Indexes.end() && it->second.mtimeNs == mtime && it->second.inode == st.st_ino) {
            const auto found = it->second.names.find(folded);
            return found == it->second.names.end() ? std::string() : found->second;
        }
    }
    DirIndex index{mtime, st.st_ino, ReadFoldedNames(key)};
    const auto found = index.names.find(folded);
    std::string result = found == index.names.end() ? std::string() : found->second;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    if (Nanoseconds(now) - mtime > SettledNs) {
        std::lock_guard lock(IndexMutex);
        if (Indexes.size() >= MaxIndexes)
            Indexes.clear();
        Indexes[key] = std::move(index);
    }
    return result;
}

}  // namespace

std::string ToNative(std::string_view path) {
    std::string native = DisplayPath(path);
    // Exact match first: the usual case costs one lstat and no directory read.
    if (native.empty() || NativeEntryExists(native))
        return native;

    std::string resolved;
    size_t pos = 0;
    if (native.front() == '/') {
        resolved = "/";
        pos = 1;
    }
    while (pos < native.size()) {
        size_t slash = native.find('/', pos);
        const bool last = slash == std::string::npos;
        if (last)
            slash = native.size();
        std::string_view component(native.data() + pos, slash - pos);
        if (component.empty() || component == "." || component == ".." ||
            NativeEntryExists(resolved + std::string(component))) {
            resolved.append(component);
        } else {
            std::string match = FindFolded(resolved, component);
            if (match.empty()) {
                // Nothing of that name: the rest is new and keeps the case it was given.
                resolved.append(native, pos, std::string::npos);
                return resolved;
            }
            resolved.append(match);
        }
        if (!last)
            resolved.push_back('/');
        pos = slash + 1;
    }
    return resolved;
}

std::string FromNative(std::string_view nativePath) {
    std::string path(nativePath);
    for (char& c : path) {
        if (c == '/')
            c = '\\';
    }
    return path;
}

std::string DisplayPath(std::string_view path) {
    std::string out(path);
    for (char& c : out) {
        if (c == '\\')
            c = '/';
    }
    return out;
}

bool FileExists(std::string_view path) {
    struct stat st {};
    return ::stat(ToNative(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(std::string_view path) {
    struct stat st {};
    return ::stat(ToNative(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateDir(std::string_view path) {
    const std::string native = ToNative(path);
    std::string leaf;
    const OwnedHandle parent = OpenParentBelow(path, native, leaf);
    if (parent.Valid())
        return ::mkdirat(Fd(parent), leaf.c_str(), 0777) == 0;
    return errno == 0 && ::mkdir(native.c_str(), 0777) == 0;
}

namespace {

// The native path of a name the caller knows to be in no other case: only its folder is
// looked up without regard to case.
std::string ExactNative(std::string_view path) {
    const std::string name = ExtractFileName(path);
    const std::string folder = ExtractFilePath(path);
    return folder.empty() ? name : ToNative(folder) + "/" + name;
}

// Renames from to to, each reached below its confined folder without following a link, or
// by name where it is not confined. noReplace: only where nothing has the new name, through
// renameat2, or a second name and the old one removed where the file system has no
// renameat2.
bool RenameNative(std::string_view from, const std::string& nativeFrom, std::string_view to,
                  const std::string& nativeTo, bool noReplace) {
    std::string leafFrom;
    std::string leafTo;
    const OwnedHandle fromDir = OpenParentBelow(from, nativeFrom, leafFrom);
    if (!fromDir.Valid() && errno != 0)
        return false;
    OwnedHandle toDir;
    const bool sameFolder = fromDir.Valid() && ExtractFilePath(from) == ExtractFilePath(to);
    if (sameFolder) {
        leafTo = nativeTo.substr(nativeTo.rfind('/') + 1);
    } else {
        toDir = OpenParentBelow(to, nativeTo, leafTo);
        if (!toDir.Valid() && errno != 0)
            return false;
    }
    const int a = fromDir.Valid() ? Fd(fromDir) : AT_FDCWD;
    const char* aName = fromDir.Valid() ? leafFrom.c_str() : nativeFrom.c_str();
    const int b = sameFolder ? a : toDir.Valid() ? Fd(toDir) : AT_FDCWD;
    const char* bName = sameFolder || toDir.Valid() ? leafTo.c_str() : nativeTo.c_str();
    if (!noReplace)
        return ::renameat(a, aName, b, bName) == 0;
    if (::renameat2(a, aName, b, bName, RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    return ::linkat(a, aName, b, bName, 0) == 0 && ::unlinkat(a, aName, 0) == 0;
}

}  // namespace

bool RenameFile(std::string_view from, std::string_view to) {
    return RenameNative(from, ToNative(from), to, ToNative(to), false);
}

bool RenameToNewName(std::string_view from, std::string_view to) {
    return RenameNative(from, ExactNative(from), to, ExactNative(to), true);
}

namespace {

// Removes a file or a link itself at native: below a confined folder from the folder on,
// nothing followed.
bool RemoveNativeFile(std::string_view path, const std::string& native) {
    std::string leaf;
    const OwnedHandle parent = OpenParentBelow(path, native, leaf);
    if (parent.Valid())
        return ::unlinkat(Fd(parent), leaf.c_str(), 0) == 0;
    return errno == 0 && ::unlink(native.c_str()) == 0;
}

}  // namespace

bool RemoveFile(std::string_view path) {
    return RemoveNativeFile(path, ToNative(path));
}

bool RemoveExactFile(std::string_view path) {
    return RemoveNativeFile(path, ExactNative(path));
}

bool RemoveDir(std::string_view path) {
    const std::string native = ToNative(path);
    std::string leaf;
    const OwnedHandle parent = OpenParentBelow(path, native, leaf);
    if (parent.Valid())
        return ::unlinkat(Fd(parent), leaf.c_str(), AT_REMOVEDIR) == 0;
    return errno == 0 && ::rmdir(native.c_str()) == 0;
}

void FailWritesPastTheFileSizeLimit() {
    ::signal(SIGXFSZ, SIG_IGN);
}

std::string ProgramFile() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return {};
    return FromNative(std::string_view(buffer, static_cast<size_t>(n)));
}

std::string AbsolutePath(const std::string& native) {
    std::string path = native;
    if (path.empty() || path.front() != '/') {
        char cwd[PATH_MAX];
        if (::getcwd(cwd, sizeof cwd) != nullptr) {
            path = std::string(cwd) + (path.empty() ? "" : "/" + path);
        }
    }
    return FromNative(path);
}

std::vector<DirEntry> ListDirectory(std::string_view dir, bool mustRead) {
    std::vector<DirEntry> entries;
    const std::string native = ToNative(IncludeTrailingBackslash(dir));
    const OwnedDir d(::opendir(native.c_str()));
    if (!d.Valid()) {
        if (mustRead)
            throw Error("Cannot read folder " + DisplayPath(dir));
        return entries;
    }
    while (dirent* e = ::readdir(d.Get())) {
        const std::string_view name = e->d_name;
        if (name == "." || name == "..")
            continue;
        bool isDir = e->d_type == DT_DIR;
        if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
            // Links count as what they point to, as Windows shows a linked folder as a folder.
            struct stat st {};
            isDir = ::stat((native + std::string(name)).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        }
        entries.push_back({std::string(name), isDir});
    }
    return entries;
}

EntryInfo InspectEntry(std::string_view path) {
    return InspectNativeEntry(ToNative(path));
}

EntryInfo InspectNativeEntry(const std::string& native) {
    EntryInfo info;
    struct stat st {};
    if (::lstat(native.c_str(), &st) != 0)
        return info;
    info.isLink = S_ISLNK(st.st_mode);
    if (info.isLink && ::stat(native.c_str(), &st) != 0)
        return info;  // a dangling link leads nowhere
    info.kind = S_ISREG(st.st_mode)   ? EntryKind::Regular
                : S_ISDIR(st.st_mode) ? EntryKind::Directory
                                      : EntryKind::Other;
    info.device = static_cast<uint64_t>(st.st_dev);
    info.inode = static_cast<uint64_t>(st.st_ino);
    info.modified = static_cast<int64_t>(st.st_mtime);
    // Where a plain file lies is known from its folder; the real location is worked out only
    // for links and folders, which is where it can differ.
    if (!info.isLink && info.kind == EntryKind::Regular)
        return info;
    if (char* real = ::realpath(native.c_str(), nullptr)) {
        info.realPath = real;
        std::free(real);
    }
    return info;
}

bool IsInsideFolder(std::string_view realPath, std::string_view realFolder) {
    if (realPath.empty() || realFolder.empty())
        return false;
    if (realFolder.back() == '/')
        realFolder.remove_suffix(1);
    return realPath.substr(0, realFolder.size()) == realFolder &&
           (realPath.size() == realFolder.size() || realPath[realFolder.size()] == '/');
}

namespace {

// Hands the open file to take in pieces of at most 64 KiB, maxBytes in all at most.
void ReadOpenFile(const OwnedHandle& file, std::string_view path, size_t maxBytes,
                  const std::function<void(std::string_view)>& take) {
    const int fd = Fd(file);
    char buffer[65536];
    size_t done = 0;
    while (done < maxBytes) {
        const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, maxBytes - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)  // a file cut short by a failing read must not pass for the whole file
            throw Error("Unable to read " + DisplayPath(path));
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
        take(std::string_view(buffer, static_cast<size_t>(n)));
    }
}

std::string ReadOpenFile(const OwnedHandle& file, std::string_view path, size_t maxBytes) {
    std::string data;
    // Sized once from the file's length, so that reading a large file does not hold it
    // twice while the text grows.
    struct stat st {};
    if (::fstat(Fd(file), &st) == 0 && st.st_size > 0)
        data.reserve(std::min(maxBytes, static_cast<size_t>(st.st_size)));
    ReadOpenFile(file, path, maxBytes, [&data](std::string_view piece) { data.append(piece); });
    return data;
}

// Opened without waiting, so that a pipe swapped in meanwhile cannot block the reader; what
// is open is then checked, not the name.
OwnedHandle OpenRegularFile(std::string_view path) {
    OwnedHandle file = OwnFd(::open(ToNative(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!file.Valid() && errno != ENOENT && errno != ENOTDIR)
        throw Error("Cannot process this file: " + DisplayPath(path) + " ");  // there, not ours
    if (!file.Valid())
        throw Error("File \"" + DisplayPath(path) + "\" not found!");
    struct stat st {};
    if (::fstat(Fd(file), &st) != 0 || !S_ISREG(st.st_mode))
        throw Error("Cannot process this file: " + DisplayPath(path) + " ");
    return file;
}

}  // namespace

std::string ReadFileBytes(std::string_view path, size_t maxBytes) {
    const OwnedHandle file = OwnFd(::open(ToNative(path).c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.Valid())
        throw Error("File \"" + DisplayPath(path) + "\" not found!");
    return ReadOpenFile(file, path, maxBytes);
}

std::string ReadRegularFile(std::string_view path, size_t maxBytes) {
    return ReadOpenFile(OpenRegularFile(path), path, maxBytes);
}

void ReadRegularFileInPieces(std::string_view path,
                             const std::function<void(std::string_view)>& take) {
    ReadOpenFile(OpenRegularFile(path), path, SIZE_MAX, take);
}

void ReadSameFileInPieces(std::string_view path, uint64_t device, uint64_t inode,
                          const std::function<void(std::string_view)>& take) {
    const OwnedHandle file = OpenRegularFile(path);
    struct stat st {};
    if (::fstat(Fd(file), &st) != 0 || static_cast<uint64_t>(st.st_dev) != device ||
        static_cast<uint64_t>(st.st_ino) != inode) {
        throw Error("Cannot process this file: " + DisplayPath(path) + " ");
    }
    ReadOpenFile(file, path, SIZE_MAX, take);
}

void CopyFileKeepingTime(std::string_view from, std::string_view to) {
    struct stat st {};
    const bool timed = ::stat(ToNative(from).c_str(), &st) == 0;
    CopyRegularFile(from, to);
    if (timed) {
        const timespec times[2] = {st.st_atim, st.st_mtim};
        ::utimensat(AT_FDCWD, ToNative(to).c_str(), times, AT_SYMLINK_NOFOLLOW);
    }
}

}  // namespace fraglane::platform
