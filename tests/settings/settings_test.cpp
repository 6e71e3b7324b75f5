#include "settings/settings.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace fraglane::settings {
namespace {

using test::TempDir;

class SettingsTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string Path() const { return dir.Program() + "fraglane.ini"; }
    Settings Load(std::string_view content) {
        dir.Write("fraglane.ini", content);
        platform::ProfileFile f(Path());
        return LoadSettings(f);
    }
};

TEST_F(SettingsTest, NoFileGivesEveryDocumentedDefault) {
    platform::ProfileFile f(Path());
    const Settings s = LoadSettings(f);
    const launch::LaunchOptions& o = s.options;
    EXPECT_EQ(s.placement.left, 327);
    EXPECT_EQ(s.placement.height, 575);
    EXPECT_EQ(s.selectedMod, "baseq3");
    EXPECT_EQ(o.gametype, 0);
    EXPECT_EQ(o.timelimit, 15);
    EXPECT_EQ(o.fraglimit, 999);
    EXPECT_EQ(o.capturelimit, 99);
    EXPECT_TRUE(o.doWarmup);
    EXPECT_EQ(o.warmup, 30);
    EXPECT_EQ(o.maxGameClients, 32);
    EXPECT_FALSE(o.devmap);
    EXPECT_TRUE(o.pure);
    EXPECT_TRUE(o.dedicated);
    EXPECT_EQ(o.rconPassword, RconPlaceholder);
    EXPECT_FALSE(o.friendlyFire);
    EXPECT_EQ(o.weaponRespawn + o.weaponTeamRespawn + o.forceRespawn, 0);
    EXPECT_EQ(o.hunkMegs, 100);
    EXPECT_FALSE(o.allowDownload);
    EXPECT_EQ(o.inactivity, 90);
    EXPECT_EQ(s.skill, 5);
    EXPECT_EQ(s.team, "blue");
    EXPECT_TRUE(o.selectedBots.empty());
    EXPECT_EQ(o.displayMode, 4);
    EXPECT_TRUE(o.fullscreen && o.dynamiclight && o.fastsky && o.lightmap && o.vertexLight);
    EXPECT_EQ(o.cfgName, "unknown.cfg");
    EXPECT_FALSE(o.useQ3sdc);
    EXPECT_EQ(o.pre + o.post + o.selectedMap, "");
    EXPECT_EQ(o.defragGametype, 0);
    EXPECT_EQ(o.movement, 0);
    EXPECT_FALSE(s.minOnStart);
    EXPECT_FALSE(dir.Exists("fraglane.ini"));
}

TEST_F(SettingsTest, CheckBoxesAreCheckedOnlyForOne) {
    const Settings s = Load("[game_options]\ndedicated=2\nsv_pure=0x1\ndevmap=1\n");
    EXPECT_FALSE(s.options.dedicated);
    EXPECT_TRUE(s.options.pure);
    EXPECT_TRUE(s.options.devmap);
}

TEST_F(SettingsTest, IntegersReadHexAndFallBackToTheDefault) {
    EXPECT_EQ(Load("[game_options]\ntimelimit=0x1E\n").options.timelimit, 30);
    EXPECT_EQ(Load("[game_options]\ntimelimit=abc\n").options.timelimit, 15);
    EXPECT_EQ(Load("[game_options]\ntimelimit=-40\n").options.timelimit, -40);
}

TEST_F(SettingsTest, RadioIndicesAreClampedToNoneAndTheLastItem) {
    EXPECT_EQ(Load("[game_options]\ng_gametype=12\n").options.gametype, 7);
    EXPECT_EQ(Load("[game_options]\ng_gametype=-5\n").options.gametype, -1);
    EXPECT_EQ(Load("[game_options]\ng_gametype=-1\n").options.gametype, -1);
    EXPECT_EQ(Load("[display]\nr_mode=99\n").options.displayMode, 11);
    EXPECT_EQ(Load("[advanced]\nmovement=3\n").options.movement, 2);
}

TEST_F(SettingsTest, RosterIsReadByItsCountAlone) {
    const Settings s = Load(
        "[bots]\nselectedcount=2\nselected0=addbot sarge 5 blue\nselected1= addbot  odd  line \n"
        "selected2=addbot left 1 red\n");
    EXPECT_EQ(s.options.selectedBots,
              (std::vector<std::string>{"addbot sarge 5 blue", "addbot  odd  line"}));
}

