// The status query and its challenge, the server's text made safe, rcon's bytes and answers,
// and what the engine's log lines say; the exchanges against a stand-in on the loopback.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/error.h"
#include "server/query.h"

#ifndef _WIN32
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace fraglane::server {
namespace {

const std::string Head = "\xff\xff\xff\xffstatusResponse\n";
const std::string Rtl = "\xE2\x80\xAE";  // U+202E RIGHT-TO-LEFT OVERRIDE

TEST(StatusAnswer, CountsOnlyTheAnswerToTheChallengeSent) {
    // The first row is ioq3ded's own answer (Debian's 1.36), the info string shortened.
    const struct {
        std::string answer;
        const char* challenge;
        std::optional<ServerStatus> status;
    } cases[] = {
        {Head + "\\challenge\\abc123\\sv_hostname\\^1Red^^7 Host\\g_gametype\\0\\mapname\\oa_dm1"
                "\\gamename\\baseoa\n0 0 \"Sarge\"\n",
         "abc123", ServerStatus{"oa_dm1", "Red^ Host", 1}},
        {Head + "\\challenge\\abc124\\mapname\\oa_dm1\n", "abc123", std::nullopt},
        {Head + "\\mapname\\oa_dm1\\CHALLENGE\\ABC123\n", "abc123", std::nullopt},
        {Head + "\\challenge\\abc123\\mapname\\x\\challenge\\other\n", "abc123", std::nullopt},
        // Without the key (the engine had no room left for it in the server info).
        {Head + "\\mapname\\oa_dm2\n3 50 \"a\"\n1 20 \"b\"\n", "abc123",
         ServerStatus{"oa_dm2", "", 2}},
        {Head + "\\challenge\\abc123\\sv_hostname\\Evil" + Rtl + "Host\\mapname\\m\x01\n", "abc123",
         ServerStatus{"m\\x01", "Evil\\u202EHost", 0}},
        {Head, "abc123", ServerStatus{}},
        {"\xff\xff\xff\xffinfoResponse\n\\challenge\\abc123\\mapname\\m\n", "abc123", std::nullopt},
        {"", "abc123", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        const std::optional<ServerStatus> status = ParseStatusAnswer(c.answer, c.challenge);
        ASSERT_EQ(status.has_value(), c.status.has_value());
        if (status) {
            EXPECT_EQ(status->map, c.status->map);
            EXPECT_EQ(status->hostname, c.status->hostname);
            EXPECT_EQ(status->players, c.status->players);
        }
    }
}

TEST(StatusQuery, AsksWithAFreshChallengeOfOneWord) {
    EXPECT_EQ(StatusQuery("0f3a"), "\xff\xff\xff\xffgetstatus 0f3a\n");
    const std::string a = NewChallenge(), b = NewChallenge();
    EXPECT_EQ(a.size(), 16U);
    EXPECT_EQ(a.find_first_not_of("0123456789abcdef"), std::string::npos) << a;
    EXPECT_NE(a, b);
    const std::string bad[] = {"", "a b", "a\\b", "a;b", "a\"b", std::string(129, 'a')};
    for (const std::string& challenge : bad)
        EXPECT_THROW(StatusQuery(challenge), Error) << challenge;
}

TEST(DisplayText, DropsColourCodesAndShowsControlsAndBrokenBytes) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"^1Big ^7Sarge^", "Big Sarge^"},
        {"^^1a ^^^2b", "^a ^^b"},  // as Q_IsColorString reads left to right
        {"^!^ ^\xC3\xA9", "^!^ ^\xC3\xA9"},
        {"a\x1b[2Jb\x7F\tc", "a\\x1B[2Jb\\x7F\\x09c"},
        {"line\nbreak\r", "line\\x0Abreak\\x0D"},
        {"x" + Rtl + "y\xE2\x81\xA6z\xD8\x9C\xE2\x80\x8F\xE2\x80\xA8\xC2\x85",
         "x\\u202Ey\\u2066z\\u061C\\u200F\\u2028\\u0085"},
        {"Caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x8E\xAE", "Caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x8E\xAE"},
        {"\x80 \xC0\xAF \xED\xA0\x80 \xE2\x80 \xF5\x80\x80\x80 \xFF",
         "\\x80 \\xC0\\xAF \\xED\\xA0\\x80 \\xE2\\x80 \\xF5\\x80\\x80\\x80 \\xFF"},
        {std::string("a\0b", 3), "a\\x00b"},
        {std::string(4096, 'a'), std::string(4096, 'a')},
        {std::string(5000, 'a'), std::string(4093, 'a') + "\xE2\x80\xA6"},
        {std::string(4095, 'a') + "\x01", std::string(4093, 'a') + "\xE2\x80\xA6"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in.substr(0, 40));
        EXPECT_EQ(DisplayText(c.in), c.out);
    }
    // Escapes are cut whole.
    const std::string escapes = DisplayText(std::string(3000, '\x01'));
    EXPECT_LE(escapes.size(), 4096U);
    EXPECT_EQ(escapes.substr(escapes.size() - 7), "\\x01\xE2\x80\xA6");
}

