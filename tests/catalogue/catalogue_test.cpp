#include "catalogue/catalogue.h"

#include "platform/text.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace fraglane::catalogue {
namespace {

using test::TempDir;

TEST(Catalogue, ModListIsSortedWithoutRegardToCaseAndChosenExactly) {
    TempDir dir;
    dir.Write("f.ini", "[mods]\ncount=3\nmod0=defrag\nmod1=Arena\nmod2=baseq3\nmod3=leftover\n");
    platform::ProfileFile f(dir.Program() + "f.ini");
    const auto mods = ReadModList(f);
    EXPECT_EQ(mods, (std::vector<std::string>{"Arena", "baseq3", "defrag"}));
    EXPECT_EQ(ChooseMod(mods, "baseq3"), "baseq3");
    EXPECT_EQ(ChooseMod(mods, "BASEQ3"), "");
    EXPECT_EQ(ChooseMod(mods, "leftover"), "");
}

TEST(Catalogue, MapFilterIsExactAndBotsAreNeverFiltered) {
    TempDir dir;
    dir.Write("f.ini",
              "[maps]\ncount=4\nmap0name=q3dm1\nmap0mod=baseq3\nmap1name=st1\nmap1mod=defrag\n"
              "map2name=st2\nmap2mod=Defrag\nmap3name=x\nmap3mod=\n"
              "[bots]\ncount=2\nbot0name=sarge\nbot0mod=baseq3\nbot1name=dfbot\nbot1mod=defrag\n");
    platform::ProfileFile f(dir.Program() + "f.ini");
    EXPECT_EQ(ReadMapRows(f, "defrag"), (std::vector<CatalogueRow>{{"defrag", "st1"}}));
    EXPECT_EQ(ReadMapRows(f, "").size(), 4u);
    EXPECT_EQ(ReadBotRows(f),
              (std::vector<CatalogueRow>{{"baseq3", "sarge"}, {"defrag", "dfbot"}}));
}

// The rows are read in one pass over the section, as reading each key would read them.
TEST(Catalogue, StoredRowsReadAsTheirKeysWouldBeReadOneByOne) {
    TempDir dir;
    dir.Write("f.ini",
              "[maps]\nCOUNT=0x4\ncount=1\nMAP0NAME = a \nmap0mod=m\nmap0name=second\n"
              "map01name=leading_zero\nmap2name=c\nmap2mod=m\nmap-1name=neg\nmap2x=odd\n"
              "map99999999name=far\nmap3mod=m\n[maps]\nmap1name=second_section\n");
    platform::ProfileFile f(dir.Program() + "f.ini");
    EXPECT_EQ(ReadMapRows(f, ""),
              (std::vector<CatalogueRow>{{"m", "a"}, {"", ""}, {"m", "c"}, {"m", ""}}));
}

TEST(Catalogue, CountBeyondTheKeysGivesEmptyRowsButStaysBounded) {
    TempDir dir;
    dir.Write("f.ini",
              "[maps]\ncount=3\nmap0name=a\nmap0mod=m\n[bots]\ncount=2147483647\n"
              "[mods]\ncount=5\nmod0=baseq3\n");
    platform::ProfileFile f(dir.Program() + "f.ini");
    EXPECT_EQ(ReadMapRows(f, ""), (std::vector<CatalogueRow>{{"m", "a"}, {"", ""}, {"", ""}}));
    EXPECT_EQ(ReadModList(f), (std::vector<std::string>{"", "", "", "", "baseq3"}));
    EXPECT_EQ(ReadBotRows(f).size(), static_cast<size_t>(platform::MaxStoredCount));
}

TEST(Catalogue, RowsSortByModThenNameLettersFoldedFirst) {
    // A shorter name before the longer ones it begins, "_" before letters of either case,
    // and the bytes decide between two spellings of one name.
    std::vector<CatalogueRow> rows = {
        {"defrag", "b"},   {"baseq3", "z"},  {"Defrag", "a"}, {"baseq3", "ab_"}, {"baseq3", "aB"},
        {"baseq3", "a_b"}, {"baseq3", "ab"}, {"defrag", "a"}, {"baseq3", "Ab"},  {"baseq3", "ab"}};
    SortRows(rows);
    EXPECT_EQ(rows, (std::vector<CatalogueRow>{{"baseq3", "a_b"},
                                               {"baseq3", "Ab"},
                                               {"baseq3", "aB"},
                                               {"baseq3", "ab"},
                                               {"baseq3", "ab"},
                                               {"baseq3", "ab_"},
                                               {"baseq3", "z"},
                                               {"Defrag", "a"},
                                               {"defrag", "a"},
                                               {"defrag", "b"}}));
}

}  // namespace
}  // namespace fraglane::catalogue

namespace fraglane::catalogue {
namespace {

TEST(Catalogue, NamesThatWouldActAsCommandsNeverReachTheLists) {
    for (const char* bad : {"x;quit", "x +rcon", "a&del", "a|b", "a>b", "a<b", "a^b", "%path%",
                            "say\"hi", "tab\there", "new\nline"}) {
        EXPECT_FALSE(text::IsCommandSafeName(bad)) << bad;
    }
    for (const char* good : {"q3dm17", "oa_dm1", "ctf-4.2", "", "caf\xE9", "(test)"}) {
        EXPECT_TRUE(text::IsCommandSafeName(good)) << good;
    }
    test::TempDir dir;
    dir.Write(
        "f.ini",
        "[maps]\ncount=2\nmap0name=evil;quit\nmap0mod=baseq3\nmap1name=q3dm1\nmap1mod=baseq3\n"
        "[bots]\ncount=2\nbot0name=sarge +kick "
        "all\nbot0mod=baseq3\nbot1name=grunt\nbot1mod=baseq3\n");
    platform::ProfileFile f(dir.Program() + "f.ini");
    EXPECT_EQ(ReadMapRows(f, ""), (std::vector<CatalogueRow>{{"baseq3", "q3dm1"}}));
    EXPECT_EQ(ReadBotRows(f), (std::vector<CatalogueRow>{{"baseq3", "grunt"}}));
}

}  // namespace
}  // namespace fraglane::catalogue
