// Runs what Fraglane saves with the real dedicated server: the saved batch line's arguments,
// in a game directory whose baseq3 holds the OpenArena archives.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sstream>

#include "cli/cli.h"
#include "platform/profile_file.h"
#include "server/server_run.h"
#include "support/served_game.h"
#include "support/temp_dir.h"

namespace fraglane {
namespace {

constexpr const char* Server = "/usr/lib/ioquake3/ioq3ded";
constexpr const char* GameModule = "/usr/lib/openarena-server/baseoa/qagamex86_64.so";

std::vector<std::string> SplitBlanks(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

// Starts the server and reads its console until every marker is seen or time runs out.
std::string RunServerUntil(const std::vector<std::string>& args,
                           const std::vector<std::string>& markers, std::chrono::seconds limit) {
    int out[2];
    if (::pipe(out) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::dup2(out[1], 2);
        ::close(out[0]);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(Server));
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(Server, argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    std::string log;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    auto allSeen = [&] {
        for (const auto& m : markers) {
            if (log.find(m) == std::string::npos)
                return false;
        }
        return true;
    };
    while (!allSeen() && std::chrono::steady_clock::now() < deadline) {
        pollfd p{out[0], POLLIN, 0};
        if (::poll(&p, 1, 200) > 0) {
            char buffer[4096];
            const ssize_t n = ::read(out[0], buffer, sizeof buffer);
            if (n <= 0)
                break;
            log.append(buffer, static_cast<size_t>(n));
        }
    }
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(out[0]);
    return log;
}

bool ServerInstalled() {
    return std::filesystem::exists(Server) && std::filesystem::exists(GameModule);
}

// Saves the config and batch files of a game directory whose settings name the map, a bot
// and the config file, and runs the batch line's arguments with the real server until the
// markers show. The server finds its native game module beside the archives; OpenArena's
// engine takes its content as the standalone game "baseoa", which here is the same folder.
std::string ServeSavedBatch(const test::GameDir& game, const std::string& map,
                            const std::vector<std::string>& markers,
                            const std::string& moreMapKeys = {}, const std::string& post = {}) {
    std::filesystem::create_symlink(GameModule, game.Path("baseq3/qagamex86_64.so"));
    std::filesystem::create_directory_symlink("baseq3", game.Path("baseoa"));
    game.Write("fraglane.ini",
               "[mods]\r\nselected=baseq3\r\ncount=1\r\nmod0=baseq3\r\n[maps]\r\nselected=" + map +
                   "\r\n" + moreMapKeys +
                   "[game_options]\r\ntimelimit=7\r\n[bots]\r\nselectedcount=1\r\n"
                   "selected0=addbot sarge 4 blue\r\n[exec]\r\ncfgname=fraglane_test.cfg\r\n"
                   "[advanced]\r\npost_cmd=" +
                   post + "\r\n");
    std::ostringstream out, err;
    EXPECT_EQ(cli::RunCli({"--dir", game.Native(), "save-cfg"}, out, err), 0) << err.str();
    EXPECT_EQ(cli::RunCli({"--dir", game.Native(), "save-bat"}, out, err), 0) << err.str();
    std::vector<std::string> words = SplitBlanks(game.Read("runmap_" + map + "_ffa.bat"));
    EXPECT_FALSE(words.empty());
    if (words.empty() || words.front() != "quake3.exe")
        return {};
    words.erase(words.begin());

    const std::string port = std::to_string(27960 + 1 + ::getpid() % 1000);
    std::vector<std::string> args = {"+set",
                                     "com_basegame",
                                     "baseoa",
                                     "+set",
                                     "fs_basepath",
                                     game.Native(),
                                     "+set",
                                     "fs_homepath",
                                     game.Path("home"),
                                     "+set",
                                     "com_legacyprotocol",
                                     "71",
                                     "+set",
                                     "com_protocol",
                                     "71",
                                     "+set",
                                     "sv_master1",
                                     "",
                                     "+set",
                                     "net_ip",
                                     "127.0.0.1",
                                     "+set",
                                     "net_port",
                                     port,
                                     "+set",
                                     "vm_game",
                                     "0"};
    args.insert(args.end(), words.begin(), words.end());
    const std::string log = RunServerUntil(args, markers, std::chrono::seconds(90));
    if (::testing::Test::HasFailure() || std::getenv("FRAGLANE_SHOW_SERVER_LOG"))
        std::cout << log;
    return log;
}

TEST(DedicatedServer, RunsTheSavedConfigMapAndBot) {
    if (!ServerInstalled())
        GTEST_SKIP() << "openarena-server is not installed: no dedicated server to run";
    test::GameDir game;
    if (!game.LinkOpenArena())
        GTEST_SKIP() << "openarena-088-data is not installed";
    const std::string log = ServeSavedBatch(
        game, "oa_dm1", {"execing fraglane_test.cfg", "Server: oa_dm1", "entered the game"});
    EXPECT_NE(log.find("execing fraglane_test.cfg"), std::string::npos) << log;
    EXPECT_NE(log.find("Server: oa_dm1"), std::string::npos) << log;
    EXPECT_NE(log.find("Sarge^7 entered the game"), std::string::npos) << log;
    EXPECT_NE(log.find("\\timelimit\\7\\"), std::string::npos) << "config values reach the game";
}

// A rotation of three maps: the saved chain loads them in turn and comes back to the first,
// with nextmap then pointing at the second.
TEST(DedicatedServer, RotationPlaysTheListedMapsInTurn) {
    if (!ServerInstalled())
        GTEST_SKIP() << "openarena-server is not installed: no dedicated server to run";
    test::GameDir game;
    if (!game.LinkOpenArena())
        GTEST_SKIP() << "openarena-088-data is not installed";
    const std::string log =
        ServeSavedBatch(game, "oa_dm1", {"vstr rotation1", "entered the game"},
                        "rotate=1\r\nrotationcount=3\r\nrotation0=oa_dm1\r\nrotation1=oa_dm2\r\n"
                        "rotation2=oa_dm3\r\n",
                        "+vstr nextmap +vstr nextmap +vstr nextmap +nextmap");
    std::vector<std::string> served;
    for (size_t at = log.find("Server: "); at != std::string::npos;
         at = log.find("Server: ", at + 1)) {
        served.push_back(log.substr(at + 8, log.find('\n', at) - at - 8));
    }
    EXPECT_EQ(served, (std::vector<std::string>{"oa_dm1", "oa_dm2", "oa_dm3", "oa_dm1"})) << log;
    EXPECT_NE(log.find("\"nextmap\" is:\"vstr rotation1"), std::string::npos) << log;
}

// A map repacked from the OpenArena archives is played by the real server from our archive
// alone, at either packing: the archive that held the map is left out of the game directory
// the server runs in.
TEST(DedicatedServer, PlaysAMapFromTheRepackedArchive) {
    if (!ServerInstalled())
        GTEST_SKIP() << "openarena-server is not installed: no dedicated server to run";
    const std::string map = "am_underworks";  // only pak6-patch085.pk3 holds it
    test::GameDir source;
    if (!source.LinkOpenArena())
        GTEST_SKIP() << "openarena-088-data is not installed";
    for (const char* packing : {"", "--smallest"}) {
        std::vector<std::string> args = {"--dir", source.Native(), "repack", map + "@baseq3"};
        if (*packing != '\0')
            args.insert(args.begin() + 3, packing);
        std::ostringstream out, err;
        ASSERT_EQ(cli::RunCli(args, out, err), 0) << err.str();
        const std::string repacked = source.Path("temp/" + map + ".pk3");
        ASSERT_TRUE(std::filesystem::exists(repacked)) << out.str();

        test::GameDir game;
        game.MakeDir("baseq3");
        for (const auto& e : std::filesystem::directory_iterator(source.Path("baseq3"))) {
            const std::string name = e.path().filename().string();
            if (e.path().extension() == ".pk3" && name != "pak6-patch085.pk3")
                std::filesystem::create_symlink(std::filesystem::read_symlink(e.path()),
                                                game.Path("baseq3/" + name));
        }
        std::filesystem::copy_file(repacked, game.Path("baseq3/" + map + ".pk3"));
        const std::string log = ServeSavedBatch(game, map, {"Server: " + map, "entered the game"});
        EXPECT_NE(log.find("Server: " + map), std::string::npos) << packing << log;
        EXPECT_EQ(log.find("Couldn't load"), std::string::npos) << packing << log;
        EXPECT_NE(log.find("Sarge^7 entered the game"), std::string::npos) << packing << log;
    }
}

}  // namespace
}  // namespace fraglane

namespace fraglane {
namespace {

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

CliRun Cli(const test::TempDir& game, std::vector<std::string> args) {
    args.insert(args.begin(), {"--dir", game.Native()});
    std::ostringstream out, err;
    CliRun r;
    r.status = cli::RunCli(args, out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
}

// The CLI's server commands on the real engine, in a game directory with no quake3.exe whose
// settings name the engine: start --detach, status, a second start refused, stop; then the
// foreground start, whose output is the server's, found and stopped from outside.
TEST(ServerCommands, StartStatusStopDetachedAndInTheForeground) {
    if (!test::EngineInstalled())
        GTEST_SKIP() << "openarena-server or openarena-088-data is not installed";
    test::TempDir game;
    const int port = test::ServeOpenArena(game);
    // The console needs a password: the placeholder is refused with what to set; the one the
    // saved cfg gives the server answers.
    const CliRun refused = Cli(game, {"rcon", "status"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("rconpassword"), std::string::npos) << refused.err;
    platform::ProfileFile(game.Program() + "fraglane.ini")
        .WriteString("game_options", "rconpassword", "fraglane-test-pw");
    ASSERT_EQ(Cli(game, {"save-cfg"}).status, 0);
    const CliRun started = Cli(game, {"start", "--detach"});
    ASSERT_EQ(started.status, 0) << started.err;
    EXPECT_EQ(started.out.rfind("started, process ", 0), 0U) << started.out;
    const CliRun console = Cli(game, {"rcon", "status"});
    EXPECT_EQ(console.status, 0) << console.err;
    EXPECT_NE(console.out.find("map: oa_dm1"), std::string::npos) << console.out;
    const CliRun shown = Cli(game, {"rcon", "rconpassword"});
    EXPECT_EQ((shown.out + shown.err).find("fraglane-test-pw"), std::string::npos) << shown.out;
    CliRun status;
    EXPECT_TRUE(test::WaitFor(
        [&] {
            status = Cli(game, {"status"});
            return status.out.find(", map oa_dm1, 1 player\n") != std::string::npos;
        },
        std::chrono::seconds(30)))
        << status.out << game.Read("fraglane-server.log");
    EXPECT_EQ(status.status, 0);
    const auto answer = server::QueryStatus(static_cast<uint16_t>(port), 1000);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->hostname, "Frag Lane");  // the quoted name reached the server as one word

    const CliRun again = Cli(game, {"start", "--detach"});
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(again.err.rfind("A server is running (process ", 0), 0U) << again.err;

    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(Cli(game, {"stop"}).out, "stopped\n");
    EXPECT_LT(std::chrono::steady_clock::now() - before, server::StopGrace);
    const CliRun after = Cli(game, {"status"});
    EXPECT_EQ(after.status, 3);
    EXPECT_EQ(after.out, "stopped\n");
    const std::string log = game.Read("fraglane-server.log");
    EXPECT_NE(log.find("Server: oa_dm1"), std::string::npos) << log;
    EXPECT_NE(log.find("Sarge^7 entered the game"), std::string::npos) << log;

    // In the foreground (as a service runs it) the command follows the server until it ends,
    // the log on its output; it ends with 0 when stopped by stop or the terminate signal.
    for (const bool byStop : {true, false}) {
        int out[2];
        ASSERT_EQ(::pipe(out), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            ::dup2(out[1], 1);
            ::close(out[0]);
            ::execl(FRAGLANE_CLI, FRAGLANE_CLI, "--dir", game.Native().c_str(), "start", nullptr);
            ::_exit(127);
        }
        ::close(out[1]);
        std::string foreground;
        test::WaitFor([&] { return foreground.find("Server: oa_dm1") != std::string::npos; },
                      std::chrono::seconds(30),
                      [&] {
                          pollfd p{out[0], POLLIN, 0};
                          char buffer[4096];
                          if (::poll(&p, 1, 100) > 0) {
                              const ssize_t n = ::read(out[0], buffer, sizeof buffer);
                              if (n > 0)
                                  foreground.append(buffer, static_cast<size_t>(n));
                          }
                      });
        EXPECT_NE(foreground.find("Server: oa_dm1"), std::string::npos) << foreground;
        EXPECT_NE(game.Read("fraglane-server.log").find("Server: oa_dm1"), std::string::npos);
        const CliRun running = Cli(game, {"status"});
        EXPECT_EQ(running.out.rfind("running, process ", 0), 0U) << running.out;
        if (byStop)
            EXPECT_EQ(Cli(game, {"stop"}).out, "stopped\n");
        else
            ::kill(child, SIGTERM);
        int wait = 0;
        EXPECT_EQ(::waitpid(child, &wait, 0), child);
        EXPECT_TRUE(WIFEXITED(wait) && WEXITSTATUS(wait) == 0) << wait;
        EXPECT_EQ(Cli(game, {"status"}).out, "stopped\n");
        ::close(out[0]);
    }
}

// Names as the community writes them reach the real engine as written: a colour-coded bot
// name, a quoted one after an empty team, and a mod whose folder is spelled in capitals
// while the mod list holds it lower-cased (the engine's file system minds case here).
TEST(ServerCommands, ColourCodesQuotedWordsAndAModFolderInCapitalsReachTheEngine) {
    if (!test::EngineInstalled())
        GTEST_SKIP() << "openarena-server or openarena-088-data is not installed";
    test::TempDir game;
    const int port = test::ServeOpenArena(game);
    game.MakeDir("WFA");
    std::filesystem::create_symlink(std::string(test::OpenArena) + "/pak6-misc.pk3",
                                    game.Path("WFA/wfa.pk3"));
    {
        platform::ProfileFile ini(game.Program() + "fraglane.ini");
        ini.WriteString("mods", "selected", "wfa");
        ini.WriteString("mods", "count", "2");
        ini.WriteString("mods", "mod1", "wfa");
        ini.WriteString("bots", "selectedcount", "2");
        ini.WriteString("bots", "selected0", "addbot sarge 4 red 0 ^1Sarge");
        ini.WriteString("bots", "selected1", "addbot sarge 3 \"\" 0 \"Big Sarge\"");
        ini.WriteString("exec", "cfgname", "fraglane_wfa.cfg");
    }
    ASSERT_EQ(Cli(game, {"save-cfg"}).status, 0);
    ASSERT_TRUE(game.Exists("WFA/fraglane_wfa.cfg"));
    const CliRun started = Cli(game, {"start", "--detach"});
    ASSERT_EQ(started.status, 0) << started.err;
    std::string log;
    EXPECT_TRUE(test::WaitFor(
        [&] {
            log = game.Read("fraglane-server.log");
            return log.find("Big Sarge^7 entered the game") != std::string::npos &&
                   log.find("^1Sarge^7 entered the game") != std::string::npos;
        },
        std::chrono::seconds(30)))
        << log;
    EXPECT_NE(log.find("execing fraglane_wfa.cfg"), std::string::npos) << log;
    const auto answer = server::QueryStatus(static_cast<uint16_t>(port), 1000);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->players, 2);
    EXPECT_EQ(Cli(game, {"stop"}).out, "stopped\n");
}

}  // namespace
}  // namespace fraglane

namespace fraglane {
namespace {

// On OpenArena's own archives, which keep each bot's icon apart from its character file and
// hold later copies of maps in patch archives: the bots get their icons, and the repack of
// aggressor names the copy that the game loads.
TEST(OpenArenaContent, BotIconsFromOtherArchivesAndTheCopyTheGameLoads) {
    test::GameDir game;
    if (!game.LinkOpenArena())
        GTEST_SKIP() << "openarena-088-data is not installed";
    std::ostringstream out, err;
    ASSERT_EQ(cli::RunCli({"--dir", game.Native(), "rescan-mods"}, out, err), 0) << err.str();
    ASSERT_EQ(cli::RunCli({"--dir", game.Native(), "scan"}, out, err), 0) << err.str();
    int icons = 0;
    for (const auto& e : std::filesystem::directory_iterator(game.Path("levelshots")))
        icons += e.path().filename().string().rfind("bot_", 0) == 0 ? 1 : 0;
    EXPECT_EQ(icons, 15);  // of 24 bots: the others have no icon_default of their name
    std::ostringstream report;
    ASSERT_EQ(cli::RunCli({"--dir", game.Native(), "repack", "aggressor@baseq3"}, out, report), 0)
        << report.str();
    EXPECT_NE(report.str().find("maps/aggressor.bsp: a different copy in pak6-patch088.pk3 is "
                                "the one the game loads\n"),
              std::string::npos)
        << report.str();
}

}  // namespace
}  // namespace fraglane