TEST(Rcon, PasswordProblemsSayWhatToSetAndNeverThePassword) {
    const struct {
        std::string password;
        const char* problem;  // a part of it; "" for none
    } cases[] = {
        {"", "no rcon password: set rconpassword on the game options page (at least 8"},
        {"*", "no rcon password (\"*\" is the placeholder)"},
        {"my secret", "holds a blank"},
        {"\"quoted\"", "holds a quote"},
        {"tab\there", "holds a blank"},
        {"bell\x07pw", "control byte"},
        {"50%off!x", "reads as \".\""},
        {"p\xC3\xA4sswort", "reads as \".\""},
        {"pass//word", "comment"},
        {"pass/*word", "comment"},
        {"pass;word", "config line"},
        {"s3cr3t-Pa$$", ""},
        {"^1colour^7pw", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.password);
        const std::string problem = RconPasswordProblem(c.password);
        EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
        EXPECT_EQ(problem.empty(), *c.problem == '\0') << problem;
        if (c.password.size() > 1) {
            EXPECT_EQ(problem.find(c.password), std::string::npos);
        }
        try {
            const std::string request = RconRequest(c.password, "status");
            EXPECT_EQ(request, "\xff\xff\xff\xffrcon " + c.password + " status");
        } catch (const Error& e) {
            EXPECT_EQ(e.what(), problem);
        }
    }
}

TEST(Rcon, TheCommandIsOneLineThatTheEngineRunsAsWritten) {
    const std::string password = "hunter22";
    EXPECT_EQ(RconRequest(password, "kick \"^1Big Sarge\""),
              "\xff\xff\xff\xffrcon hunter22 kick \"^1Big Sarge\"");
    const std::string refused[] = {"status\nquit", "status\r",        "say \x1b[2J",
                                   "say 100%",     "map caf\xC3\xA9", std::string(1024, 'a')};
    for (const std::string& command : refused) {
        SCOPED_TRACE(command.substr(0, 20));
        try {
            RconRequest(password, command);
            ADD_FAILURE() << "not refused";
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()).find(password), std::string::npos) << e.what();
        }
    }
    EXPECT_NO_THROW(RconRequest(password, std::string(1023 - 14, 'a')));
}

