#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/error.h"

namespace fraglane::platform {

// What a ByteReader raises when asked for bytes past the end of its span: where the read
// began, how many bytes it wanted and how many the span holds.
class ReadPastEnd : public Error {
public:
    ReadPastEnd(size_t offset, size_t wanted, size_t size)
        : Error("unexpected end of data: " + std::to_string(wanted) + " bytes wanted at offset " +
                std::to_string(offset) + " of " + std::to_string(size)) {}
};

// A bounds-checked little-endian reader over a span of bytes, for the fixed binary fields of
// the formats the program reads (ZIP records, TGA headers, map-file lumps). Every read checks
// that its bytes lie within the span before it touches them, and raises ReadPastEnd instead.
class ByteReader {
public:
    explicit ByteReader(std::span<const uint8_t> bytes) : m_bytes(bytes) {}
    ByteReader(const void* data, size_t size) : m_bytes(static_cast<const uint8_t*>(data), size) {}

    uint8_t U8();
    uint16_t U16();
    uint32_t U32();
    // length bytes as text.
    std::string Text(size_t length);
    void Skip(size_t length);
    // Moves to an absolute position within the span (the end included).
    void Seek(size_t position);

    // A reader over length bytes from offset, checked against this reader's span; the
    // position of this reader does not move.
    ByteReader Sub(size_t offset, size_t length) const;

    size_t Position() const { return m_position; }
    size_t Size() const { return m_bytes.size(); }
    size_t Remaining() const { return m_bytes.size() - m_position; }
    std::span<const uint8_t> Bytes() const { return m_bytes; }

private:
    const uint8_t* Take(size_t length);

    std::span<const uint8_t> m_bytes;
    size_t m_position = 0;
};

}  // namespace fraglane::platform
