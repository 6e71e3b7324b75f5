// The engine's words, its resolution, and the detached run with its pid file and log, on
// small programs of the system (sh, sleep) standing in for the engine.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "launch/game_directory.h"
#include "platform/error.h"
#include "platform/process.h"
#include "server/engine.h"
#include "server/server_run.h"
#include "support/temp_dir.h"

namespace fraglane::server {
namespace {

using Words = std::vector<std::string>;

TEST(ServerWords, SplitAsWindowsHandsThemToAProgram) {
    const struct {
        const char* line;
        Words words;
    } cases[] = {
        {"quake3.exe +set sv_hostname \"My Server\" +map q3dm17",
         {"quake3.exe", "+set", "sv_hostname", "My Server", "+map", "q3dm17"}},
        {"  a\tb  c  ", {"a", "b", "c"}},
        {"\"C:\\Program Files\\q3.exe\" x", {"C:\\Program Files\\q3.exe", "x"}},
        {"p \"\" end", {"p", "", "end"}},
        {"p a\"b c\"d", {"p", "ab cd"}},
        {"p \"say \"\"hi\"\"\"", {"p", "say \"hi\""}},
        {"p a\\\\\"b c\" \\\"q \\\\x", {"p", "a\\b c", "\"q", "\\\\x"}},
        {"p \"unclosed quote", {"p", "unclosed quote"}},
        {"p ;$(rm -rf x)`id`&|", {"p", ";$(rm", "-rf", "x)`id`&|"}},
        {"", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(launch::SplitCommandWords(c.line), c.words) << c.line;
}

TEST(ServerWords, EngineWordsThenBasePathThenTheBatchLineAfterItsProgram) {
    EXPECT_EQ(ServerWords({"/e", "+set", "com_basegame", "baseoa"},
                          "quake3.exe  +set dedicated 1 +map \"a b\"", "/g"),
              (Words{"/e", "+set", "com_basegame", "baseoa", "+set", "fs_basepath", "/g", "+set",
                     "fs_homepath", "/g", "+set", "dedicated", "1", "+map", "a b"}));
    EXPECT_EQ(
        ServerWords({"/e", "+set", "FS_BASEPATH", "/else", "+set", "fs_HOMEpath", "/h"},
                    "q3sdc.exe +map m", "/g"),
        (Words{"/e", "+set", "FS_BASEPATH", "/else", "+set", "fs_HOMEpath", "/h", "+map", "m"}));
    // The engine joins its words into one line and reads it as the Windows engine reads the
    // batch line: words keep their quotes unless they group a blank (the engine puts those
    // back), so that "" stays a word and "R+D" one command; a word it could not be given as
    // meant is refused. The mod list's lower-cased mod is given as its folder is spelled
    // where names have a case (Windows finds the folder by any spelling).
    test::TempDir game;
    game.MakeDir("WFA");
#ifdef _WIN32
    const char* const spelled = "wfa";
#else
    const char* const spelled = "WFA";
#endif
    const std::string native = game.Native().substr(0, game.Native().size() - 1);
    EXPECT_EQ(
        ServerWords({"/e"},
                    "quake3.exe +set fs_game wfa +addbot sarge 5 \"\" 0 \"Big Sarge\" "
                    "+addbot grunt 1 red 0 \"R+D\" +set fs_game other +set x ^1a",
                    native),
        (Words{"/e",      "+set",      "fs_basepath", native,    "+set",  "fs_homepath", native,
               "+set",    "fs_game",   spelled,       "+addbot", "sarge", "5",           "\"\"",
               "0",       "Big Sarge", "+addbot",     "grunt",   "1",     "red",         "0",
               "\"R+D\"", "+set",      "fs_game",     "other",   "+set",  "x",           "^1a"}));
    for (const char* line : {"q +addbot x 1 red 0 \"a\"\"+echo PWNED\"", "q +say a\"b c\""})
        EXPECT_THROW(ServerWords({"/e"}, line, native), Error) << line;
    EXPECT_EQ(ServerPort(ServerWords({"/e"}, "q +set net_port \"27999\"", native)), 27999);
    // The game directory's path stays one word of one command, "+" and all.
    EXPECT_EQ(ServerWords({"/e"}, "q", "/g/oa+quit"),
              (Words{"/e", "+set", "fs_basepath", "\"/g/oa+quit\"", "+set", "fs_homepath",
                     "\"/g/oa+quit\""}));
    EXPECT_EQ(ServerWords({"/e"}, "q", "/g/my oa+x")[3], "/g/my oa+x");
    EXPECT_THROW(ServerWords({"/e"}, "q", "/g/a\"b"), Error);
    EXPECT_THROW(ServerWords({"/e"}, "q", "/g/a\nsets injected yes"), Error);
    const struct {
        Words words;
        uint16_t port;
    } ports[] = {
        {{"/e", "+map", "m"}, 27960},
        {{"/e", "+set", "net_port", "27999", "+set", "NET_PORT", "28000"}, 28000},
        {{"/e", "+set", "net_port", "70000"}, 27960},
        {{"/e", "+set", "net_port", "12x"}, 27960},
        {{"/e", "+set", "net_port"}, 27960},
    };
    for (const auto& p : ports)
        EXPECT_EQ(ServerPort(p.words), p.port) << p.words.back();
}

class ServerRunTest : public ::testing::Test {
protected:
    test::TempDir game;
    void SetUp() override {
        if (!platform::StartsEngineItself())
            GTEST_SKIP() << "start opens the batch file through the shell here";
    }
    // A program beside the game directory: a shell script with this body.
    std::string Script(const std::string& name, const std::string& body) {
        game.Write(name, "#!/bin/sh\n" + body + "\n");
        std::filesystem::permissions(game.Path(name), std::filesystem::perms::owner_all);
        return game.Path(name);
    }
    // Whether the process with this id is gone (or waits only to be collected) within limit.
    static bool GoneWithin(int64_t pid, std::chrono::seconds limit) {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (platform::RecordOf(pid) && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return !platform::RecordOf(pid);
    }
};

TEST_F(ServerRunTest, EngineIsFoundBesideTheProgramByNameOnPathOrRefusedWithTheReason) {
    const std::string gameDir = game.Program();
    EXPECT_FALSE(launch::IsGameDirectory(gameDir, gameDir + "fraglane.ini"));
    game.Write("fraglane.ini", "[advanced]\nengine=somewhere +set a b\n");
    EXPECT_TRUE(launch::IsGameDirectory(gameDir, gameDir + "fraglane.ini"));

    const std::string beside = Script("ioq3ded.x86_64", "exit 0");
    Script("ioq3ded.x86", "exit 0");
    EXPECT_EQ(ResolveEngine("", gameDir, ""), Words{game.Path("ioq3ded.x86")});
    EXPECT_EQ(ResolveEngine("  \"\"  +set x y", gameDir, ""),
              (Words{game.Path("ioq3ded.x86"), "+set", "x", "y"}));
    EXPECT_EQ(ResolveEngine("ioq3ded.x86_64 +v", gameDir, "/nowhere:" + game.Native()),
              (Words{game.Path("ioq3ded.x86_64"), "+v"}));
    EXPECT_EQ(ResolveEngine("./ioq3ded.x86_64", gameDir, "")[0],
              game.Native() + "./ioq3ded.x86_64");

    game.Write("plain", "not a program");
    game.MakeDir("folder");
    const struct {
        std::string setting;
        const char* reason;
    } refused[] = {
        {"no-such-engine", "engine not found: no-such-engine"},
        {game.Path("plain"), "engine is not a program this user may run: "},
        {game.Path("folder"), "engine is not a program this user may run: "},
    };
    for (const auto& r : refused) {
        try {
            ResolveEngine(r.setting, gameDir, game.Native());
            ADD_FAILURE() << r.setting;
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()).rfind(r.reason, 0), 0U) << e.what();
        }
    }
}

}  // namespace
}  // namespace fraglane::server
