#include "launch/compose.h"

#include <gtest/gtest.h>

#include "settings/settings.h"

namespace fraglane::launch {
namespace {

// Worked example 1: a dedicated free-for-all on q3dm17 in baseq3.
LaunchOptions Example1() {
    LaunchOptions o;
    o.mod = "baseq3";
    o.selectedMap = "q3dm17";
    o.gametype = 0;
    o.dedicated = o.pure = o.doWarmup = true;
    o.timelimit = 15;
    o.fraglimit = 999;
    o.capturelimit = 99;
    o.warmup = 30;
    o.maxGameClients = 32;
    o.hunkMegs = 100;
    o.inactivity = 90;
    o.movement = 0;
    o.displayMode = 4;
    o.defragGametype = 0;
    o.cfgName = "unknown.cfg";
    o.rconPassword = "secret";
    return o;
}

const std::vector<std::string> Example1Config = {
    "seta g_gametype 0",        "seta timelimit 15",       "seta fraglimit 999",
    "seta capturelimit 99",     "seta g_dowarmup 1",       "seta g_warmup 30",
    "seta g_maxGameClients 32", "seta sv_maxclients 32",   "seta rconpassword secret",
    "seta g_friendlyFire 0",    "seta g_weaponrespawn 0",  "seta g_weaponTeamrespawn 0",
    "seta g_forcerespawn 0",    "seta sv_allowDownload 0", "seta g_inactivity 90"};

TEST(Compose, DedicatedBaseq3ExampleComesOutByteForByte) {
    const LaunchTexts t = Compose(Example1());
    EXPECT_EQ(t.commandLine,
              "quake3.exe   +set dedicated 1 +set com_hunkmegs 100 +set sv_pure 1"
              " +exec unknown.cfg +map q3dm17 ");
    EXPECT_EQ(t.configLines, Example1Config);
    EXPECT_EQ(t.batchName, "runmap_q3dm17_ffa.bat");
}

TEST(Compose, RotationOffOrOfOneMapLeavesEveryTextAsItWas) {
    const LaunchTexts plain = Compose(Example1());
    for (const auto& [rotate, maps] : std::vector<std::pair<bool, std::vector<std::string>>>{
             {false, {"a", "b", "c"}}, {true, {"q3dm17"}}, {true, {}}}) {
        LaunchOptions o = Example1();
        o.rotate = rotate;
        o.rotation = maps;
        const LaunchTexts t = Compose(o);
        EXPECT_EQ(t.commandLine, plain.commandLine);
        EXPECT_EQ(t.configLines, plain.configLines);
        EXPECT_EQ(t.batchName, plain.batchName);
    }
}

TEST(Compose, RotationChainsTheMapsAndStartsAfterTheSelectedOne) {
    LaunchOptions o = Example1();
    o.rotate = true;
    o.rotation = {"oa_dm1", "Q3DM17", "oa_dm2"};  // the selected map is in the middle
    o.post = "+say hi";
    LaunchTexts t = Compose(o);
    EXPECT_EQ(t.commandLine,
              "quake3.exe   +set dedicated 1 +set com_hunkmegs 100 +set sv_pure 1"
              " +exec unknown.cfg +map q3dm17 +vstr rotation +say hi");
    std::vector<std::string> expected = Example1Config;
    expected.insert(expected.end(), {"set rotation0 \"map oa_dm1; set nextmap vstr rotation1\"",
                                     "set rotation1 \"map Q3DM17; set nextmap vstr rotation2\"",
                                     "set rotation2 \"map oa_dm2; set nextmap vstr rotation0\"",
                                     "set rotation \"set nextmap vstr rotation2\""});
    EXPECT_EQ(t.configLines, expected);

    o.devmap = true;
    o.selectedMap = "unlisted";
    t = Compose(o);
    EXPECT_EQ(t.configLines[Example1Config.size()],
              "set rotation0 \"devmap oa_dm1; set nextmap vstr rotation1\"");
    EXPECT_EQ(t.configLines.back(), "set rotation \"set nextmap vstr rotation0\"");
}

TEST(Compose, ListenServerDefragExampleComesOutByteForByte) {
    LaunchOptions o = Example1();
    o.useQ3sdc = true;
    o.pre = "+set developer 1";
    o.dedicated = false;
    o.pure = false;
    o.hunkMegs = 128;
    o.displayMode = 6;
    o.fullscreen = o.dynamiclight = true;
    o.fastsky = o.lightmap = o.vertexLight = false;
    o.mod = "defrag";
    o.defragGametype = 1;
    o.devmap = true;
    o.selectedMap = "st1";
    o.gametype = 1;
    o.movement = 1;
    o.cfgName = "df.cfg";
    o.selectedBots = {"addbot sarge 4 blue"};
    const LaunchTexts t = Compose(o);
    EXPECT_EQ(t.commandLine,
              "q3sdc.exe +set developer 1  +set dedicated 0 +set com_hunkmegs 128 +set sv_pure 0"
              " +set r_mode 6 +set r_fullscreen 1 +set r_dynamiclight 1 +set r_fastsky 0"
              " +set r_lightmap 0 +set r_vertexLight 0 +set df_gametype 1 +set fs_game defrag"
              " +exec df.cfg +devmap st1  +addbot sarge 4 blue"
              " +set sdr_waitForClients 1 +sdrecord");
    std::vector<std::string> config = Example1Config;
    config[0] = "seta g_gametype 1";
    config.insert(config.end(),
                  {"seta pmove_fixed 1", "seta pmove_msec 8", "seta g_synchronousClients 0"});
    EXPECT_EQ(t.configLines, config);
    EXPECT_EQ(t.batchName, "runmap_defrag_st1_1x1.bat");
}

struct NameCase {
    int gametype;
    std::string mod;
    std::string expected;
};

class BatchName : public ::testing::TestWithParam<NameCase> {};

TEST_P(BatchName, FollowsModMapAndGametype) {
    LaunchOptions o = Example1();
    o.gametype = GetParam().gametype;
    o.mod = GetParam().mod;
    EXPECT_EQ(Compose(o).batchName, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Compose, BatchName,
                         ::testing::Values(NameCase{2, "baseq3", "runmap_q3dm17_.bat"},
                                           NameCase{6, "baseq3", "runmap_q3dm17_.bat"},
                                           NameCase{7, "baseq3", "runmap_q3dm17_.bat"},
                                           NameCase{-1, "baseq3", "runmap_q3dm17_.bat"},
                                           NameCase{3, "BaseQ3", "runmap_q3dm17_teamdm.bat"},
                                           NameCase{4, "cpma", "runmap_cpma_q3dm17_ctf.bat"},
                                           NameCase{5, "", "runmap__q3dm17_1ctf.bat"}));

TEST(Compose, ModNamesInOtherCaseCountAsBaseq3AndDefrag) {
    LaunchOptions o = Example1();
    o.mod = "BaseQ3";
    EXPECT_EQ(Compose(o).commandLine.find("fs_game"), std::string::npos);
    o.mod = "DEFRAG";
    o.defragGametype = 3;
    const std::string cmd = Compose(o).commandLine;
    EXPECT_NE(cmd.find(" +set df_gametype 3 +set fs_game DEFRAG "), std::string::npos) << cmd;
}

TEST(Compose, EmptyModLeavesFsGameWithoutValue) {
    LaunchOptions o = Example1();
    o.mod.clear();
    EXPECT_NE(Compose(o).commandLine.find(" +set fs_game  +exec "), std::string::npos);
}

TEST(Compose, SyncMovementAddsFourLinesStartingWithMaxfps) {
    LaunchOptions o = Example1();
    o.movement = 2;
    const auto lines = Compose(o).configLines;
    ASSERT_EQ(lines.size(), 19u);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 15, lines.end()),
              (std::vector<std::string>{"seta sv_maxfps 125", "seta pmove_fixed 1",
                                        "seta pmove_msec 4", "seta g_synchronousClients 1"}));
}

TEST(Compose, NoGametypeSelectedWritesMinusOne) {
    LaunchOptions o = Example1();
    o.gametype = -1;
    EXPECT_EQ(Compose(o).configLines.front(), "seta g_gametype -1");
}

TEST(Compose, DedicatedDropsDisplaySettingsWhateverTheyShow) {
    LaunchOptions o = Example1();
    o.fullscreen = o.lightmap = true;
    EXPECT_EQ(Compose(o).commandLine.find("r_"), std::string::npos);
}

TEST(Compose, TypedTextGoesThroughUnquoted) {
    LaunchOptions o = Example1();
    o.pre = "+set a \"b c\"";
    o.post = "+set x 1 +kick all";
    o.selectedMap = "my map";
    o.maxGameClients = -7;
    const LaunchTexts t = Compose(o, {.map = false, .cfgName = false});  // typed in the window
    EXPECT_EQ(t.commandLine.rfind("quake3.exe +set a \"b c\"  +set dedicated", 0), 0u);
    EXPECT_NE(t.commandLine.find(" +map my map +set x 1 +kick all"), std::string::npos);
    EXPECT_EQ(t.configLines[6], "seta g_maxGameClients -7");
    EXPECT_EQ(t.configLines[7], "seta sv_maxclients -7");
}

// Names as the community writes them compose as stored; what would act as a command in the
// batch line stays out of every text and is said, while the options keep it.
TEST(Compose, StoredNamesThatWouldActAsCommandsAreLeftOutAndSaid) {
    struct Row {
        const char* map;
        const char* bot;
        const char* cfg;
        const char* leftOut;  // empty: composed as stored
    };
    const Row rows[] = {
        {"ztn3tourney1", "addbot sarge 4.5 red 500 ^1Sarge", "My_Server.cfg", ""},
        {"pro-q3tourney7_(v2)", "addbot sarge 5 \"\" 0 \"Big Sarge\"", "cfgs\\a.cfg", ""},
        {"bob's_place", "addbot grunt 3 blue 0 \"R&D | <1>\"", "x.cfg", ""},
        {"dm_hall+beta", "", "x.cfg",
         "left out map dm_hall+beta: \"+\" cannot stand in a command line"},
        {"mymap_b1.2", "addbot a&calc 5 red", "x.cfg",
         "left out bot line addbot a&calc 5 red: \"&\" cannot stand in a command line outside "
         "quotes"},
        {"q3dm17", "addbot grunt 2 \"x", "x.cfg",
         "left out bot line addbot grunt 2 \"x: an unbalanced quote would take in the words "
         "after it"},
        {"q3dm17", "addbot grunt 2 \"%path%\"", "x.cfg",
         "left out bot line addbot grunt 2 \"%path%\": \"%\" cannot stand in a command line"},
        {"q3dm17", "addbot grunt 2 red\nquit", "x.cfg",
         "left out bot line addbot grunt 2 red\\x0Aquit: the control byte \\x0A cannot stand "
         "in a command line"},
        {"q3dm17", "addbot x 1 red;quit", "x.cfg",
         "left out bot line addbot x 1 red;quit: \";\" cannot stand in a command line outside "
         "quotes"},
        {"q3dm17", "addbot sarge 1 red 0 ^\" & echo PWNED>pwned.txt & rem \"", "x.cfg",
         "left out bot line addbot sarge 1 red 0 ^\" & echo PWNED>pwned.txt & rem \": '^\"' "
         "would hide a quote from cmd"},
        {"q3dm17", "addbot sarge 1 red 0 /**/echo PWNED", "x.cfg",
         "left out bot line addbot sarge 1 red 0 /**/echo PWNED: \"/*\" would be read as a "
         "comment by the game outside quotes"},
        {"q3dm17", "", "x/**/cmdlist",
         "left out cfg name x/**/cmdlist: \"/*\" would be read as a comment by the game"},
        {"q3dm17", "", "secret;quit",  // the cfg row stands for the password here
         "left out the rcon password: \";\" cannot stand in a config line"},
        {"dm\xC5quit", "addbot sarge 3 red 0 \"Caf\xC3\xA9\"", "x.cfg",
         "left out map dm\xC5quit: the byte \\xC5 reads in cmd as a line-drawing sign, which "
         "Windows may hand the game as \"+\""},
        {"q3dm17", "addbot sarge\xC3\xA9 3 red", "x.cfg",
         "left out bot line addbot sarge\xC3\xA9 3 red: the byte \\xC3 reads in cmd as a "
         "line-drawing sign, which Windows may hand the game as \"+\" outside quotes"},
        {"q3dm17", "", "My Server.cfg",
         "left out cfg name My Server.cfg: a blank would split it in the command line"},
        {"q3dm17", "", "..\\q3config.cfg",
         "left out cfg name ..\\q3config.cfg: it would lead out of the mod's folder"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.leftOut);
        LaunchOptions o = Example1();
        o.selectedMap = row.map;
        const bool password = std::string_view(row.leftOut).find("rcon") != std::string::npos;
        (password ? o.rconPassword : o.cfgName) = row.cfg;
        if (*row.bot != 0)
            o.selectedBots = {row.bot};
        o.rotate = true;
        o.rotation = {"q3dm1", row.map};
        const LaunchTexts t = Compose(o);
        std::string config;
        for (const std::string& line : t.configLines)
            config += line + "\n";
        if (*row.leftOut == 0) {
            EXPECT_TRUE(t.leftOut.empty()) << t.leftOut.front();
            EXPECT_NE(t.commandLine.find(" +exec " + std::string(row.cfg) + " +map " + row.map +
                                         " +vstr rotation " + (*row.bot ? " +" : "") + row.bot),
                      std::string::npos)
                << t.commandLine;
            EXPECT_NE(config.find(std::string("map ") + row.map + ";"), std::string::npos);
            continue;
        }
        ASSERT_FALSE(t.leftOut.empty());
        EXPECT_EQ(t.leftOut.front(), row.leftOut);
        const std::string_view kind = std::string_view(row.leftOut).substr(9, 3);
        const std::string value = kind == "map" ? row.map : kind == "bot" ? row.bot : row.cfg;
        EXPECT_EQ(t.leftOut.size(), kind == "map" ? 2u : 1u);  // a map is in the rotation too
        for (const std::string& text : {t.commandLine, config, t.batchName})
            EXPECT_EQ(text.find(value), std::string::npos) << text;
    }
    LaunchOptions typed = Example1();  // typed by the operator: goes in as typed
    typed.selectedMap = "dm_hall+beta";
    typed.cfgName = "My Server.cfg";
    EXPECT_NE(Compose(typed, {.map = false, .cfgName = false})
                  .commandLine.find(" +exec My Server.cfg +map dm_hall+beta "),
              std::string::npos);
    EXPECT_EQ(LeftOutSummary({"a", "b", "c"}), "3 names left out; a");
}

TEST(Compose, FirstStartDefaultsGiveTheDocumentedBatchLine) {
    LaunchOptions o = settings::DefaultSettings().options;
    o.mod.clear();
    EXPECT_EQ(Compose(o).commandLine,
              "quake3.exe   +set dedicated 1 +set com_hunkmegs 100 +set sv_pure 1 +set fs_game "
              " +exec unknown.cfg +map  ");
}

TEST(ConfigFileText, EndsEveryLineWithCrLf) {
    EXPECT_EQ(ConfigFileText({"a", "b"}), "a\r\nb\r\n");
    EXPECT_EQ(ConfigFileText({}), "");
}

}  // namespace
}  // namespace fraglane::launch
