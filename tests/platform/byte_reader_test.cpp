#include "platform/byte_reader.h"

#include <gtest/gtest.h>

#include <functional>

namespace fraglane::platform {
namespace {

const uint8_t Bytes[] = {0x50, 0x4B, 0x03, 0x04, 0xFF, 0x01, 0x7F};

TEST(ByteReader, ReadsLittleEndianFieldsInOrder) {
    ByteReader in(Bytes, sizeof Bytes);
    EXPECT_EQ(in.U32(), 0x04034B50u);
    EXPECT_EQ(in.U16(), 0x01FFu);
    EXPECT_EQ(in.U8(), 0x7Fu);
    EXPECT_EQ(in.Remaining(), 0u);
    ByteReader sub = ByteReader(Bytes, sizeof Bytes).Sub(4, 3);
    EXPECT_EQ(sub.U16(), 0x01FFu);
    EXPECT_EQ(sub.Text(1), "\x7F");
}

// Every read that would pass the end raises and leaves the position where it was.
TEST(ByteReader, RefusesEveryReadPastTheEndWithoutMoving) {
    const std::function<void(ByteReader&)> reads[] = {
        [](ByteReader& r) { r.U32(); },     [](ByteReader& r) { r.U16(); },
        [](ByteReader& r) { r.Skip(2); },   [](ByteReader& r) { r.Text(3); },
        [](ByteReader& r) { r.Seek(8); },   [](ByteReader& r) { r.Sub(6, 2); },
        [](ByteReader& r) { r.Sub(8, 0); }, [](ByteReader& r) { r.Sub(1, SIZE_MAX); },
    };
    for (const auto& read : reads) {
        ByteReader in(Bytes, sizeof Bytes);
        in.Seek(6);
        EXPECT_THROW(read(in), ReadPastEnd);
        EXPECT_EQ(in.Position(), 6u);
    }
    ByteReader in(Bytes, sizeof Bytes);
    in.Seek(6);
    try {
        in.U32();
        ADD_FAILURE() << "no error";
    } catch (const ReadPastEnd& e) {
        EXPECT_STREQ(e.what(), "unexpected end of data: 4 bytes wanted at offset 6 of 7");
    }
}

}  // namespace
}  // namespace fraglane::platform
