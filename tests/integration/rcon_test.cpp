// The status query, rcon and the facts read from the log, against Debian's real dedicated
// server on the loopback, serving OpenArena's archives.
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <thread>

#include "platform/text.h"
#include "server/query.h"
#include "support/served_game.h"
#include "support/temp_dir.h"

namespace fraglane {
namespace {

using std::chrono::seconds;

// The engine on the game directory's baseoa/, on the loopback, its masters cleared and its
// home inside the directory; its console gathered; killed at the end.
class EngineRun {
public:
    EngineRun(const test::TempDir& game, int port, const std::vector<std::string>& more) {
        std::string base = game.Native();
        base.pop_back();
        std::vector<std::string> args = {test::Engine,
                                         "+set",
                                         "com_basegame",
                                         "baseoa",
                                         "+set",
                                         "fs_basepath",
                                         base,
                                         "+set",
                                         "fs_homepath",
                                         game.Path("home"),
                                         "+set",
                                         "net_ip",
                                         "127.0.0.1",
                                         "+set",
                                         "net_port",
                                         std::to_string(port),
                                         "+set",
                                         "vm_game",
                                         "0"};
        for (int i = 1; i <= 5; ++i)
            args.insert(args.end(), {"+set", "sv_master" + std::to_string(i), ""});
        args.insert(args.end(), more.begin(), more.end());
        int out[2];
        if (::pipe(out) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(out[1], 1);
            ::dup2(out[1], 2);
            ::close(out[0]);
            std::vector<char*> argv;
            for (std::string& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(test::Engine, argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        m_out = out[0];
    }
    ~EngineRun() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_out >= 0)
            ::close(m_out);
        if (::testing::Test::HasFailure() || std::getenv("FRAGLANE_SHOW_SERVER_LOG"))
            std::cout << m_log;
    }

    // Reads the console until it holds marker, it ends, or the limit passes.
    bool WaitForLog(std::string_view marker, seconds limit) {
        return test::WaitFor([&] { return m_log.find(marker) != std::string::npos; }, limit,
                             [&] { Read(100); });
    }
    void Read(int timeoutMs) {
        pollfd p{m_out, POLLIN, 0};
        if (m_out < 0 || ::poll(&p, 1, timeoutMs) <= 0)
            return;
        char buffer[4096];
        const ssize_t n = ::read(m_out, buffer, sizeof buffer);
        if (n > 0)
            m_log.append(buffer, static_cast<size_t>(n));
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));  // ended
    }
    const std::string& Log() const { return m_log; }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    std::string m_log;
};

std::vector<std::string> FailuresIn(const std::string& log) {
    std::vector<std::string> failures;
    text::ForEachLine(log, [&](std::string_view line, std::string_view) {
        if (std::optional<std::string> failure = server::StartFailureOf(line))
            failures.push_back(*failure);
    });
    return failures;
}

// The port asked for is taken, so the engine binds the next one: the log names it, and there
// the server answers the status query and rcon.
TEST(RealEngine, AnswersStatusAndRconOnThePortItsLogNames) {
    if (!test::EngineInstalled())
        GTEST_SKIP() << "openarena-server or openarena-088-data is not installed";
    test::TempDir game;
    const int taken = test::ServeOpenArena(game);
    const int holder = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(taken));
    ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);

    const std::string password = "Rc0n-test-pw";
    EngineRun engine(game, taken,
                     {"+set", "rconpassword", password, "+set", "sv_hostname", "^1Frag^7Lane",
                      "+map", "oa_dm1", "+addbot", "sarge", "3"});
    ASSERT_TRUE(engine.WaitForLog("Server: oa_dm1", seconds(30)));
    ::close(holder);
    const std::optional<server::BoundSocket> bound = server::BoundSocketOfLog(engine.Log());
    ASSERT_TRUE(bound);
    EXPECT_EQ(bound->address, "127.0.0.1");
    EXPECT_GT(bound->port, taken);
    EXPECT_TRUE(server::AnswersOnLoopback(*bound));
    EXPECT_NE(engine.Log().find("Opening IP socket: 127.0.0.1:" + std::to_string(taken)),
              std::string::npos);

    std::optional<server::ServerStatus> status;
    EXPECT_TRUE(test::WaitFor(
        [&] {
            engine.Read(0);
            status = server::QueryStatus(bound->port, 500);
            return status && status->players == 1;
        },
        seconds(30)));
    ASSERT_TRUE(status);
    EXPECT_EQ(status->map, "oa_dm1");
    EXPECT_EQ(status->hostname, "FragLane");

    const server::RconAnswer table = server::Rcon(bound->port, password, "status", 3000);
    EXPECT_TRUE(table.answered);
    EXPECT_NE(table.text.find("map: oa_dm1\ncl score ping name"), std::string::npos) << table.text;
    EXPECT_NE(table.text.find(" Sarge "), std::string::npos) << table.text;

    // The engine prints the password back when asked for it; the answer hides it. cvarlist's
    // answer comes in many datagrams.
    for (const char* command : {"rconpassword", "cvarlist"}) {
        const server::RconAnswer answer = server::Rcon(bound->port, password, command, 3000);
        EXPECT_TRUE(answer.answered) << command;
        EXPECT_EQ(answer.text.find(password), std::string::npos) << answer.text;
        EXPECT_NE(answer.text.find("********"), std::string::npos) << answer.text;
    }
    const server::RconAnswer all = server::Rcon(bound->port, password, "cvarlist", 3000);
    EXPECT_GT(all.text.size(), 4000U);
    EXPECT_NE(all.text.find(" total cvars"), std::string::npos) << all.text;

    const server::RconAnswer refused = server::Rcon(bound->port, "not-the-pw", "status", 3000);
    EXPECT_TRUE(refused.answered);
    EXPECT_EQ(refused.text, "Bad rconpassword.\n");
    engine.Read(200);
    EXPECT_EQ(engine.Log().find(password), std::string::npos)
        << "the engine's own log keeps it out too";
}

// A missing map and a game module that will not load: the engine's own words for them.
TEST(RealEngine, TheLogGivesTheEnginesReasonForAFailedStart) {
    if (!test::EngineInstalled())
        GTEST_SKIP() << "openarena-server or openarena-088-data is not installed";
    test::TempDir game;
    const int port = test::ServeOpenArena(game);
    {
        EngineRun engine(game, port, {"+map", "nosuchmap"});
        ASSERT_TRUE(engine.WaitForLog("Can't find map", seconds(30)));
        engine.Read(200);
        EXPECT_EQ(FailuresIn(engine.Log()),
                  std::vector<std::string>{"Can't find map maps/nosuchmap.bsp"});
        EXPECT_EQ(server::BoundSocketOfLog(engine.Log()),
                  (server::BoundSocket{"127.0.0.1", static_cast<uint16_t>(port)}));
    }
    // Without the native module the engine finds only OpenArena's stand-in qagame.qvm.
    std::filesystem::remove(game.Path("baseoa/qagamex86_64.so"));
    EngineRun engine(game, test::FreePort(), {"+map", "oa_dm1"});
    ASSERT_TRUE(engine.WaitForLog("VM_Create on game failed\n", seconds(30)));
    const std::vector<std::string> failures = FailuresIn(engine.Log());
    ASSERT_FALSE(failures.empty());
    EXPECT_EQ(failures.front(), "VM_Create on game failed");
}

}  // namespace
}  // namespace fraglane
