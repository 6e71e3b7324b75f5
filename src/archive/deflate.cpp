#include "archive/deflate.h"

#include <zlib.h>

#include <algorithm>
#include <vector>

#include "platform/error.h"

namespace fraglane::archive {

namespace {

constexpr size_t BufferSize = size_t{64} * 1024;

class RawInflater {
public:
    RawInflater() { m_ok = inflateInit2(&m_stream, -MAX_WBITS) == Z_OK; }
    ~RawInflater() {
        if (m_ok)
            inflateEnd(&m_stream);
    }
    RawInflater(const RawInflater&) = delete;
    RawInflater& operator=(const RawInflater&) = delete;
    bool ok() const { return m_ok; }
    z_stream& stream() { return m_stream; }

private:
    z_stream m_stream{};
    bool m_ok = false;
};

}  // namespace

uint32_t Crc32(const std::string& data) {
    return Crc32(0, data);
}

uint32_t Crc32(uint32_t start, std::string_view piece) {
    uLong crc = start;
    const auto* p = reinterpret_cast<const Bytef*>(piece.data());
    size_t left = piece.size();
    while (left > 0) {
        const uInt n = static_cast<uInt>(std::min<size_t>(left, 1u << 30));
        crc = crc32(crc, p, n);
        p += n;
        left -= n;
    }
    return static_cast<uint32_t>(crc);
}

struct RawDeflater::State {
    z_stream stream{};
    std::vector<uint8_t> buffer = std::vector<uint8_t>(BufferSize);
};

RawDeflater::RawDeflater(int level) : m_state(new State) {
    if (deflateInit2(&m_state->stream, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) !=
        Z_OK) {
        delete m_state;
        throw Error("Cannot compress data");
    }
}

RawDeflater::~RawDeflater() {
    deflateEnd(&m_state->stream);
    delete m_state;
}

void RawDeflater::Begin() {
    if (deflateReset(&m_state->stream) != Z_OK)
        throw Error("Cannot compress data");
}

void RawDeflater::Feed(std::string_view piece, const WriteOutput& write) {
    // Fed in parts that fit zlib's 32-bit counters, whatever the size of the piece.
    while (piece.size() > (size_t{1} << 30)) {
        Run(piece.substr(0, size_t{1} << 30), Z_NO_FLUSH, write);
        piece.remove_prefix(size_t{1} << 30);
    }
    Run(piece, Z_NO_FLUSH, write);
}

void RawDeflater::Finish(const WriteOutput& write) {
    Run({}, Z_FINISH, write);
}

void RawDeflater::Run(std::string_view piece, int flush, const WriteOutput& write) {
    z_stream& s = m_state->stream;
    std::vector<uint8_t>& buffer = m_state->buffer;
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(piece.data()));
    s.avail_in = static_cast<uInt>(piece.size());
    int rc = Z_OK;
    do {
        s.next_out = buffer.data();
        s.avail_out = static_cast<uInt>(buffer.size());
        rc = deflate(&s, flush);
        if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR)
            throw Error("Cannot compress data");
        const size_t n = buffer.size() - s.avail_out;
        if (n > 0 && !write(buffer.data(), n))
            throw Error("Cannot compress data");
        if (flush == Z_FINISH && rc == Z_BUF_ERROR && n == 0)
            throw Error("Cannot compress data");  // no progress: never loop on it
        // Without finishing, zlib may keep input back until more comes; it owes output only
        // while it fills the buffer.
    } while (flush == Z_FINISH ? rc != Z_STREAM_END : (s.avail_in > 0 || s.avail_out == 0));
}

bool InflateExactly(const ReadInput& read, uint64_t expected, const WriteOutput& write) {
    if (expected == 0)
        return true;
    RawInflater inflater;
    if (!inflater.ok())
        return false;
    z_stream& s = inflater.stream();
    std::vector<uint8_t> in(BufferSize), out(BufferSize);
    uint64_t produced = 0;
    bool inputEnded = false;
    while (produced < expected) {
        // More input only once zlib holds none: it may have taken in all of the data and
        // still owe output (a member that deflated a thousand to one), which the next calls
        // give without any new input.
        if (s.avail_in == 0 && !inputEnded) {
            const size_t got = read(in.data(), in.size());
            inputEnded = got == 0;
            s.next_in = in.data();
            s.avail_in = static_cast<uInt>(got);
        }
        const uint64_t want = std::min<uint64_t>(out.size(), expected - produced);
        s.next_out = out.data();
        s.avail_out = static_cast<uInt>(want);
        const int rc = inflate(&s, Z_NO_FLUSH);
        const size_t n = static_cast<size_t>(want - s.avail_out);
        if (n > 0 && !write(out.data(), n))
            return false;
        produced += n;
        if (rc == Z_STREAM_END)
            return produced == expected;
        if (rc != Z_OK && rc != Z_BUF_ERROR)
            return false;
        // No output and none to come: the data ends before the declared size came out.
        if (n == 0 && (inputEnded || s.avail_in != 0))
            return false;
    }
    return true;
}

}  // namespace fraglane::archive
