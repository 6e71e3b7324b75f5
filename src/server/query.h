#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// What the running server is asked over the loopback (its status, an rcon command), and what
// its log lines tell about its start. The texts are ioquake3's (code/server/sv_main.c,
// code/qcommon/net_ip.c, code/qcommon/common.c); everything the server sends is made safe to
// show before it leaves this module.
namespace fraglane::server {

// What a server answers to the status query.
struct ServerStatus {
    std::string map;       // DisplayText
    std::string hostname;  // DisplayText
    int players = 0;       // bots included
};

// The server's text made safe to show on one line: colour codes dropped as the engine drops
// them (Q_IsColorString: "^" and an ASCII letter or digit; "^^" stays), control bytes as
// \xNN, Unicode bidirectional and line-separating controls as \uNNNN, bytes that are no
// UTF-8 as \xNN. At most 4 KiB; longer text is cut and ends in "…".
std::string DisplayText(std::string_view text);

// A fresh random token for one query: 16 hex digits.
std::string NewChallenge();

// "\xff\xff\xff\xffgetstatus <challenge>\n". The engine echoes the word back as the info
// string's "challenge" key (SVC_Status).
std::string StatusQuery(std::string_view challenge);
// The status answer read: nothing when the bytes are no "statusResponse", or when their
// challenge differs from the one sent. One without a challenge key is taken: the engine leaves
// the key out when the server info has no room left for it (Info_SetValueForKey, "Info
// string length exceeded").
std::optional<ServerStatus> ParseStatusAnswer(std::string_view answer, std::string_view challenge);
// Asks the server on 127.0.0.1:port with a fresh challenge and waits up to timeoutMs for its
// answer, passing by any other datagram meanwhile.
std::optional<ServerStatus> QueryStatus(uint16_t port, int timeoutMs);

// Why rcon cannot be used with this password, and what to set instead; empty when it can.
// Never holds the password.
std::string RconPasswordProblem(std::string_view password);
// "\xff\xff\xff\xffrcon <password> <command>". Throws Error (never naming the password) for
// a password with a problem, or a command the engine would not run as written: a line break
// or another control byte, "%" or a byte above 0x7F (MSG_ReadStringLine reads them as "."),
// or a line longer than the engine reads.
std::string RconRequest(std::string_view password, std::string_view command);

struct RconAnswer {
    bool answered = false;  // the server answered, if only "Bad rconpassword."
    std::string text;       // what it printed, DisplayText by line, at most 64 KiB
};
// What the server printed back (the parts of its "print" datagrams joined; cut when more came
// than is kept), made safe to show by line, with the password hidden wherever it shows.
std::string RconAnswerText(std::string printed, bool cut, std::string_view password);
// Sends the command to the server on 127.0.0.1:port and gathers what it prints back, which
// may come in many datagrams: until 300 ms pass without one, or timeoutMs in all. The
// password never shows in the text. Throws Error as RconRequest does.
RconAnswer Rcon(uint16_t port, std::string_view password, std::string_view command, int timeoutMs);

// The socket the engine opens: "Opening IP socket: 127.0.0.1:27961" (NET_IPSocket) or
// "Opening IP6 socket: [::]:27960" (NET_IP6Socket; the address without brackets).
struct BoundSocket {
    std::string address;
    uint16_t port = 0;
    bool operator==(const BoundSocket&) const = default;
};
// The socket that one log line says the engine opens. The engine prints the line before it
// binds, and on a port in use it tries the next one, up to nine more (NET_OpenIP): so a line
// alone does not prove the port; BoundSocketOfLog does.
std::optional<BoundSocket> BoundSocketOf(std::string_view logLine);
// The socket the engine bound, from its log: the last one opened that no bind warning
// follows. The IPv4 one is preferred: the loopback query is IPv4, and the engine's IPv6
// socket takes IPv6 only (IPV6_V6ONLY). Nothing when none was bound.
std::optional<BoundSocket> BoundSocketOfLog(std::string_view log);
// Whether a query to 127.0.0.1 reaches a server bound there: 127.0.0.1, 0.0.0.0 or
// "localhost". Not another 127.x address (a socket bound there takes only what is sent to
// it), nor an IPv6 one.
bool AnswersOnLoopback(const BoundSocket& socket);

// The engine's own reason when a log line says that the start failed inside it, made safe
// (DisplayText): "Can't find map maps/x.bsp" (SV_Map_f; the server then idles without a map),
// an error that ended the map ("ERROR: ..." between rows of "*", or "----- Server Shutdown
// (Server crashed: ...) -----"), a fatal one ("Server fatal crashed: ...", "VM_Create on
// game failed"), and no port ("WARNING: Couldn't bind to a v4 ip address.": the server runs
// on where nothing reaches it).
std::optional<std::string> StartFailureOf(std::string_view logLine);

}  // namespace fraglane::server
