#include "preview/targa.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "support/run.h"
#include "support/temp_dir.h"

namespace fraglane::preview {
namespace {

// A TGA file: the 18-byte header, then image ID, colour map and pixel bytes as given.
std::string Tga(uint8_t type, uint16_t width, uint16_t height, uint8_t depth, uint8_t descriptor,
                const std::string& pixels, const std::string& id = {}, uint16_t mapLength = 0,
                uint8_t mapEntry = 0, const std::string& map = {}) {
    std::string h(18, '\0');
    h[0] = static_cast<char>(id.size());
    h[1] = static_cast<char>(mapLength > 0 || mapEntry > 0 ? 1 : 0);
    h[2] = static_cast<char>(type);
    h[5] = static_cast<char>(mapLength & 0xFF);
    h[6] = static_cast<char>(mapLength >> 8);
    h[7] = static_cast<char>(mapEntry);
    h[12] = static_cast<char>(width & 0xFF);
    h[13] = static_cast<char>(width >> 8);
    h[14] = static_cast<char>(height & 0xFF);
    h[15] = static_cast<char>(height >> 8);
    h[16] = static_cast<char>(depth);
    h[17] = static_cast<char>(descriptor);
    return h + id + map + pixels;
}

// Stored pixels (blue, green, red) of a 2 x 2 picture: red, green on top; blue, white below.
const std::string R("\x00\x00\xff", 3), G("\x00\xff\x00", 3), B("\xff\x00\x00", 3),
    W("\xff\xff\xff", 3);
const std::string Upright = "0000ff 00ff00 / ff0000 ffffff";  // the bitmap, top row first

// The bitmap's pixels as hex (blue, green, red), top row first, rows split by " / ".
std::string Pixels(const Bitmap& b) {
    std::string out;
    char hex[8];
    for (int y = 0; y < b.Height(); ++y) {
        for (int x = 0; x < b.Width(); ++x) {
            const uint8_t* p = b.ScanLine(y) + x * 3;
            std::snprintf(hex, sizeof hex, "%02x%02x%02x", p[0], p[1], p[2]);
            out += (x > 0 ? " " : "") + std::string(hex);
        }
        out += y + 1 < b.Height() ? " / " : "";
    }
    return out;
}

struct Case {
    const char* name;
    std::string file;
    std::string expected;  // "rejected": the bitmap is left as it was
};
void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values)
        s.push_back(static_cast<char>(v));
    return s;
}

