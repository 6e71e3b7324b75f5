#include "archive/deflate_ahead.h"

#include <algorithm>

#include "archive/deflate.h"
#include "platform/file_system.h"

namespace fraglane::archive {

namespace {
struct GiveUp {};  // thrown from a piece to leave a file to the writer
}  // namespace

void ReadTreeFile(const TreeFile& file, const std::function<void(std::string_view)>& take) {
    if (file.device != 0 || file.inode != 0)
        platform::ReadSameFileInPieces(file.path, file.device, file.inode, take);
    else
        platform::ReadRegularFileInPieces(file.path, take);
}

unsigned DeflateWorkers(unsigned asked) {
    if (asked != 0)
        return asked;
    return std::max(1u, std::thread::hardware_concurrency());
}

DeflateAhead::DeflateAhead(std::vector<TreeFile> files, unsigned workers, Packing packing,
                           size_t cap)
    : m_files(std::move(files)),
      m_packing(packing),
      m_cap(cap),
      m_window(size_t{2} * std::max(1u, workers)),
      m_done(m_files.size()) {
    const size_t count = std::min<size_t>(std::max(1u, workers), m_files.size());
    m_workers.reserve(count);
    try {
        for (size_t i = 0; i < count; ++i)
            m_workers.emplace_back([this] { Work(); });
    } catch (...) {
        // Fewer workers than asked (or none: then the writer does every file itself).
    }
}

DeflateAhead::~DeflateAhead() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    for (std::thread& worker : m_workers)
        worker.join();
}

DeflatedFile DeflateAhead::Take(size_t index) {
    std::unique_lock lock(m_mutex);
    if (m_workers.empty() || index >= m_files.size())
        return {};
    // Files passed over are dropped, and the workers may go on up to this one.
    for (size_t i = m_taken; i < index; ++i)
        m_done[i].reset();
    m_taken = std::max(m_taken, index);
    m_changed.notify_all();
    m_changed.wait(lock, [&] { return m_done[index].has_value(); });
    DeflatedFile file = std::move(*m_done[index]);
    m_done[index].reset();
    m_taken = index + 1;
    lock.unlock();
    m_changed.notify_all();
    return file;
}

void DeflateAhead::Work() {
    // A worker's compressor is made once and serves file after file, as the writer's does.
    MemberDeflater deflater(m_packing);
    for (;;) {
        size_t index = 0;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [&] {
                return m_stopping || m_next >= m_files.size() || m_next < m_taken + m_window;
            });
            if (m_stopping || m_next >= m_files.size())
                return;
            index = m_next++;
        }
        DeflatedFile file = Deflate(m_files[index], deflater);
        {
            const std::lock_guard lock(m_mutex);
            m_done[index] = std::move(file);
        }
        m_changed.notify_all();
    }
}

DeflatedFile DeflateAhead::Deflate(const TreeFile& source, MemberDeflater& deflater) const {
    DeflatedFile file;
    const WriteOutput put = [&](const uint8_t* data, size_t n) {
        if (file.packed.size() + n > m_cap)
            throw GiveUp{};
        file.packed.append(reinterpret_cast<const char*>(data), n);
        return true;
    };
    try {
        ReadTreeFile(source, [&](std::string_view piece) {
            if (piece.empty())
                return;
            if (m_stopping)
                throw GiveUp{};
            if (file.size == 0)
                deflater.Begin();
            file.size += piece.size();
            if (file.size > WholeLimit)
                throw GiveUp{};  // it would stream: the writer's own work, in its turn
            file.crc = Crc32(file.crc, piece);
            deflater.Feed(piece, put);
        });
        if (file.size > 0)
            deflater.Finish(put);
        file.ready = true;
    } catch (...) {
        // Unreadable, too large, past the cap, a compression failure or a stop: the writer's
        // own attempt decides.
        file = DeflatedFile{};
    }
    return file;
}

}  // namespace fraglane::archive