TEST(EngineLog, TheSocketOpenedAndTheEnginesOwnReasonForAFailedStart) {
    const struct {
        std::string line;
        std::optional<BoundSocket> socket;
        std::optional<std::string> failure;
    } cases[] = {
        // Lines of Debian's ioq3ded 1.36.
        {"Opening IP socket: 127.0.0.1:27961", BoundSocket{"127.0.0.1", 27961}, {}},
        {"Opening IP socket: 0.0.0.0:27960\r", BoundSocket{"0.0.0.0", 27960}, {}},
        {"Opening IP6 socket: [::]:27960", BoundSocket{"::", 27960}, {}},
        {"Opening IP6 socket: fe80::1%eth0:27960", BoundSocket{"fe80::1%eth0", 27960}, {}},
        {"Can't find map maps/nosuchmap.bsp", {}, "Can't find map maps/nosuchmap.bsp"},
        {"ERROR: CM_LoadMap: maps/bad.bsp has wrong version number (1196275970 should be 46)",
         {},
         "CM_LoadMap: maps/bad.bsp has wrong version number (1196275970 should be 46)"},
        {"----- Server Shutdown (Server fatal crashed: VM_Create on game failed) -----",
         {},
         "VM_Create on game failed"},
        {"----- Server Shutdown (Server crashed: Couldn't load ^1x" + Rtl + ") -----",
         {},
         "Couldn't load x\\u202E"},
        {"VM_Create on game failed", {}, "VM_Create on game failed"},
        {"WARNING: Couldn't bind to a v4 ip address.", {}, "Couldn't bind to a v4 ip address."},
        {"----- Server Shutdown (Received signal 15) -----", {}, {}},
        {"ERROR: too many bevels", {}, {}},
        {"ERROR: scripts/x.shader, line 12: unexpected end of file", {}, {}},
        {"WARNING: NET_IPSocket: bind: Address already in use", {}, {}},
        {"Server: oa_dm1", {}, {}},
        // Hostile or cut off.
        {"Opening IP socket: 127.0.0.1:", {}, {}},
        {"Opening IP socket: 127.0.0.1:70000", {}, {}},
        {"Opening IP socket: 127.0.0.1:0", {}, {}},
        {"Opening IP socket: 127.0.0.1:27960x", {}, {}},
        {"Opening IP socket: :27960", {}, {}},
        {"Opening IP socket: a b:27960", {}, {}},
        {"Opening IP socket: 127.0.0.1", {}, {}},
        {"Opening IP", {}, {}},
        {"ERROR: ", {}, {}},
        {"ERROR: " + std::string(5000, 'x'), {}, std::string(4093, 'x') + "\xE2\x80\xA6"},
        {"Can't find map \x1b]0;owned\x07", {}, "Can't find map \\x1B]0;owned\\x07"},
        {"----- Server Shutdown (Server crashed: x", {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line.substr(0, 60));
        EXPECT_EQ(BoundSocketOf(c.line), c.socket);
        EXPECT_EQ(StartFailureOf(c.line), c.failure);
    }
}

TEST(EngineLog, ThePortBoundIsTheLastOneOpenedWithoutABindWarning) {
    // ioq3ded with net_port 27990 and 27990, 27991 held by others; then a run with no port.
    const std::string moved =
        "IP: 127.0.0.1\nIP6: ::1\nOpening IP6 socket: [::]:27960\n"
        "Opening IP socket: 127.0.0.1:27990\nWARNING: NET_IPSocket: bind: Address already in "
        "use\nOpening IP socket: 127.0.0.1:27991\nWARNING: NET_IPSocket: bind: Address already "
        "in use\nOpening IP socket: 127.0.0.1:27992\n------ Server Initialization ------\n";
    EXPECT_EQ(BoundSocketOfLog(moved), (BoundSocket{"127.0.0.1", 27992}));
    const std::string none =
        "Opening IP socket: 127.0.0.1:27998\nWARNING: NET_IPSocket: bind: Address already in "
        "use\nOpening IP socket: 127.0.0.1:27999\nWARNING: NET_IPSocket: bind: Address already "
        "in use\nWARNING: Couldn't bind to a v4 ip address.\n------ Server Initialization "
        "------\n";
    EXPECT_EQ(BoundSocketOfLog(none), std::nullopt);
    EXPECT_EQ(BoundSocketOfLog("Opening IP6 socket: [::]:27960\nOpening IP socket: 0.0.0.0:1\n"),
              (BoundSocket{"::", 27960}));  // the IPv4 bind not yet told
    EXPECT_EQ(BoundSocketOfLog(""), std::nullopt);

    const struct {
        const char* address;
        bool answers;
    } sockets[] = {{"127.0.0.1", true},  {"0.0.0.0", true},     {"localhost", true},
                   {"127.0.0.2", false}, {"::", false},         {"::1", false},
                   {"10.0.0.5", false},  {"127.0.0.1.x", false}};
    for (const auto& s : sockets)
        EXPECT_EQ(AnswersOnLoopback({s.address, 27960}), s.answers) << s.address;
}

#ifndef _WIN32

// A stand-in server on 127.0.0.1: every datagram it gets is answered with what reply returns,
// each after its delay.
class StandIn {
public:
    struct Datagram {
        int delayMs;
        std::string bytes;
    };
    using Reply = std::function<std::vector<Datagram>(const std::string& request)>;

    explicit StandIn(Reply reply) : m_reply(std::move(reply)) {
        m_socket = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t n = sizeof a;
        ::bind(m_socket, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&a), &n);
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~StandIn() {
        m_stop = true;
        m_thread.join();
        ::close(m_socket);
    }
    uint16_t Port() const { return m_port; }

private:
    void Serve() {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!m_stop && std::chrono::steady_clock::now() < end) {
            pollfd p{m_socket, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            char buffer[2048];
            sockaddr_in from{};
            socklen_t n = sizeof from;
            const ssize_t got = ::recvfrom(m_socket, buffer, sizeof buffer, 0,
                                           reinterpret_cast<sockaddr*>(&from), &n);
            if (got < 0)
                continue;
            for (const Datagram& d : m_reply(std::string(buffer, static_cast<size_t>(got)))) {
                std::this_thread::sleep_for(std::chrono::milliseconds(d.delayMs));
                ::sendto(m_socket, d.bytes.data(), d.bytes.size(), 0,
                         reinterpret_cast<sockaddr*>(&from), n);
            }
        }
    }

    Reply m_reply;
    int m_socket = -1;
    uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

const std::string Print = "\xff\xff\xff\xffprint\n";

TEST(LoopbackQuery, StatusTakesTheAnswerWithItsChallengeAndPassesByTheOthers) {
    StandIn server([](const std::string& request) -> std::vector<StandIn::Datagram> {
        const std::string ask = "\xff\xff\xff\xffgetstatus ";
        if (request.rfind(ask, 0) != 0 || request.back() != '\n')
            return {};
        const std::string challenge = request.substr(ask.size(), request.size() - ask.size() - 1);
        return {{0, Head + "\\challenge\\stale\\mapname\\old\n"},
                {0, Print + "not a status\n"},
                {20, Head + "\\challenge\\" + challenge + "\\mapname\\oa_dm1\n0 0 \"Sarge\"\n"}};
    });
    const std::optional<ServerStatus> status = QueryStatus(server.Port(), 2000);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->map, "oa_dm1");
    EXPECT_EQ(status->players, 1);

    StandIn stale([](const std::string&) -> std::vector<StandIn::Datagram> {
        return {{0, Head + "\\challenge\\stale\\mapname\\old\n"}};
    });
    const auto before = std::chrono::steady_clock::now();
    EXPECT_FALSE(QueryStatus(stale.Port(), 300));
    EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(290));
}