const Case Cases[] = {
    {"BottomUp", Tga(2, 2, 2, 24, 0x00, B + W + R + G), Upright},
    {"TopDown", Tga(2, 2, 2, 24, 0x20, R + G + B + W), Upright},
    {"RightToLeft", Tga(2, 2, 2, 24, 0x10, W + B + G + R), Upright},
    {"RightToLeftTopDown", Tga(2, 2, 2, 24, 0x30, G + R + W + B), Upright},
    {"ThirtyTwoBitsKeepColoursUnderAlpha",
     Tga(2, 2, 1, 32, 0x00, std::string("\x01\x02\x03\x00\x04\x05\x06\xff", 8)), "010203 040506"},
    {"SixteenBitsScaledByEight", Tga(2, 2, 1, 16, 0x00, Bytes({0xff, 0x7f, 0x00, 0x80})),
     "f8f8f8 000000"},
    {"Grey", Tga(3, 2, 1, 8, 0x00, Bytes({0x00, 0x7a})), "000000 7a7a7a"},
    {"RunLengthAcrossRows",  // a run of 3 crosses the row end, then 1 raw pixel, excess dropped
     Tga(10, 2, 2, 24, 0x20, Bytes({0x82}) + R + Bytes({0x01}) + G + W),
     "0000ff 0000ff / 0000ff 00ff00"},
    {"RunLengthGrey", Tga(11, 2, 1, 8, 0, Bytes({0x81, 0x10})), "101010 101010"},
    {"ImageIdOf255Bytes", Tga(2, 2, 2, 24, 0x00, B + W + R + G, std::string(255, 'i')), Upright},
    {"ColourMapped",  // index 2 is past the map's two entries: black
     Tga(1, 3, 1, 8, 0, Bytes({1, 0, 2}), "", 2, 24, R + G), "00ff00 0000ff 000000"},
    {"ColourMapRunLength", Tga(9, 2, 1, 8, 0, Bytes({0x81, 0}), "", 1, 24, B), "ff0000 ff0000"},
    {"TrueColourWithAColourMapSkipsIt", Tga(2, 1, 1, 24, 0, R, "", 2, 16, std::string(4, '\x55')),
     "0000ff"},
    {"SixteenBitColourMap", Tga(1, 1, 1, 8, 0, Bytes({0}), "", 1, 16, "\x01\x02"), "rejected"},
    {"ThirtyTwoBitColourMap", Tga(1, 1, 1, 8, 0, Bytes({0}), "", 1, 32, "1234"), "rejected"},
    {"MappedTypeWithoutAMap", Tga(1, 1, 1, 8, 0, Bytes({0})), "rejected"},
    {"FifteenBitPixels", Tga(2, 1, 1, 15, 0, "\x01\x02"), "rejected"},
    {"MappedTypeWithTrueColourPixels", Tga(1, 1, 1, 24, 0, R, "", 1, 24, R), "rejected"},
    {"Truncated", Tga(2, 2, 2, 24, 0, B + W + R), "rejected"},
    {"RunLengthTruncated", Tga(10, 4, 1, 24, 0, Bytes({0x81}) + R), "rejected"},
    {"NoPixels", Tga(2, 0, 2, 24, 0, ""), "rejected"},
    {"HugeUncompressedInATinyFile", Tga(2, 16000, 16000, 32, 0, R), "rejected"},
    {"HugeRunLengthInATinyFile", Tga(10, 16384, 16384, 24, 0, Bytes({0xff}) + R), "rejected"},
    {"WiderThan16384", Tga(3, 20000, 1, 8, 0, std::string(20000, 'x')), "rejected"},
    {"WiderThan8192", Tga(3, 8193, 1, 8, 0, std::string(8193, 'x')), "rejected"},
};

class TgaCases : public ::testing::TestWithParam<Case> {};

TEST_P(TgaCases, DecodeToAnUprightBitmapOrLeaveItAlone) {
    test::TempDir dir;
    dir.Write("p.tga", GetParam().file);
    Bitmap bitmap;
    bitmap.SetSize(1, 1);
    bitmap.ScanLine(0)[0] = 0x42;  // what a rejection must leave
    LoadTGABitmap(dir.Program() + "p.tga", bitmap);
    if (GetParam().expected == "rejected") {
        EXPECT_EQ(Pixels(bitmap), "420000");
    } else {
        EXPECT_EQ(Pixels(bitmap), GetParam().expected);
    }
    // The file is closed on every path.
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        EXPECT_NE(std::filesystem::read_symlink(fd.path(), ec).string(), dir.Path("p.tga"));
    }
}

INSTANTIATE_TEST_SUITE_P(Targa, TgaCases, ::testing::ValuesIn(Cases),
                         [](const auto& c) { return std::string(c.param.name); });

TEST(Targa, HeaderOfTheBufferStatesItsDepth) {
    test::TempDir dir;
    dir.Write("a.tga", Tga(2, 2, 1, 16, 0, Bytes({0, 0, 0, 0})));
    TGAHeader header;
    std::vector<uint8_t> pixels;
    ASSERT_TRUE(LoadTGAFile(dir.Program() + "a.tga", header, pixels));
    EXPECT_EQ(header.pixelDepth, 24);
    EXPECT_EQ(pixels.size(), 6u);
    std::string why;
    EXPECT_FALSE(LoadTGAFile(dir.Program() + "missing.tga", header, pixels, &why));
    EXPECT_EQ(why, "the file cannot be opened");
}

}  // namespace
}  // namespace fraglane::preview
