#include "catalogue/scan.h"

#ifndef _WIN32
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/error.h"

#include "support/archives.h"
#include "support/temp_dir.h"

namespace fraglane::catalogue {
namespace {

using Rows = std::vector<CatalogueRow>;

constexpr const char* OldCatalogue =
    "[maps]\r\ncount=9\r\nmap8name=old\r\nmap8mod=baseq3\r\n[bots]\r\ncount=0\r\n";

class ScanTest : public ::testing::Test {
protected:
    test::GameDir game;
    archive::Pk3Archive zip;
    platform::TDirContent lister;
    std::vector<std::string> statuses;

    ScanTest() {
        lister.SetActive(true);
        game.MakeDir("levelshots");
        game.Write("fraglane.ini", OldCatalogue);
        // baseq3: two archives in name order, and one that is no archive at all.
        test::MakeArchive(game, "baseq3\\a.pk3",
                          {{"MAPS\\Q3DM1.BSP", "bsp"},
                           {"maps\\sub\\deep.bsp", "bsp"},
                           {"maps\\evil&calc.bsp", "bsp"},  // would run calc: no row
                           {"levelshots\\q3dm1.tga", "tga of a"},
                           {"levelshots\\lonely.jpg", "a shot for a map of b.pk3"},
                           {"botfiles\\bots\\Sarge_c.c", "bot"},
                           {"models\\players\\Sarge\\icon_default.tga", "icon tga"},
                           {"models\\players\\Sarge\\icon_default.jpg", "icon jpg"}});
        test::MakeArchive(game, "baseq3\\b.pk3",
                          {{"maps\\q3dm1.bsp", "again"}, {"maps\\lonely.bsp", "bsp"}});
        game.Write("baseq3/c.pk3", "not an archive");
        test::MakeArchive(game, "defrag\\d.pk3",
                          {{"maps\\q3dm1.bsp", "bsp"},
                           {"bots\\SARGE_c.c", "the same bot in a later mod"},
                           {"maps\\df1.bsp", "bsp"},
                           {"levelshots\\DF1.jpg", "jpg"}});
    }

