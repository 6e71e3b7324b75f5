// Replacing a file as one step on POSIX systems: a temporary file beside it, renamed over it.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <ctime>

#include "platform/confined_path_posix.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/owned_posix.h"

namespace fraglane::platform {

namespace {

// A temporary file of a write left behind longer than this belongs to a process that died.
constexpr int64_t StaleTemporarySeconds = 60;
constexpr size_t SuffixLength = 6;

// Six letters or digits that differ from call to call and from process to process: the
// exclusive create, not the name, keeps two writers apart.
std::string TemporarySuffix() {
    static std::atomic<uint64_t> counter{0};
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    uint64_t n = (static_cast<uint64_t>(now.tv_nsec) ^ (static_cast<uint64_t>(::getpid()) << 32)) +
                 counter.fetch_add(0x9E3779B97F4A7C15ull);
    static constexpr char Letters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string suffix;
    for (size_t i = 0; i < SuffixLength; ++i) {
        suffix.push_back(Letters[n % (sizeof Letters - 1)]);
        n /= sizeof Letters - 1;
        n ^= n << 13;
    }
    return suffix;
}

bool WriteAll(int fd, std::string_view data) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Removes what earlier writes of this name left when their process died between creating
// the temporary file and renaming it: "." + name + TemporaryMark and six characters. Only
// regular files are removed, never followed.
void RemoveStaleTemporaries(int dirFd, const std::string& leaf) {
    const int listFd = ::openat(dirFd, ".", O_DIRECTORY | O_RDONLY | O_CLOEXEC);
    const OwnedDir d(listFd < 0 ? nullptr : ::fdopendir(listFd));
    if (!d.Valid()) {
        if (listFd >= 0)
            ::close(listFd);
        return;
    }
    const time_t now = ::time(nullptr);
    while (dirent* e = ::readdir(d.Get())) {
        const std::string_view name = e->d_name;
        if (!IsTemporaryName(name, leaf))
            continue;
        struct stat st {};
        if (::fstatat(dirFd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
            now - st.st_mtime > StaleTemporarySeconds) {
            ::unlinkat(dirFd, e->d_name, 0);
        }
    }
}

}  // namespace

void WriteFileAnew(std::string_view folder, std::string_view name, const PieceProducer& produce) {
    const std::string path = std::string(folder) + std::string(name);
    const std::string message = "Cannot create file " + DisplayPath(path);
    // folder itself is trusted, a link too; below it, nothing is entered through a link.
    const std::string nativeFolder = folder.empty() ? std::string("./") : ToNative(folder);
    const std::string native = folder.empty() ? "./" + ToNative(name) : ToNative(path);
    std::string leaf;
    const OwnedHandle parent = OpenParentFrom(nativeFolder, true, native, leaf);
    if (!parent.Valid())
        ThrowCreateError(message);
    const int dirFd = Fd(parent);

    // A link (or a hard link) at the name is replaced like a file; anything else but a
    // regular file stays. The read-only attribute refuses the write, as on Windows whoever
    // the user is.
    struct stat st {};
    const bool exists = ::fstatat(dirFd, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    const bool regular = exists && S_ISREG(st.st_mode);
    if (exists && !S_ISLNK(st.st_mode) && (!regular || (st.st_mode & S_IWUSR) == 0))
        throw Error(message);

    std::string temp;
    OwnedHandle file;
    for (int attempt = 0; attempt < 100 && !file.Valid(); ++attempt) {
        temp = "." + leaf + TemporaryMark + TemporarySuffix();
        // Replacing a file, the temporary is the writer's alone until it has the file's
        // owner and bits: a config may hold the rcon password.
        file = OwnFd(::openat(dirFd, temp.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                              regular ? 0600 : 0666));
        if (!file.Valid() && errno != EEXIST)
            break;
    }
    if (!file.Valid())
        ThrowCreateError(message);

    bool written = false;
    try {
        written = produce([&](std::string_view piece) { return WriteAll(Fd(file), piece); });
        if (written && regular) {
            // Giving the file back to its owner is for a writer that may (root running the
            // CLI for a service's user); the bits come after it, which a change of owner may
            // clear.
            static_cast<void>(::fchown(Fd(file), st.st_uid, st.st_gid));
            written = ::fchmod(Fd(file), st.st_mode & 07777) == 0;
        }
        written = written && ::fsync(Fd(file)) == 0;
        written = file.Close() && written;
    } catch (...) {
        ::unlinkat(dirFd, temp.c_str(), 0);
        throw;
    }
    if (!written) {
        ::unlinkat(dirFd, temp.c_str(), 0);
        throw OutputError("Unable to write to " + DisplayPath(path));
    }
    if (::renameat(dirFd, temp.c_str(), dirFd, leaf.c_str()) != 0) {
        // A folder put at the name meanwhile refuses the rename, and stays.
        ::unlinkat(dirFd, temp.c_str(), 0);
        throw Error(message);
    }
    RemoveStaleTemporaries(dirFd, leaf);
}

}  // namespace fraglane::platform
