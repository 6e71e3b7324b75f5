#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// Deflating the files of a tree on worker threads, ahead of the writer that puts them into the
// archive one after another. Private to the archive writer.
namespace fraglane::archive {

class MemberDeflater;
enum class Packing;

// A file of a tree as the walk found it (device and file number: InspectEntry's).
struct TreeFile {
    std::string path;
    uint64_t device = 0;
    uint64_t inode = 0;
};

// One file read and deflated, as the writer would have done it itself.
struct DeflatedFile {
    bool ready = false;  // false: the writer reads and deflates the file itself
    uint64_t size = 0;
    uint32_t crc = 0;
    std::string packed;  // raw deflate
};

// Workers take the files in the order given, at most two files a worker ahead of the one the
// writer takes, each deflated whole in memory (a file past WholeLimit is left to the writer,
// which streams it), its deflated data kept up to `cap` bytes: memory stays bounded by a few
// files of WholeLimit a worker whatever the tree holds. A file that cannot be read, or whose
// deflated data would pass the cap, is handed over not ready, and the writer deflates it
// itself, so that its bytes and its error are the same. The writer's output does not depend
// on the number of workers: each file is deflated by a MemberDeflater of the same packing, as
// the writer would.
class DeflateAhead {
public:
    static constexpr size_t DefaultCap = size_t{17} << 20;  // a whole member's deflated data

    DeflateAhead(std::vector<TreeFile> files, unsigned workers, Packing packing,
                 size_t cap = DefaultCap);
    ~DeflateAhead();  // stops the workers (a file in work ends at its next piece) and joins
    DeflateAhead(const DeflateAhead&) = delete;
    DeflateAhead& operator=(const DeflateAhead&) = delete;

    // Waits for the file at index (taken in increasing order) and hands it over.
    DeflatedFile Take(size_t index);

private:
    void Work();
    DeflatedFile Deflate(const TreeFile& source, MemberDeflater& deflater) const;

    const std::vector<TreeFile> m_files;
    const Packing m_packing;
    const size_t m_cap;
    const size_t m_window;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::optional<DeflatedFile>> m_done;
    size_t m_next = 0;                     // the next file a worker starts
    size_t m_taken = 0;                    // files the writer has taken
    std::atomic<bool> m_stopping = false;  // set under the lock, read by pieces without it
    std::vector<std::thread> m_workers;
};

// Reads a file of a tree in pieces, only if it is still the file the walk found (a device and
// file number of 0 and 0: not known, any regular file).
void ReadTreeFile(const TreeFile& file, const std::function<void(std::string_view)>& take);

// The number of workers for a count asked for: 0 asks for one a core.
unsigned DeflateWorkers(unsigned asked);

}  // namespace fraglane::archive
