#include "archive/deflate.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <vector>

#include "platform/error.h"

namespace fraglane::archive {

namespace {

constexpr size_t BufferSize = size_t{64} * 1024;
constexpr int StreamLevel = 9;
constexpr size_t KeptBuffer = size_t{1} << 20;

int WholeLevel(Packing packing) {
    return packing == Packing::Smallest ? 12 : 7;
}

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

// Raw deflate through zlib: what a zlib stream holds without its 2-byte header and its Adler-32
// trailer. One compressor serves many texts: zlib's state (some 270 KiB at level 9) is made
// once and reset between texts. Output is handed on as it comes, through a bounded buffer.
class RawDeflater {
public:
    explicit RawDeflater(int level) {
        if (deflateInit2(&m_stream, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            throw Error("Cannot compress data");
    }
    ~RawDeflater() { deflateEnd(&m_stream); }
    RawDeflater(const RawDeflater&) = delete;
    RawDeflater& operator=(const RawDeflater&) = delete;

    void Begin() {
        if (deflateReset(&m_stream) != Z_OK)
            throw Error("Cannot compress data");
    }
    void Feed(std::string_view piece, const WriteOutput& write) {
        // Fed in parts that fit zlib's 32-bit counters, whatever the size of the piece.
        while (piece.size() > (size_t{1} << 30)) {
            Run(piece.substr(0, size_t{1} << 30), Z_NO_FLUSH, write);
            piece.remove_prefix(size_t{1} << 30);
        }
        Run(piece, Z_NO_FLUSH, write);
    }
    void Finish(const WriteOutput& write) { Run({}, Z_FINISH, write); }

private:
    void Run(std::string_view piece, int flush, const WriteOutput& write);

    z_stream m_stream{};
    std::vector<uint8_t> m_buffer = std::vector<uint8_t>(BufferSize);
};

void RawDeflater::Run(std::string_view piece, int flush, const WriteOutput& write) {
    z_stream& s = m_stream;
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(piece.data()));
    s.avail_in = static_cast<uInt>(piece.size());
    int rc = Z_OK;
    do {
        s.next_out = m_buffer.data();
        s.avail_out = static_cast<uInt>(m_buffer.size());
        rc = deflate(&s, flush);
        if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR)
            throw Error("Cannot compress data");
        const size_t n = m_buffer.size() - s.avail_out;
        if (n > 0 && !write(m_buffer.data(), n))
            throw Error("Cannot compress data");
        if (flush == Z_FINISH && rc == Z_BUF_ERROR && n == 0)
            throw Error("Cannot compress data");  // no progress: never loop on it
        // Without finishing, zlib may keep input back until more comes; it owes output only
        // while it fills the buffer.
    } while (flush == Z_FINISH ? rc != Z_STREAM_END : (s.avail_in > 0 || s.avail_out == 0));
}

}  // namespace

uint32_t Crc32(const std::string& data) {
    return Crc32(0, data);
}

uint32_t Crc32(uint32_t start, std::string_view piece) {
    return libdeflate_crc32(start, piece.data(), piece.size());
}

struct MemberDeflater::State {
    libdeflate_compressor* whole = nullptr;
    std::unique_ptr<RawDeflater> stream;
    bool streaming = false;
    std::string held;          // the member so far, while it fits WholeLimit
    std::vector<uint8_t> out;  // libdeflate's output

    ~State() { libdeflate_free_compressor(whole); }
};

MemberDeflater::MemberDeflater(Packing packing)
    : m_packing(packing), m_state(std::make_unique<State>()) {}

MemberDeflater::~MemberDeflater() = default;

void MemberDeflater::Begin() {
    m_state->streaming = false;
    m_state->held.clear();
}

void MemberDeflater::Feed(std::string_view piece, const WriteOutput& write) {
    State& s = *m_state;
    if (!s.streaming && s.held.size() + piece.size() <= WholeLimit) {
        s.held.append(piece);
        return;
    }
    if (!s.streaming) {
        // Past the bound: from here on the member streams, what was held first.
        if (!s.stream)
            s.stream = std::make_unique<RawDeflater>(StreamLevel);
        s.stream->Begin();
        s.streaming = true;
        s.stream->Feed(s.held, write);
        s.held.clear();
        s.held.shrink_to_fit();
    }
    s.stream->Feed(piece, write);
}

void MemberDeflater::Finish(const WriteOutput& write) {
    State& s = *m_state;
    if (s.streaming) {
        s.stream->Finish(write);
        return;
    }
    if (s.whole == nullptr) {
        s.whole = libdeflate_alloc_compressor(WholeLevel(m_packing));
        if (s.whole == nullptr)
            throw Error("Cannot compress data");
    }
    s.out.resize(libdeflate_deflate_compress_bound(s.whole, s.held.size()));
    const size_t n = libdeflate_deflate_compress(s.whole, s.held.data(), s.held.size(),
                                                 s.out.data(), s.out.size());
    // The bound is room enough for any text: nothing written would be a failure of its own.
    if ((n == 0 && !s.held.empty()) || (n > 0 && !write(s.out.data(), n)))
        throw Error("Cannot compress data");
    s.held.clear();
    // A large member's buffers are not kept for the small ones that mostly follow.
    if (s.held.capacity() > KeptBuffer) {
        s.held = std::string();
        s.out = std::vector<uint8_t>();
    }
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

WholeInflater::WholeInflater() : m_decompressor(libdeflate_alloc_decompressor()) {}

WholeInflater::~WholeInflater() {
    libdeflate_free_decompressor(m_decompressor);
}

bool WholeInflater::Inflate(const uint8_t* packed, size_t packedSize, uint8_t* out,
                            size_t expected) {
    // Without a count of what came out, libdeflate succeeds only when the data fills the
    // room exactly.
    return m_decompressor != nullptr &&
           libdeflate_deflate_decompress(m_decompressor, packed, packedSize, out, expected,
                                         nullptr) == LIBDEFLATE_SUCCESS;
}

}  // namespace fraglane::archive
