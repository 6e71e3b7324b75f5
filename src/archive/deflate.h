#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

struct libdeflate_decompressor;

// Raw deflate (APPNOTE method 8) and CRC-32. The only place that includes zlib and libdeflate:
// a member that fits in memory is deflated and inflated whole with libdeflate, a larger one
// streams through zlib and a bounded buffer.
namespace fraglane::archive {

uint32_t Crc32(const std::string& data);
// The CRC-32 of some text continued over the piece that follows it (0 before the first).
uint32_t Crc32(uint32_t crc, std::string_view piece);

// Supplies up to n bytes of input; returns how many (0 at the end of the input).
using ReadInput = std::function<size_t(uint8_t* buffer, size_t n)>;
// Takes n bytes of output; false stops the work.
using WriteOutput = std::function<bool(const uint8_t* data, size_t n)>;

// The largest member deflated or inflated whole, in memory. Larger ones stream.
constexpr size_t WholeLimit = size_t{16} << 20;

// How hard the writer works on a member that fits in memory. Default: as small as zip -9 in a
// fraction of its time (libdeflate level 7). Smallest: libdeflate level 12, some 6 % smaller
// and several times slower. A member past WholeLimit streams through zlib at level 9 either
// way.
enum class Packing { Default, Smallest };

// Deflates one member after another. A member is given in pieces (Begin, Feed each, Finish)
// and kept in memory while it fits WholeLimit, then deflated whole; past that it streams
// through zlib from there on. What comes out depends only on the member's bytes and the
// packing, never on how they were cut into pieces, so that a worker and the writer deflate a
// file alike. The compressors are made at the first member that needs them and kept.
// Throws Error when compression fails or write refuses.
class MemberDeflater {
public:
    explicit MemberDeflater(Packing packing);
    ~MemberDeflater();
    MemberDeflater(const MemberDeflater&) = delete;
    MemberDeflater& operator=(const MemberDeflater&) = delete;
    Packing GetPacking() const { return m_packing; }
    void Begin();
    void Feed(std::string_view piece, const WriteOutput& write);
    void Finish(const WriteOutput& write);

private:
    struct State;
    const Packing m_packing;
    std::unique_ptr<State> m_state;
};

// Inflates through a bounded buffer until exactly `expected` bytes have come out. False when
// the data is corrupt or ends before that (or the output is refused). What the data holds past
// those bytes is not looked at.
bool InflateExactly(const ReadInput& read, uint64_t expected, const WriteOutput& write);

// Inflates a member held whole in memory into out, which has room for exactly `expected`
// bytes; true only when the data gives exactly that many and ends there. A false leaves the
// caller to InflateExactly, whose answer stands (it reads a stream that goes on past the
// declared size, for one). libdeflate is laxer than zlib about a few codes the format does not
// define (literal/length codes 286 and 287, distance codes 30 and 31, counts of codes past
// the format's, a code-length repeat with nothing before it): where zlib would refuse such
// data, this may give bytes.
class WholeInflater {
public:
    WholeInflater();
    ~WholeInflater();
    WholeInflater(const WholeInflater&) = delete;
    WholeInflater& operator=(const WholeInflater&) = delete;
    bool Inflate(const uint8_t* packed, size_t packedSize, uint8_t* out, size_t expected);

private:
    libdeflate_decompressor* m_decompressor = nullptr;
};

}  // namespace fraglane::archive
