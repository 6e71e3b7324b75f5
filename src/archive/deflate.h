#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// Raw deflate (APPNOTE method 8) and CRC-32, on zlib. The only place that includes zlib.
namespace fraglane::archive {

uint32_t Crc32(const std::string& data);
// The CRC-32 of some text continued over the piece that follows it (0 before the first).
uint32_t Crc32(uint32_t crc, std::string_view piece);

// Supplies up to n bytes of input; returns how many (0 at the end of the input).
using ReadInput = std::function<size_t(uint8_t* buffer, size_t n)>;
// Takes n bytes of output; false stops the work.
using WriteOutput = std::function<bool(const uint8_t* data, size_t n)>;

// Raw deflate at a given level: what a zlib stream holds without its 2-byte header and its
// Adler-32 trailer. One compressor is kept for many texts: zlib's state (some 270 KiB at
// level 9) is made once and reset between texts, not made and freed for every member
// written. A text is given in pieces (Begin, Feed each, Finish) and its output handed on as
// it comes, so that a text of any size costs a bounded buffer; how the text is cut into
// pieces does not change the output. Throws Error when zlib fails or write refuses.
class RawDeflater {
public:
    explicit RawDeflater(int level);
    ~RawDeflater();
    RawDeflater(const RawDeflater&) = delete;
    RawDeflater& operator=(const RawDeflater&) = delete;
    void Begin();
    void Feed(std::string_view piece, const WriteOutput& write);
    void Finish(const WriteOutput& write);

private:
    void Run(std::string_view piece, int flush, const WriteOutput& write);

    struct State;
    State* m_state;
};

// Inflates through a bounded buffer until exactly `expected` bytes have come out. False when
// the data is corrupt or ends before that (or the output is refused).
bool InflateExactly(const ReadInput& read, uint64_t expected, const WriteOutput& write);

}  // namespace fraglane::archive
