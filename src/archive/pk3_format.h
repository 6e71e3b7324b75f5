#pragma once

// The fixed parts of the ZIP records (APPNOTE 4.3.7 local header, 4.3.12 central directory
// record, 4.3.16 end record) as the archive's reading and writing share them.
#include <cstddef>
#include <cstdint>
#include <string>

#include "archive/pk3_archive.h"
#include "platform/byte_reader.h"
#include "platform/file_system.h"

namespace fraglane::archive::format {

// Record sizes without their variable parts (APPNOTE 4.3.7, 4.3.12, 4.3.16).
constexpr size_t LocalSize = 30;
constexpr size_t CentralSize = 46;
constexpr size_t EndSize = 22;
constexpr size_t MaxComment = 65535;
constexpr size_t Chunk = 64 * 1024;
constexpr uint32_t DescriptorSignature = 0x08074b50;

using platform::ByteReader;

inline uint32_t Get32(const uint8_t* p) {
    return ByteReader(p, 4).U32();
}
inline void Put16(std::string& out, uint16_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>(v >> 8));
}
inline void Put32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// The fields that the local header and the central record share, in their common order
// (APPNOTE 4.3.7 and 4.3.12): version needed to the uncompressed size, 22 bytes.
inline void GetSharedFields(ByteReader& in, CentralRecord& r) {
    r.versionNeeded = in.U16();
    r.flags = in.U16();
    r.method = in.U16();
    r.time = in.U16();
    r.date = in.U16();
    r.crc32 = in.U32();
    r.compressedSize = in.U32();
    r.uncompressedSize = in.U32();
}

// The local header's name and extra-field lengths (APPNOTE 4.3.7, offsets 26 and 28).
inline uint64_t LocalHeaderLength(const uint8_t (&h)[LocalSize]) {
    ByteReader in(h, LocalSize);
    in.Seek(26);
    const uint16_t nameLength = in.U16();
    return LocalSize + nameLength + in.U16();
}

inline void PutSharedFields(std::string& out, const CentralRecord& r) {
    Put16(out, r.versionNeeded);
    Put16(out, r.flags);
    Put16(out, r.method);
    Put16(out, r.time);
    Put16(out, r.date);
    Put32(out, r.crc32);
    Put32(out, r.compressedSize);
    Put32(out, r.uncompressedSize);
}

inline std::string WriteError(const std::string& path) {
    return "Unable to write to " + platform::DisplayPath(path);
}

}  // namespace fraglane::archive::format
