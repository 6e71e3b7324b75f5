// The engine's words, its resolution, and the detached run with its pid file and log, on
// small programs of the system (sh, sleep) standing in for the engine.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

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
        EXPECT_EQ(SplitCommandWords(c.line), c.words) << c.line;
}

TEST(ServerWords, EngineWordsThenBasePathThenTheBatchLineAfterItsProgram) {
    EXPECT_EQ(ServerWords({"/e", "+set", "com_basegame", "baseoa"},
                          "quake3.exe  +set dedicated 1 +map \"a b\"", "/g"),
              (Words{"/e", "+set", "com_basegame", "baseoa", "+set", "fs_basepath", "/g", "+set",
                     "dedicated", "1", "+map", "a b"}));
    EXPECT_EQ(ServerWords({"/e", "+set", "FS_BASEPATH", "/else"}, "q3sdc.exe +map m", "/g"),
              (Words{"/e", "+set", "FS_BASEPATH", "/else", "+map", "m"}));
    // The engine joins its words into one line and reads it as the Windows engine reads the
    // batch line: words keep their quotes unless they group a blank (the engine puts those
    // back), so that "" stays a word and "R+D" one command; a word it could not be given as
    // meant is refused. The mod list's lower-cased mod is given as its folder is spelled.
    test::TempDir game;
    game.MakeDir("WFA");
    const std::string native = game.Native().substr(0, game.Native().size() - 1);
    EXPECT_EQ(ServerWords({"/e"},
                          "quake3.exe +set fs_game wfa +addbot sarge 5 \"\" 0 \"Big Sarge\" "
                          "+addbot grunt 1 red 0 \"R+D\" +set fs_game other +set x ^1a",
                          native),
              (Words{"/e",      "+set",  "fs_basepath", native, "+set",    "fs_game",   "WFA",
                     "+addbot", "sarge", "5",           "\"\"", "0",       "Big Sarge", "+addbot",
                     "grunt",   "1",     "red",         "0",    "\"R+D\"", "+set",      "fs_game",
                     "other",   "+set",  "x",           "^1a"}));
    for (const char* line : {"q +addbot x 1 red 0 \"a\"\"+echo PWNED\"", "q +say a\"b c\""})
        EXPECT_THROW(ServerWords({"/e"}, line, native), Error) << line;
    EXPECT_EQ(ServerPort(ServerWords({"/e"}, "q +set net_port \"27999\"", native)), 27999);
    // The game directory's path stays one word of one command, "+" and all.
    EXPECT_EQ(ServerWords({"/e"}, "q", "/g/oa+quit"),
              (Words{"/e", "+set", "fs_basepath", "\"/g/oa+quit\""}));
    EXPECT_EQ(ServerWords({"/e"}, "q", "/g/my oa+x")[3], "/g/my oa+x");
    EXPECT_THROW(ServerWords({"/e"}, "q", "/g/a\"b"), Error);
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
    EXPECT_FALSE(IsGameDirectory(gameDir, gameDir + "fraglane.ini"));
    game.Write("fraglane.ini", "[advanced]\nengine=somewhere +set a b\n");
    EXPECT_TRUE(IsGameDirectory(gameDir, gameDir + "fraglane.ini"));

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

TEST_F(ServerRunTest, OneStartRecordsTheServerKeepsTheLastLogAndStopEndsItsGroup) {
    const std::string gameDir = game.Program();
    game.Write("outside.txt", "keep");
    std::filesystem::create_symlink(game.Path("outside.txt"), game.Path(LogFileName));
    // The engine starts a helper beside itself, deaf to the terminate signal, which a stop
    // must take along all the same.
    const std::string engine = Script("engine",
                                      "pwd; for w in \"$@\"; do echo \"[$w]\"; done\n"
                                      "(trap '' TERM; sleep 30) & echo $! > helper.pid\n"
                                      "exec sleep 30");
    // Two starts at once: one starts, the other finds it and refuses.
    const Words words =
        ServerWords({engine}, "q.exe +set net_port 27999 +x \"a b\"", game.Native() + ".");
    std::optional<ServerRecord> other;
    std::string refusal;
    std::thread second([&] {
        try {
            other = StartServer(gameDir, words);
        } catch (const Error& e) {
            refusal = e.what();
        }
    });
    std::optional<ServerRecord> first;
    try {
        first = StartServer(gameDir, words);
    } catch (const Error& e) {
        refusal = e.what();
    }
    second.join();
    ASSERT_NE(first.has_value(), other.has_value()) << refusal;
    EXPECT_EQ(refusal.rfind("A server is running (process ", 0), 0U) << refusal;
    const ServerRecord started = first ? *first : *other;
    EXPECT_EQ(started.port, 27999);
    EXPECT_EQ(RunningServer(gameDir), started);
    // The log that was a link is kept aside as it is; nothing is written through it.
    EXPECT_TRUE(std::filesystem::is_symlink(game.Path(PreviousLogFileName)));
    EXPECT_EQ(game.Read("outside.txt"), "keep");
    // The words arrive one by one as split, no shell between; the engine runs in the game
    // directory.
    const Words expected{"[+set]", "[fs_basepath]", "[" + game.Native() + ".]",
                         "[+set]", "[net_port]",    "[27999]",
                         "[+x]",   "[a b]"};
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (LogTail(gameDir, 10).size() < expected.size() + 1 &&
           std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    Words tail = LogTail(gameDir, 10);
    ASSERT_EQ(tail.size(), expected.size() + 1);
    EXPECT_TRUE(std::filesystem::equivalent(tail.front(), game.Native()));
    tail.erase(tail.begin());
    EXPECT_EQ(tail, expected);
    EXPECT_EQ(StatusLine(started, std::nullopt)
                  .rfind("running, process " + std::to_string(started.process.pid), 0),
              0U);

    // The engine notes its helper after printing its words: wait for the note too.
    std::string helperPid;
    while ((helperPid = game.Read("helper.pid")).empty() &&
           std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_FALSE(helperPid.empty());
    const int64_t helper = std::stoll(helperPid);
    EXPECT_TRUE(StopServer(gameDir, started));
    EXPECT_FALSE(platform::IsAlive(started.process));
    EXPECT_TRUE(GoneWithin(helper, std::chrono::seconds(5)));
    EXPECT_FALSE(game.Exists(PidFileName));
    EXPECT_EQ(RunningServer(gameDir), std::nullopt);
    EXPECT_EQ(StatusLine(RunningServer(gameDir), std::nullopt), "stopped");
}

TEST_F(ServerRunTest, AProgramThatCannotRunIsSaidAndRecordsNothing) {
    game.Write("plain", "x");
    game.Write(LogFileName, "the last run");
    try {
        StartServer(game.Program(), {game.Path("plain")});
        ADD_FAILURE() << "started";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "cannot run " + game.Path("plain") + ": Permission denied");
    }
    EXPECT_FALSE(game.Exists(PidFileName));
    EXPECT_EQ(game.Read(LogFileName), "the last run");  // the logs as they were
}

TEST_F(ServerRunTest, APidFileRecordsOnlyTheVeryProcessRunningInTheGameDirectory) {
    const std::string gameDir = game.Program();
    const platform::ProcessRecord self = *platform::OwnRecord();
    const std::string selfText =
        std::to_string(self.pid) + " " + std::to_string(self.startTicks) + " " + self.bootId;
    // This test's own process is alive but works elsewhere: recording it makes it no server.
    for (const std::string& text :
         {selfText + " 27960\n", std::string("1 0 x 27960\n"), std::string("garbage"),
          std::to_string(self.pid) + " 1 " + self.bootId + " 27960\n",
          std::string("-5 1 ab 27960\n"), std::string("99999999999999999999 1 ab 1\n"),
          selfText + " 0\n", std::string(100000, '7')}) {
        game.Write(PidFileName, text);
        EXPECT_EQ(RunningServer(gameDir), std::nullopt) << text.substr(0, 60);
    }
    const std::string engine = Script("engine", "exec sleep 30");
    const ServerRecord started = StartServer(gameDir, {engine});
    // A record that is not the process's own (a reused id) stops nothing.
    ServerRecord other = started;
    other.process.startTicks += 1;
    EXPECT_FALSE(RequestStop(other, true));
    EXPECT_TRUE(platform::IsAlive(started.process));
    EXPECT_TRUE(RequestStop(started, true));
    EXPECT_TRUE(GoneWithin(started.process.pid, std::chrono::seconds(5)));
}

}  // namespace
}  // namespace fraglane::server
