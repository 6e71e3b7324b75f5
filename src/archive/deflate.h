#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Raw deflate (APPNOTE method 8) and CRC-32, on zlib. The only place that includes zlib.
namespace fraglane::archive {

uint32_t Crc32(const std::string& data);

// Raw deflate at a given level: what a zlib stream holds without its 2-byte header and its
// Adler-32 trailer. One compressor is kept for many texts: zlib's state (some 270 KiB at
// level 9) is made once and reset between texts, not made and freed for every member
// written. Throws Error when zlib fails.
class RawDeflater {
public:
    explicit RawDeflater(int level);
    ~RawDeflater();
    RawDeflater(const RawDeflater&) = delete;
    RawDeflater& operator=(const RawDeflater&) = delete;
    std::string Deflate(const std::string& data);

private:
    struct State;
    State* m_state;
};

// Supplies up to n bytes of input; returns how many (0 at the end of the input).
using ReadInput = std::function<size_t(uint8_t* buffer, size_t n)>;
// Takes n bytes of output; false stops the work.
using WriteOutput = std::function<bool(const uint8_t* data, size_t n)>;

// Inflates through a bounded buffer until exactly `expected` bytes have come out. False when
// the data is corrupt or ends before that (or the output is refused).
bool InflateExactly(const ReadInput& read, uint64_t expected, const WriteOutput& write);

}  // namespace fraglane::archive
