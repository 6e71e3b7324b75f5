// The server's supervisor and watcher on a fake clock, with scripts standing in for the
// engine (a python3 one binds a port of its own and answers the status query).
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <sstream>
#include <thread>

#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "server/engine.h"
#include "server/supervisor.h"
#include "support/temp_dir.h"

namespace fraglane::server {
namespace {

using Clock = Supervisor::Clock;
using Kind = SupervisorEvent::Kind;
using namespace std::chrono_literals;

class SupervisorTest : public ::testing::Test {
protected:
    test::TempDir game;
    Clock::time_point now = Clock::now();
    std::vector<SupervisorEvent> seen;

    void SetUp() override {
        if (!platform::StartsEngineItself())
            GTEST_SKIP() << "start opens the batch file through the shell here";
    }
    std::string Engine(const std::string& body) {
        game.Write("engine", "#!/bin/sh\n" + body + "\n");
        std::filesystem::permissions(game.Path("engine"), std::filesystem::perms::owner_all);
        return game.Path("engine");
    }
    static std::string Socket(uint16_t port) {
        return "echo 'Opening IP socket: 127.0.0.1:" + std::to_string(port) + "'; echo Hitch";
    }
    // An engine that binds a loopback port of its own, says so, and answers the status query
    // with the challenge sent, while no file "silent" lies in the game directory.
    std::string AnsweringEngine() {
        game.Write("engine",
                   "#!/usr/bin/env python3\n"
                   "import os, socket, sys\n"
                   "s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)\n"
                   "s.bind(('127.0.0.1', 0))\n"
                   "print('Opening IP socket: 127.0.0.1:%d' % s.getsockname()[1])\n"
                   "print('Hitch')\n"
                   "sys.stdout.flush()\n"
                   "ask = b'\\xff\\xff\\xff\\xffgetstatus '\n"
                   "while True:\n"
                   "    q, a = s.recvfrom(2048)\n"
                   "    if os.path.exists('silent') or not q.startswith(ask):\n"
                   "        continue\n"
                   "    c = q[len(ask):].split(b'\\n')[0]\n"
                   "    s.sendto(b'\\xff\\xff\\xff\\xffstatusResponse\\n\\\\mapname\\\\oa_dm1'\n"
                   "             b'\\\\challenge\\\\' + c + b'\\n0 0 \"Sarge\"\\n', a)\n");
        std::filesystem::permissions(game.Path("engine"), std::filesystem::perms::owner_all);
        return game.Path("engine");
    }
    // Ticks on, a quarter second of the fake clock at each, until an event of this kind came
    // (true) or ten real seconds passed.
    bool TickUntil(Supervisor& s, Kind kind, std::chrono::milliseconds step = 250ms) {
        const auto until = std::chrono::steady_clock::now() + 10s;
        while (std::chrono::steady_clock::now() < until) {
            now += step;
            bool found = false;
            for (SupervisorEvent& e : s.Tick(now)) {
                found = found || e.kind == kind;
                seen.push_back(std::move(e));
            }
            if (found)
                return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }
    // Ticks a number of times, a step of the fake clock and a moment of real time each.
    void Run(Supervisor& s, int ticks, std::chrono::milliseconds step) {
        for (int i = 0; i < ticks; ++i) {
            now += step;
            for (SupervisorEvent& e : s.Tick(now))
                seen.push_back(std::move(e));
            std::this_thread::sleep_for(20ms);
        }
    }
    std::string Seen(Kind kind) const {
        std::string texts;
        for (const SupervisorEvent& e : seen)
            texts += e.kind == kind ? e.text + "\n" : "";
        return texts;
    }
    Supervisor New() { return Supervisor(game.Program(), FRAGLANE_CLI); }
    static WatcherOptions Quick(bool restart = false) { return {300ms, restart}; }
};

TEST_F(SupervisorTest, AStartIsProvenByItsAnswerSilenceClearsTheStatusAndStopIsNoCrash) {
    const std::string engine = AnsweringEngine();
    Supervisor s = New();
    s.Start({engine, "+set", "net_port", "27999"}, Quick(), now);
    EXPECT_EQ(s.StatusLine().rfind("starting, process ", 0), 0U);
    ASSERT_TRUE(TickUntil(s, Kind::Started)) << s.StatusLine();
    const uint16_t port = LoggedSocket(game.Program())->port;
    EXPECT_NE(s.StatusLine().find(", port " + std::to_string(port) + ", map oa_dm1, 1 player"),
              std::string::npos)
        << s.StatusLine();
    // The port it was told was taken: said once, at start.
    EXPECT_NE(Seen(Kind::PortTaken).find("port 27999 is taken"), std::string::npos);
    // A second start while it runs is refused, and a second supervisor finds it.
    EXPECT_THROW(New().Start({engine}, Quick(), now), Error);
    Supervisor other = New();
    other.Tick(now);
    EXPECT_EQ(other.running(), s.running());

    game.Write("silent", "");
    Run(s, 30, 250ms);
    EXPECT_NE(s.StatusLine().find(", no answer since "), std::string::npos) << s.StatusLine();
    EXPECT_EQ(s.StatusLine().find("map oa_dm1"), std::string::npos);

    s.Stop(now);
    ASSERT_TRUE(TickUntil(s, Kind::Ended));
    EXPECT_EQ(s.StatusLine(), "stopped");
    EXPECT_FALSE(IsCrash(*s.lastEnd()));
    EXPECT_FALSE(game.Exists(PidFileName));
}

TEST_F(SupervisorTest, ACrashIsToldFromAStopAndRestartedWhenAsked) {
    // The first run crashes; the next runs on.
    const std::string engine = Engine(
        "if [ ! -e crashed ]; then touch crashed; echo going; sleep 0.3; kill -SEGV $$; fi\n"
        "exec sleep 60");
    for (const bool restart : {false, true}) {
        SCOPED_TRACE(restart);
        std::filesystem::remove(game.Path("crashed"));
        seen.clear();
        Supervisor s = New();
        s.Start({engine, "+map", "m"}, Quick(restart), now);
        if (!restart) {
            ASSERT_TRUE(TickUntil(s, Kind::Ended));
            EXPECT_EQ(Seen(Kind::Ended).rfind("crashed (signal 11) at ", 0), 0U)
                << Seen(Kind::Ended);
            EXPECT_TRUE(IsCrash(*s.lastEnd()));
            EXPECT_EQ(LastEnd(game.Program())->kind, ServerEnd::Kind::Signalled);
            continue;
        }
        ASSERT_TRUE(TickUntil(s, Kind::Restarting)) << s.StatusLine();
        EXPECT_NE(Seen(Kind::Restarting).find("crashed (signal 11) at "), std::string::npos);
        EXPECT_NE(Seen(Kind::Restarting).find("; restarting in 1 s"), std::string::npos);
        const int64_t first = s.running()->enginePid;
        const auto until = std::chrono::steady_clock::now() + 10s;
        while (s.running() && s.running()->enginePid == first &&
               std::chrono::steady_clock::now() < until)
            Run(s, 1, 100ms);
        ASSERT_TRUE(s.running());
        EXPECT_NE(s.running()->enginePid, first);
        s.Stop(now);
        ASSERT_TRUE(TickUntil(s, Kind::Ended));
        EXPECT_EQ(s.StatusLine(), "stopped");
    }
    // The crashed run's log is kept, dated, beside the current one.
    EXPECT_NE(game.Listing().find(DatedLogPrefix), std::string::npos) << game.Listing();
}

TEST_F(SupervisorTest, AServerDeafToTerminateIsKilledAfterTheGraceWithWhatItLeft) {
    // The engine daemonizes: its helper leaves the group and the session, and the engine
    // itself exits 0 at once. The server still runs, and a stop ends it all.
    const std::string engine = Engine(
        "setsid sh -c 'trap \"\" TERM; echo $$ > daemon.pid; while :; do sleep 1; done' "
        "</dev/null >/dev/null 2>&1 &\nexit 0");
    Supervisor s = New();
    s.Start({engine, "+map", "m"}, Quick(), now);
    const auto until = std::chrono::steady_clock::now() + 5s;
    while (game.Read("daemon.pid").empty() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(20ms);
    const int64_t daemon = std::stoll("0" + game.Read("daemon.pid"));
    ASSERT_GT(daemon, 0);
    Run(s, 10, 100ms);
    EXPECT_TRUE(s.running()) << Seen(Kind::Ended);
    s.Stop(now);
    ASSERT_TRUE(TickUntil(s, Kind::Ended));
    EXPECT_EQ(s.StatusLine(), "stopped");
    EXPECT_FALSE(platform::RecordOf(daemon));
}

TEST_F(SupervisorTest, AStartWhileStoppingFollowsTheStop) {
    const std::string engine = AnsweringEngine();
    Supervisor s = New();
    s.Start({engine, "+map", "m"}, Quick(), now);
    ASSERT_TRUE(TickUntil(s, Kind::Started));
    const int64_t first = s.running()->enginePid;
    s.Stop(now);
    s.Restart({engine, "+map", "m"}, Quick(), now);
    ASSERT_TRUE(TickUntil(s, Kind::Ended));
    ASSERT_TRUE(s.running());
    EXPECT_NE(s.running()->enginePid, first);
    ASSERT_TRUE(TickUntil(s, Kind::Started));
    s.Stop(now);
    ASSERT_TRUE(TickUntil(s, Kind::Ended));
}

TEST_F(SupervisorTest, AStartThatFailsInsideTheEngineIsAFailedStartWithItsReason) {
    const struct {
        std::string body;
        std::string reason;
        std::chrono::milliseconds step;
    } cases[] = {
        {"echo '********************'; echo 'ERROR: Can'\\''t find map maps/nosuchmap.bsp'; "
         "echo '********************'; exec sleep 60",
         "Can't find map maps/nosuchmap.bsp", 250ms},
        {"exec sleep 60", "the server loaded no map within 30 seconds", 5s},
        {Socket(9) + "; exec sleep 60", "the port its log names (9) is not the server's", 5s},
        {"echo bye; sleep 0.3; exit 3", "The server ended before it ran: crashed (exit 3)", 250ms},
    };
    for (const auto& c : cases) {
        seen.clear();
        Supervisor s = New();
        s.Start({Engine(c.body), "+map", "m"}, Quick(), now);
        ASSERT_TRUE(TickUntil(s, Kind::StartFailed, c.step)) << c.reason;
        EXPECT_NE(Seen(Kind::StartFailed).find(c.reason), std::string::npos)
            << Seen(Kind::StartFailed);
        ASSERT_TRUE(!Seen(Kind::Ended).empty() || TickUntil(s, Kind::Ended)) << c.reason;
        EXPECT_FALSE(s.running());
    }
}

TEST_F(SupervisorTest, APidFileNamingAnyOtherProcessIsNoServer) {
    const platform::ProcessRecord self = *platform::OwnRecord();
    ServerRecord planted{self, 27960, self.pid, 0, platform::OwnProgramPath()};
    for (const std::string& program : {planted.program, std::string(FRAGLANE_CLI)}) {
        planted.program = program;
        WriteRecord(game.Program(), planted);
        EXPECT_EQ(RunningServer(game.Program()), std::nullopt) << program;
        Supervisor s = New();
        s.Tick(now);
        s.Stop(now);
        EXPECT_FALSE(s.running());
    }
    EXPECT_TRUE(platform::IsAlive(self));
    for (const std::string& text :
         {std::string("garbage"), std::string(100000, '7'), RecordText(planted).substr(0, 40)}) {
        game.Write(PidFileName, text);
        EXPECT_EQ(RunningServer(game.Program()), std::nullopt);
    }
}

// The engine runs only once its record is written: a start killed at any moment leaves no
// engine, or one that the game directory records and a stop ends.
TEST_F(SupervisorTest, AStartKilledAtAnyMomentLeavesNoEngineUnrecorded) {
    const std::string engine = Engine("echo $$ >> engines\nexec sleep 60");
    game.Write("fraglane.ini", "[maps]\r\nselected=m\r\n[advanced]\r\nengine=" + engine + "\r\n");
    for (int delay = 0; delay < 60; delay += 4) {
        const pid_t cli = ::fork();
        if (cli == 0) {
            const std::string outPath = game.Path("cli.out");
            const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
            ::dup2(out, 1);
            ::dup2(out, 2);
            ::execl(FRAGLANE_CLI, FRAGLANE_CLI, "--dir", game.Native().c_str(), "start", "--detach",
                    nullptr);
            ::_exit(127);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(delay));
        ::kill(cli, SIGKILL);
        ::waitpid(cli, nullptr, 0);
        std::this_thread::sleep_for(300ms);  // a watcher that outlived it settles
        const std::optional<ServerRecord> recorded = RunningServer(game.Program());
        std::istringstream engines(game.Exists("engines") ? game.Read("engines") : "");
        for (int64_t pid = 0; engines >> pid;) {
            if (platform::RecordOf(pid)) {
                EXPECT_TRUE(recorded && recorded->enginePid == pid) << "after " << delay << " ms";
            }
        }
        Supervisor s = New();
        s.Tick(now);
        s.Stop(now);
        if (s.running()) {
            EXPECT_TRUE(TickUntil(s, Kind::Ended));
        }
    }
}

// One server per game directory by identity: another spelling of the folder finds it, and so
// does a look after its pid file is gone; a link at the log's name shows nothing.
TEST_F(SupervisorTest, AServerIsFoundHoweverItsFolderIsSpelledAndWithoutItsPidFile) {
    const std::string engine = AnsweringEngine();
    Supervisor s = New();
    s.Start({engine, "+map", "m"}, Quick(), now);
    ASSERT_TRUE(TickUntil(s, Kind::Started));
    const std::string link = game.Native().substr(0, game.Native().size() - 1) + "-link";
    std::filesystem::create_symlink(game.Native(), link);
    const std::string other = platform::FromNative(link) + "\\";
    for (const std::string& spelled : {other, game.Program() + ".\\"}) {
        EXPECT_THROW(Supervisor(spelled, FRAGLANE_CLI).Start({engine}, Quick(), now), Error);
        EXPECT_EQ(RunningServer(spelled)->watcher, s.running()->watcher) << spelled;
    }
    std::filesystem::remove(game.Path(PidFileName));
    ASSERT_TRUE(RunningServer(game.Program()));
    EXPECT_EQ(RunningServer(game.Program())->watcher, s.running()->watcher);
    EXPECT_THROW(New().Start({engine}, Quick(), now), Error);

    game.Write("secret", "not the log\n");
    std::filesystem::rename(game.Path(LogFileName), game.Path("kept.log"));
    std::filesystem::create_symlink(game.Path("secret"), game.Path(LogFileName));
    EXPECT_TRUE(LogTail(game.Program(), 10).empty());
    EXPECT_TRUE(LogFollower(game.Program(), 10).Read().lines.empty());

    Supervisor finder = New();
    finder.Tick(now);
    finder.Stop(now);
    ASSERT_TRUE(TickUntil(finder, Kind::Ended));
    // Its watcher leaves once it has told the end (slower under the sanitizers).
    const platform::ProcessRecord watcher = s.running()->watcher;
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (platform::IsAlive(watcher) && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(platform::IsAlive(watcher));
    EXPECT_FALSE(RunningServer(game.Program()));
    std::filesystem::remove(link);
}

// The ten newest dated logs stay, in the order of their date and attempt; other names stay.
TEST_F(SupervisorTest, PruningKeepsTheNewestDatedLogsAndNothingElseGoes) {
    std::vector<std::string> names = {"fraglane-server-notes.log", "fraglane-server-2026.log"};
    for (int i = 0; i < 6; ++i) {
        const std::string stamp = "fraglane-server-2026120" + std::to_string(i) + "-101010";
        names.push_back(stamp + ".log");
        names.push_back(stamp + "-1.log");
    }
    for (const std::string& name : names)
        game.Write(name, name);
    PruneLogs(game.Program());
    for (const char* gone :
         {"fraglane-server-20261200-101010.log", "fraglane-server-20261200-101010-1.log"})
        EXPECT_FALSE(game.Exists(gone)) << gone;
    for (size_t i = 4; i < names.size(); ++i)
        EXPECT_TRUE(game.Exists(names[i])) << names[i];
    EXPECT_TRUE(game.Exists(names[0]) && game.Exists(names[1]));
    ServerEnd gaveUp;
    gaveUp.kind = ServerEnd::Kind::Signalled;
    gaveUp.code = 11;
    gaveUp.gaveUp = true;
    EXPECT_NE(EndLine(gaveUp).find("; crashed 5 times in 10 minutes, not restarted"),
              std::string::npos);
}

TEST_F(SupervisorTest, AnEngineThatCannotRunIsSaidAndOlderLogsStay) {
    game.Write("plain", "x");
    game.Write(LogFileName, "the last run");
    try {
        New().Start({game.Path("plain"), "+map", "m"}, Quick(), now);
        ADD_FAILURE() << "started";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "cannot run " + game.Path("plain") + ": Permission denied");
    }
    EXPECT_FALSE(game.Exists(PidFileName));
    EXPECT_NE(game.Listing().find(DatedLogPrefix), std::string::npos);  // kept, dated
    // A line that loads no map is refused before anything runs.
    const std::string engine = Engine("exit 0");
    try {
        EngineWords(engine, "quake3.exe +set dedicated 1 +map", game.Program());
        ADD_FAILURE() << "no map taken";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "no map selected");
    }
    EXPECT_NO_THROW(EngineWords(engine, "quake3.exe +map oa_dm1", game.Program()));
}

}  // namespace
}  // namespace fraglane::server