    ScanResult Scan(std::vector<std::string> mods, std::stop_token stop = {}) {
        platform::ProfileFile ini(game.Program() + "fraglane.ini");
        ScanSink sink;
        sink.status = [&](int panel, const std::string& text) {
            statuses.push_back(std::to_string(panel) + text);
            if (onStatus)
                onStatus(text);
        };
        sink.mapRow = [&](const CatalogueRow& row) { mapRows.push_back(row); };
        sink.botRow = [&](const CatalogueRow& row) { botRows.push_back(row); };
        return ScanMaps({game.Program(), game.Program() + "levelshots\\", std::move(mods)}, zip,
                        lister, ini, stop, sink);
    }
    std::function<void(const std::string&)> onStatus;
    Rows mapRows, botRows;
};

TEST_F(ScanTest, FindsEveryMapAndBotWithItsPicturesAndWritesTheCatalogue) {
    const ScanResult r = Scan({"baseq3", "defrag"});
    const Rows maps = {{"baseq3", "q3dm1"},  {"baseq3", "deep"},  {"baseq3", "q3dm1"},
                       {"baseq3", "lonely"}, {"defrag", "q3dm1"}, {"defrag", "df1"}};
    EXPECT_EQ(r.maps, maps);
    EXPECT_EQ(mapRows, maps);  // handed over in discovery order
    EXPECT_EQ(r.bots, (Rows{{"baseq3", "sarge"}}));
    EXPECT_EQ(botRows, r.bots);
    EXPECT_EQ(r.skippedNames,
              (std::vector<std::string>{platform::DisplayPath(
                  "skipped maps\\evil&calc.bsp in baseq3\\a.pk3: \"&\" cannot stand in a "
                  "command line")}));
    EXPECT_FALSE(r.stopped);
    ASSERT_EQ(r.archiveFailures.size(), 1u);
    EXPECT_NE(r.archiveFailures[0].first.find("c.pk3"), std::string::npos);
    // One level shot per map, from the archive that holds the map; both bot icons.
    EXPECT_EQ(game.Read("levelshots/q3dm1.tga"), "tga of a");
    EXPECT_EQ(game.Read("levelshots/bot_Sarge.tga"), "icon tga");
    EXPECT_EQ(game.Read("levelshots/bot_Sarge.jpg"), "icon jpg");
    EXPECT_EQ(game.Read("levelshots/df1.jpg"), "jpg");
    EXPECT_FALSE(game.Exists("levelshots/lonely.jpg"));
    EXPECT_EQ(r.picturesExtracted, 4);
    EXPECT_EQ(statuses.front(), std::string("0") + ScanStartText);
    EXPECT_EQ(statuses[1], "1mod: baseq3");
    EXPECT_EQ(statuses[2], "2file: a.pk3");
    EXPECT_EQ(std::vector<std::string>(statuses.end() - 3, statuses.end()),
              (std::vector<std::string>{"0showing...", "1", "2"}));

    platform::ProfileFile ini(game.Program() + "fraglane.ini");
    EXPECT_EQ(ReadMapRows(ini, ""), maps);
    EXPECT_EQ(ini.ReadString("maps", "map1name", ""), "deep");
    EXPECT_EQ(ini.ReadString("maps", "map8name", ""), "old");  // beyond the count: stays
    EXPECT_EQ(ReadBotRows(ini), r.bots);

    // A second scan finds the same and extracts nothing.
    game.Write("levelshots/q3dm1.tga", "kept");
    const ScanResult again = Scan({"baseq3", "defrag"});
    EXPECT_EQ(again.maps, maps);
    EXPECT_EQ(again.picturesExtracted, 0);
    EXPECT_EQ(game.Read("levelshots/q3dm1.tga"), "kept");
}

// A bot whose own archive has no icon takes the icons of the first archive of its mod that
// has any, and nothing from another mod; a bot with an icon of its own keeps that one.
TEST_F(ScanTest, ABotWithoutAnIconTakesTheFirstOfItsModOnlyOnce) {
    test::MakeArchive(game, "icons\\a.pk3",
                      {{"bots\\tony_c.c", "bot"},
                       {"bots\\nobody_c.c", "bot"},
                       {"bots\\own_c.c", "bot"},
                       {"models\\players\\own\\icon_default.tga", "own"}});
    test::MakeArchive(game, "icons\\b.pk3",
                      {{"models\\players\\Tony\\icon_default.jpg", "tony of b"},
                       {"models\\players\\own\\icon_default.jpg", "not for own"},
                       {"models\\players\\x\\deeper\\icon_default.jpg", "no bot's"}});
    test::MakeArchive(game, "icons\\c.pk3", {{"models\\players\\tony\\icon_default.tga", "later"}});
    test::MakeArchive(game, "other\\d.pk3", {{"models\\players\\nobody\\icon_default.tga", "x"}});
    const ScanResult r = Scan({"icons", "other"});
    EXPECT_EQ(r.bots, (Rows{{"icons", "tony"}, {"icons", "nobody"}, {"icons", "own"}}));
    EXPECT_EQ(game.Read("levelshots/bot_tony.jpg"), "tony of b");
    EXPECT_EQ(game.Read("levelshots/bot_own.tga"), "own");
    for (const char* absent : {"bot_tony.tga", "bot_own.jpg", "bot_nobody.tga"})
        EXPECT_FALSE(game.Exists(std::string("levelshots/") + absent)) << absent;
    EXPECT_EQ(r.picturesExtracted, 2);
    EXPECT_TRUE(r.pictureFailures.empty());
    EXPECT_EQ(Scan({"icons", "other"}).picturesExtracted, 0);
}

// A picture whose name is taken costs that picture only: every map and bot keeps its row,
// the other pictures are written, the reason is kept once, and the catalogue is written.
TEST_F(ScanTest, PictureWhoseNameIsTakenCostsOnlyThatPicture) {
    const struct {
        const char* what;
        std::function<void()> take;
        const char* reason;
    } cases[] = {
        {"an empty folder", [&] { game.MakeDir("levelshots/q3dm1.tga"); },
         "its name is taken by a folder"},
        {"a folder of another case", [&] { game.MakeDir("levelshots/Q3DM1.Tga"); },
         "its name is taken by a folder"},
#ifndef _WIN32  // POSIX links, pipes, times, signals or limits
        {"a link to a folder",
         [&] { ASSERT_EQ(::symlink("..", game.Path("levelshots/q3dm1.tga").c_str()), 0); },
         "its name is taken by a link"},
#endif
    };
    const Rows maps = {{"baseq3", "q3dm1"},  {"baseq3", "deep"},  {"baseq3", "q3dm1"},
                       {"baseq3", "lonely"}, {"defrag", "q3dm1"}, {"defrag", "df1"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(game.Path("levelshots"));
        game.MakeDir("levelshots");
        c.take();
        mapRows.clear();
        botRows.clear();
        const ScanResult r = Scan({"baseq3", "defrag"});
        EXPECT_EQ(r.maps, maps);
        EXPECT_EQ(r.bots, (Rows{{"baseq3", "sarge"}}));
        EXPECT_EQ(r.pictureFailures, (std::vector<std::pair<std::string, std::string>>{
                                         {game.Program() + "levelshots\\q3dm1.tga", c.reason}}));
        EXPECT_EQ(r.archiveFailures.size(), 1u);  // c.pk3, no archive
        EXPECT_EQ(game.Read("levelshots/bot_Sarge.tga"), "icon tga");
        EXPECT_EQ(game.Read("levelshots/df1.jpg"), "jpg");
        EXPECT_EQ(r.picturesExtracted, 3);
        platform::ProfileFile ini(game.Program() + "fraglane.ini");
        EXPECT_EQ(ReadMapRows(ini, ""), maps);
    }
}

// Two scans of one settings file at once: the second is refused at once, the first writes the
// catalogue of its whole scan, and once it has ended the next scan runs.
TEST_F(ScanTest, SecondScanAtOnceIsRefusedAndTheFirstWritesItsWholeCatalogue) {
    std::string refusal;
    onStatus = [&](const std::string& text) {
        if (text != "file: b.pk3")
            return;
        archive::Pk3Archive otherZip;
        platform::TDirContent otherLister;
        otherLister.SetActive(true);
        platform::ProfileFile otherIni(game.Program() + "fraglane.ini");
        ScanSink quiet{[](int, const std::string&) {},
                       [](const CatalogueRow&) {},
                       [](const CatalogueRow&) {},
                       {}};
        try {
            ScanMaps({game.Program(), game.Program() + "levelshots\\", {"baseq3"}}, otherZip,
                     otherLister, otherIni, {}, quiet);
        } catch (const Error& e) {
            refusal = e.what();
        }
    };
    const ScanResult r = Scan({"baseq3", "defrag"});
    EXPECT_EQ(refusal, ScanRunningText);
    EXPECT_EQ(r.maps.size(), 6u);
    platform::ProfileFile ini(game.Program() + "fraglane.ini");
    EXPECT_EQ(ReadMapRows(ini, ""), r.maps);

    onStatus = nullptr;
    EXPECT_EQ(Scan({"defrag"}).maps.size(), 2u);
}

TEST_F(ScanTest, StopFinishesTheArchiveInProgressAndKeepsTheOldCatalogue) {
    std::stop_source stop;
    onStatus = [&](const std::string& text) {
        if (text == "file: a.pk3")
            stop.request_stop();  // as Esc while a.pk3 is read
    };
    const ScanResult r = Scan({"baseq3", "defrag"}, stop.get_token());
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(r.maps, (Rows{{"baseq3", "q3dm1"}, {"baseq3", "deep"}}));
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), "0showing..."), 0);
    EXPECT_EQ(game.Read("fraglane.ini"), OldCatalogue);
}