// A settings file from elsewhere may hold names that cannot go into the batch line as they
// stand: they are read as they are (the launch texts leave them out) and saved back unchanged.
TEST_F(SettingsTest, ValuesThatCannotReachTheTextsAreKeptAndSavedBackUnchanged) {
    const Settings s = Load(
        "[maps]\nselected=\" dm_hall+beta \"\nrotationcount=5\nrotation0=q3dm1\n"
        "rotation1=x\"; quit\nrotation2=\nrotation3=q3dm2\n"
        "[bots]\nselectedcount=3\nselected0=addbot sarge 4.5 red 500 ^1Sarge\n"
        "selected1=addbot a&calc 5 red\nselected2=addbot grunt 2 \"x\n"
        "[exec]\ncfgname=My Server.cfg\n");
    const std::vector<std::string> bots = {"addbot sarge 4.5 red 500 ^1Sarge",
                                           "addbot a&calc 5 red", "addbot grunt 2 \"x"};
    EXPECT_EQ(s.options.selectedMap, " dm_hall+beta ");  // quotes keep the blanks
    EXPECT_EQ(s.options.rotation, (std::vector<std::string>{"q3dm1", "x\"; quit", "q3dm2"}));
    EXPECT_EQ(s.options.selectedBots, bots);
    EXPECT_EQ(s.options.cfgName, "My Server.cfg");
    {
        platform::ProfileFile f(Path());
        SaveSettings(f, s);
    }
    platform::ProfileFile f(Path());
    const Settings again = LoadSettings(f);
    EXPECT_EQ(again.options.selectedMap, " dm_hall+beta ");
    EXPECT_EQ(again.options.selectedBots, bots);
    EXPECT_EQ(again.options.cfgName, "My Server.cfg");
    EXPECT_EQ(f.ReadString("bots", "selected2", ""), "addbot grunt 2 \"x");
}

TEST_F(SettingsTest, HostileCountsCannotExhaustMemory) {
    const Settings s = Load("[bots]\nselectedcount=2000000000\nselected0=a\n");
    EXPECT_EQ(s.options.selectedBots.size(), static_cast<size_t>(platform::MaxStoredCount));
    EXPECT_EQ(Load("[bots]\nselectedcount=4\nselected0=a\n").options.selectedBots,
              (std::vector<std::string>{"a", "", "", ""}));
}

TEST_F(SettingsTest, SaveWritesEveryKeyInOrderAndNoCatalogueKey) {
    platform::ProfileFile f(Path());
    Settings s = DefaultSettings();
    s.selectedMod = "";
    s.options.selectedBots = {"addbot a 5 blue", "addbot b 5 red"};
    SaveSettings(f, s);
    EXPECT_EQ(dir.Read("fraglane.ini"),
              "[formplacement]\r\nleft=327\r\ntop=173\r\nwidth=674\r\nHeight=575\r\n"
              "[mods]\r\nselected=\r\n[maps]\r\nselected=\r\nrotate=0\r\nrotationcount=0\r\n"
              "[game_options]\r\ng_gametype=0\r\ntimelimit=15\r\nfraglimit=999\r\n"
              "capturelimit=99\r\ng_dowarmup=1\r\ng_warmup=30\r\ng_maxGameClients=32\r\n"
              "devmap=0\r\nsv_pure=1\r\ndedicated=1\r\nrconpassword=*\r\ng_friendlyFire=0\r\n"
              "g_weaponrespawn=0\r\ng_weaponTeamrespawn=0\r\ng_forcerespawn=0\r\n"
              "com_hunkMegs=100\r\nsv_allowDownload=0\r\ng_inactivity=90\r\n"
              "[bots]\r\nskill=5\r\nteam=blue\r\nselectedcount=2\r\nselected0=addbot a 5 blue\r\n"
              "selected1=addbot b 5 red\r\n"
              "[display]\r\nr_mode=4\r\nr_fullscreen=1\r\nr_dynamiclight=1\r\nr_fastsky=1\r\n"
              "r_lightmap=1\r\nr_vertexLight=1\r\n[exec]\r\ncfgname=unknown.cfg\r\n"
              "[advanced]\r\nuseq3sdc=0\r\npre_cmd=\r\npost_cmd=\r\ndefrag_gametype=0\r\n"
              "movement=0\r\nminonstart=0\r\nengine=\r\ncrashrestart=0\r\n");
}

TEST_F(SettingsTest, ShrinkingRosterLeavesOldKeysAndCatalogueAlone) {
    dir.Write("fraglane.ini",
              "[maps]\r\ncount=1\r\nmap0name=q3dm1\r\nmap0mod=baseq3\r\n"
              "[bots]\r\ncount=1\r\nbot0name=sarge\r\nbot0mod=baseq3\r\nselectedcount=5\r\n"
              "selected0=a\r\nselected1=b\r\nselected2=c\r\nselected3=d\r\nselected4=e\r\n");
    platform::ProfileFile f(Path());
    Settings s = LoadSettings(f);
    s.options.selectedBots.resize(2);
    SaveSettings(f, s);
    const Settings again = LoadSettings(f);
    EXPECT_EQ(again.options.selectedBots, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(f.ReadString("bots", "selected4", ""), "e");
    EXPECT_EQ(f.ReadString("maps", "map0name", ""), "q3dm1");
    EXPECT_EQ(f.ReadInteger("bots", "count", 0), 1);
}

TEST_F(SettingsTest, HandEditedValuesRoundTrip) {
    const Settings s = Load(
        "[advanced]\npre_cmd=+set developer 1\npost_cmd=\"+set x 1 \"\n[exec]\ncfgname=df.cfg\n");
    EXPECT_EQ(s.options.pre, "+set developer 1");
    EXPECT_EQ(s.options.post, "+set x 1 ");
    EXPECT_EQ(s.options.cfgName, "df.cfg");
}

}  // namespace
}  // namespace fraglane::settings
