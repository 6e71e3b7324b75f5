#include "platform/text.h"

#include <gtest/gtest.h>

namespace fraglane::text {
namespace {

TEST(Text, ParseIntTakesOnlyWholeDecimalIntegers) {
    EXPECT_EQ(ParseInt("42"), 42);
    EXPECT_EQ(ParseInt("-5"), -5);
    EXPECT_EQ(ParseInt("+7"), 7);
    EXPECT_EQ(ParseInt("2147483647"), 2147483647);
    for (const char* bad :
         {"", "abc", "12abc", " 1", "1 ", "+-1", "--1", "+", "-", "2147483648", "0x1E", "1.5"}) {
        EXPECT_EQ(ParseInt(bad), std::nullopt) << bad;
    }
    EXPECT_EQ(IntOrZero("nine"), 0);
}

TEST(Text, FoldsOnlyAsciiLetters) {
    EXPECT_TRUE(EqualsIgnoreCase("MAPS\\Q3DM1.BSP", "maps\\q3dm1.bsp"));
    EXPECT_FALSE(EqualsIgnoreCase("\xC9", "\xE9"));  // Latin-1 E acute in two cases
    EXPECT_LT(CompareIgnoreCase("Alpha", "beta"), 0);
    EXPECT_EQ(CompareIgnoreCase("ABC", "abc"), 0);
    EXPECT_LT(CompareIgnoreCase("ab", "abc"), 0);
}

TEST(Text, ExtensionIsFromTheLastDotOfTheName) {
    EXPECT_EQ(ExtractFileExt("server.cfg"), ".cfg");
    EXPECT_EQ(ExtractFileExt("a.pk3.bak"), ".bak");
    EXPECT_EQ(ExtractFileExt("readme"), "");
    EXPECT_EQ(ExtractFileExt("dir.d\\file"), "");
}

}  // namespace
}  // namespace fraglane::text
