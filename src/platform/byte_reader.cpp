#include "platform/byte_reader.h"

namespace fraglane::platform {

const uint8_t* ByteReader::Take(size_t length) {
    if (length > Remaining())
        throw ReadPastEnd(m_position, length, m_bytes.size());
    const uint8_t* p = m_bytes.data() + m_position;
    m_position += length;
    return p;
}

uint8_t ByteReader::U8() {
    return *Take(1);
}

uint16_t ByteReader::U16() {
    const uint8_t* p = Take(2);
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t ByteReader::U32() {
    const uint8_t* p = Take(4);
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

std::string ByteReader::Text(size_t length) {
    const uint8_t* p = Take(length);
    return std::string(reinterpret_cast<const char*>(p), length);
}

void ByteReader::Skip(size_t length) {
    Take(length);
}

void ByteReader::Seek(size_t position) {
    if (position > m_bytes.size())
        throw ReadPastEnd(position, 0, m_bytes.size());
    m_position = position;
}

ByteReader ByteReader::Sub(size_t offset, size_t length) const {
    if (offset > m_bytes.size() || length > m_bytes.size() - offset)
        throw ReadPastEnd(offset, length, m_bytes.size());
    return ByteReader(m_bytes.subspan(offset, length));
}

}  // namespace fraglane::platform