TEST(LoopbackQuery, RconJoinsTheDatagramsOfOneAnswerAndHidesThePassword) {
    const std::string password = "hunter22";
    std::mutex mutex;
    std::vector<std::string> requests;
    StandIn server([&](const std::string& request) -> std::vector<StandIn::Datagram> {
        std::lock_guard lock(mutex);
        requests.push_back(request);
        if (request.find(" status") != std::string::npos)
            return {{0, Print + "map: oa_dm1\ncl score ping na"},
                    {0, "\xff\xff\xff\xffstatusResponse\n\\x\\y\n"},
                    {50, Print + "me\n 0     0    0 ^1Sarge\n"},
                    {50, Print + "\"rconpassword\" is:\"hunter22^7\"\n"},
                    {700, Print + "after the quiet gap\n"}};
        if (request.find(" wrong") != std::string::npos)
            return {{0, Print + "Bad rconpassword.\n"}};
        return {};
    });
    const RconAnswer answer = Rcon(server.Port(), password, "status", 3000);
    EXPECT_TRUE(answer.answered);
    EXPECT_EQ(answer.text,
              "map: oa_dm1\ncl score ping name\n 0     0    0 Sarge\n\"rconpassword\" "
              "is:\"********\"\n");
    {
        std::lock_guard lock(mutex);
        ASSERT_EQ(requests.size(), 1U);
        EXPECT_EQ(requests[0], "\xff\xff\xff\xffrcon hunter22 status");
    }
    const RconAnswer refused = Rcon(server.Port(), password, "wrong", 2000);
    EXPECT_TRUE(refused.answered);
    EXPECT_EQ(refused.text, "Bad rconpassword.\n");

    const auto before = std::chrono::steady_clock::now();
    const RconAnswer silence = Rcon(server.Port(), password, "nothing", 300);
    EXPECT_FALSE(silence.answered);
    EXPECT_EQ(silence.text, "");
    EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(290));
}

TEST(LoopbackQuery, AnEndlessRconAnswerIsCutAt64KiB) {
    StandIn server([](const std::string&) {
        std::vector<StandIn::Datagram> flood(80, {0, Print + std::string(1000, 'z')});
        return flood;
    });
    const RconAnswer answer = Rcon(server.Port(), "hunter22", "cvarlist", 3000);
    EXPECT_TRUE(answer.answered);
    EXPECT_LE(answer.text.size(), size_t{64} * 1024);
    EXPECT_GT(answer.text.size(), size_t{60} * 1024);
    EXPECT_TRUE(answer.text.ends_with("z\xE2\x80\xA6"));
}

#endif

}  // namespace
}  // namespace fraglane::server