TEST_F(ScanTest, EmptyModListWritesBothCountsZero) {
    const ScanResult r = Scan({});
    EXPECT_TRUE(r.maps.empty() && r.bots.empty());
    platform::ProfileFile ini(game.Program() + "fraglane.ini");
    EXPECT_EQ(ini.ReadInteger("maps", "count", -1), 0);
    EXPECT_EQ(ini.ReadInteger("bots", "count", -1), 0);
}

TEST(ScanNames, MapAndBotNamesFromMemberNames) {
    EXPECT_TRUE(IsMapMember("Maps\\A.B.BSP"));
    EXPECT_EQ(MapNameOf("Maps\\A.B.BSP"), "a.b");
    EXPECT_FALSE(IsMapMember("levelshots\\maps\\x.bsp"));
    EXPECT_FALSE(IsMapMember("maps\\x.bsp.txt"));
    EXPECT_TRUE(IsBotMember("scripts\\Bots_C.Cfg"));  // "_c.c" anywhere in the name
    EXPECT_EQ(BotNameOf("scripts\\Bots_C.Cfg"), "Bots_C");
    EXPECT_EQ(BotNameOf("x_c.c\\"), "");
}

TEST(ScanNames, FinalStatusCountsSkippedNamesAndPicturesNotWritten) {
    const struct {
        size_t skippedNames, picturesNotWritten;
        const char* counts;
        const char* text;
    } cases[] = {
        {0, 0, "", "done"},
        {3, 0, "", "done, 3 names skipped"},
        {0, 1, "", "done, 1 picture not written"},
        {3, 2, "", "done, 3 names skipped, 2 pictures not written"},
        {0, 0, "100 maps, 24 bots", "done: 100 maps, 24 bots"},
        {3, 1, "1 maps, 0 bots", "done: 1 maps, 0 bots, 3 names skipped, 1 picture not written"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ScanDoneText(c.skippedNames, c.picturesNotWritten, c.counts), c.text);
}

}  // namespace
}  // namespace fraglane::catalogue
