#include "server/query.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <random>
#include <vector>

#include "platform/datagram.h"
#include "platform/error.h"
#include "platform/text.h"

namespace fraglane::server {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view OutOfBand = "\xff\xff\xff\xff";
constexpr size_t DisplayLimit = 4096;
constexpr size_t RconLimit = size_t{64} * 1024;
constexpr std::string_view CutMark = "\xE2\x80\xA6";  // "…"
// MSG_ReadStringLine keeps at most MAX_STRING_CHARS - 1 bytes of a connectionless line.
constexpr size_t EngineLineLimit = 1023;
// SVC_Status ignores a longer challenge.
constexpr size_t ChallengeLimit = 128;
constexpr auto RconQuiet = std::chrono::milliseconds(300);

constexpr char Hex[] = "0123456789ABCDEF";

bool IsAsciiAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool StartsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

std::string_view TrimEnd(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// The code point of the UTF-8 sequence at text[at] and its length, or nothing for bytes that
// are no well-formed sequence (overlong forms, surrogates and values past U+10FFFF included).
std::optional<std::pair<char32_t, size_t>> DecodeUtf8(std::string_view text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the second byte's range
    char32_t value = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return std::nullopt;
    }
    if (at + length > text.size() || byte(1) < low || byte(1) > high)
        return std::nullopt;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return std::nullopt;
        value = (value << 6) | (byte(i) & 0x3F);
    }
    return std::pair{value, length};
}

// Code points that move or break text where it is shown: C1 controls (U+0085 is a line break
// to some), the line and paragraph separators, and the bidirectional marks, embeddings,
// overrides and isolates, one of which would turn ", 0 players" after a host name around.
bool IsHiddenControl(char32_t c) {
    return (c >= 0x80 && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F || c == 0x2028 ||
           c == 0x2029 || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

// text made safe as DisplayText says, at most limit bytes; keepLineBreaks lets "\n" stand
// (an rcon answer is many lines).
std::string SafeText(std::string_view text, size_t limit, bool keepLineBreaks) {
    std::string out;
    out.reserve(std::min(text.size(), limit));
    size_t markFits = 0;  // where the output is cut if it grows past the limit
    const auto add = [&](std::string_view piece) {
        out += piece;
        if (out.size() + CutMark.size() <= limit)
            markFits = out.size();
        return out.size() <= limit;
    };
    for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        const auto u = static_cast<unsigned char>(c);
        bool fits = true;
        if (c == '^' && i + 1 < text.size() && IsAsciiAlnum(text[i + 1])) {
            i += 2;
            continue;
        }
        if (u < 0x80) {
            if ((u < 0x20 && !(keepLineBreaks && c == '\n')) || u == 0x7F) {
                const char escaped[] = {'\\', 'x', Hex[u >> 4], Hex[u & 0xF]};
                fits = add(std::string_view(escaped, sizeof escaped));
            } else {
                fits = add(std::string_view(&text[i], 1));
            }
            ++i;
        } else if (const auto decoded = DecodeUtf8(text, i)) {
            const auto [code, length] = *decoded;
            if (IsHiddenControl(code)) {
                const char escaped[] = {'\\',
                                        'u',
                                        Hex[(code >> 12) & 0xF],
                                        Hex[(code >> 8) & 0xF],
                                        Hex[(code >> 4) & 0xF],
                                        Hex[code & 0xF]};
                fits = add(std::string_view(escaped, sizeof escaped));
            } else {
                fits = add(text.substr(i, length));
            }
            i += length;
        } else {
            const char escaped[] = {'\\', 'x', Hex[u >> 4], Hex[u & 0xF]};
            fits = add(std::string_view(escaped, sizeof escaped));
            ++i;
        }
        if (!fits) {
            out.resize(markFits);
            out += CutMark;
            return out;
        }
    }
    return out;
}

void ReplaceAll(std::string& text, std::string_view what, std::string_view with) {
    if (what.empty())
        return;
    for (size_t at = text.find(what); at != std::string::npos;
         at = text.find(what, at + with.size())) {
        text.replace(at, what.size(), with);
    }
}

// Why the engine's rcon would not receive the password as it is; empty when it would.
std::string PasswordReason(std::string_view password) {
    for (size_t i = 0; i < password.size(); ++i) {
        const char c = password[i];
        const auto u = static_cast<unsigned char>(c);
        // SVC_RemoteCommand takes the command after the password's first blank, quotes or not.
        if (c == ' ' || c == '\t')
            return "holds a blank, where the engine's rcon ends it";
        if (u < 0x20 || u == 0x7F)
            return "holds a control byte, which rcon cannot send";
        if (c == '"')
            return "holds a quote, which the engine's rcon takes for grouping";
        if (c == '%' || u >= 0x80)
            return "holds \"%\" or a non-ASCII character, which the engine's rcon reads as \".\"";
        const std::string_view pair = password.substr(i, 2);
        if (pair == "//" || pair == "/*")
            return "holds \"//\" or \"/*\", which the engine reads as a comment";
    }
    if (!text::ConfigValueProblem(password).empty())
        return "cannot stand in the server's config line (\";\" or \"*/\")";
    return {};
}

// The engine's "ERROR: " lines that end nothing: a map's patch collision (cm_patch.c),
// COM_ParseError's "file, line N: ...", meminfo's heap checks and the crash log's own
// troubles after a fatal error, which Sys_Error's line has already named.
bool IsHarmlessError(std::string_view reason) {
    constexpr std::string_view Harmless[] = {
        "too many bevels",      "block size does not touch", "next block doesn't have",
        "two consecutive free", "couldn't create path",      "couldn't open ",
        "couldn't fully write",
    };
    for (const std::string_view h : Harmless) {
        if (StartsWith(reason, h))
            return true;
    }
    const size_t line = reason.find(", line ");
    if (line == std::string_view::npos)
        return false;
    size_t at = line + 7;
    const size_t digits = at;
    while (at < reason.size() && reason[at] >= '0' && reason[at] <= '9')
        ++at;
    return at > digits && reason.substr(at, 2) == ": ";
}

std::optional<uint16_t> PortOf(std::string_view digits) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size() || value == 0 ||
        value > 65535) {
        return std::nullopt;
    }
    return static_cast<uint16_t>(value);
}

constexpr std::string_view OpeningIp = "Opening IP socket: ";
constexpr std::string_view OpeningIp6 = "Opening IP6 socket: ";

}  // namespace

std::string DisplayText(std::string_view text) {
    return SafeText(text, DisplayLimit, false);
}

std::string NewChallenge() {
    std::random_device random;
    std::string token;
    for (int i = 0; i < 4; ++i) {
        const unsigned bits = random();
        for (int shift = 12; shift >= 0; shift -= 4)
            token.push_back("0123456789abcdef"[(bits >> shift) & 0xF]);
    }
    return token;
}

std::string StatusQuery(std::string_view challenge) {
    // One word that Info_SetValueForKey can echo: no blank, "\", ";" or quote.
    if (challenge.empty() || challenge.size() > ChallengeLimit ||
        !std::all_of(challenge.begin(), challenge.end(),
                     [](char c) { return IsAsciiAlnum(c) || c == '-' || c == '_' || c == '.'; })) {
        throw Error("A status challenge is 1 to 128 letters, digits, \"-\", \"_\" or \".\"");
    }
    return std::string(OutOfBand) + "getstatus " + std::string(challenge) + "\n";
}

std::optional<ServerStatus> ParseStatusAnswer(std::string_view answer, std::string_view challenge) {
    const std::string head = std::string(OutOfBand) + "statusResponse\n";
    if (!StartsWith(answer, head))
        return std::nullopt;
    answer.remove_prefix(head.size());
    const size_t infoEnd = answer.find('\n');
    std::string_view info = answer.substr(0, infoEnd);
    // "\key\value\key\value..."
    if (!info.empty() && info.front() == '\\')
        info.remove_prefix(1);
    std::vector<std::string_view> parts;
    text::AllParts(info, "\\", [&](std::string_view part) {
        parts.push_back(part);
        return true;
    });
    ServerStatus status;
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        const std::string_view key = parts[i], value = parts[i + 1];
        if (text::EqualsIgnoreCase(key, "challenge") && value != challenge)
            return std::nullopt;
        if (text::EqualsIgnoreCase(key, "mapname"))
            status.map = DisplayText(value);
        else if (text::EqualsIgnoreCase(key, "sv_hostname"))
            status.hostname = DisplayText(value);
    }
    if (infoEnd != std::string_view::npos) {
        // One line per player: score ping "name".
        text::ForEachLine(answer.substr(infoEnd + 1), [&](std::string_view line, std::string_view) {
            if (!line.empty())
                ++status.players;
        });
    }
    return status;
}

std::optional<ServerStatus> QueryStatus(uint16_t port, int timeoutMs) {
    const std::string challenge = NewChallenge();
    platform::LoopbackQuery query;
    if (!query.Send(port, StatusQuery(challenge)))
        return std::nullopt;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (auto now = Clock::now(); now < deadline; now = Clock::now()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
        if (const std::optional<std::string> answer = query.Receive(static_cast<int>(left.count())))
            if (std::optional<ServerStatus> status = ParseStatusAnswer(*answer, challenge))
                return status;
    }
    return std::nullopt;
}

std::string RconPasswordProblem(std::string_view password) {
    if (password.empty())
        return "no rcon password: set rconpassword on the game options page (at least 8 "
               "characters)";
    if (password == "*")
        return "no rcon password (\"*\" is the placeholder): set rconpassword on the game "
               "options page (at least 8 characters)";
    const std::string reason = PasswordReason(password);
    if (reason.empty())
        return {};
    return "the rcon password " + reason + ": set another on the game options page";
}

std::string RconRequest(std::string_view password, std::string_view command) {
    if (std::string problem = RconPasswordProblem(password); !problem.empty())
        throw Error(problem);
    for (const char c : command) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\n' || c == '\r')
            throw Error("An rcon command is one line: it holds a line break");
        if (u < 0x20 || u == 0x7F)
            throw Error("An rcon command holds a control byte");
        if (c == '%' || u >= 0x80)
            throw Error(
                "An rcon command holds \"%\" or a non-ASCII character, which the engine "
                "reads as \".\"");
    }
    std::string line = "rcon " + std::string(password) + " " + std::string(command);
    if (line.size() > EngineLineLimit)
        throw Error("An rcon command is too long: the engine reads " +
                    std::to_string(EngineLineLimit) + " bytes of it with the password");
    return std::string(OutOfBand) + line;
}

std::string RconAnswerText(std::string printed, bool cut, std::string_view password) {
    // The engine prints the password back where asked ("rconpassword", "cvarlist"): it is
    // hidden before the text is made safe, and again in the form the safe text shows it.
    constexpr std::string_view Hidden = "********";
    if (!password.empty())
        ReplaceAll(printed, password, Hidden);
    std::string text = SafeText(printed, cut ? RconLimit - CutMark.size() : RconLimit, true);
    if (!password.empty()) {
        ReplaceAll(text, password, Hidden);
        ReplaceAll(text, SafeText(password, DisplayLimit, false), Hidden);
    }
    if (cut && !text.ends_with(CutMark))
        text += CutMark;
    if (text.size() > RconLimit) {  // a short password hidden behind a longer mask
        size_t end = RconLimit - CutMark.size();
        while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
            --end;
        text.resize(end);
        text += CutMark;
    }
    return text;
}

RconAnswer Rcon(uint16_t port, std::string_view password, std::string_view command, int timeoutMs) {
    const std::string request = RconRequest(password, command);
    RconAnswer answer;
    platform::LoopbackQuery query;
    if (!query.Send(port, request))
        return answer;
    // SV_FlushRedirect sends what the command prints in datagrams of about 1 KiB, each
    // "print\n" and its part, cut anywhere, as the output buffer fills.
    const std::string head = std::string(OutOfBand) + "print\n";
    std::string printed;
    bool cut = false;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    auto until = deadline;
    for (auto now = Clock::now(); now < until; now = Clock::now()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - now);
        const std::optional<std::string> datagram = query.Receive(static_cast<int>(left.count()));
        if (!datagram || !StartsWith(*datagram, head))
            continue;
        answer.answered = true;
        until = std::min(deadline, Clock::now() + RconQuiet);
        const std::string_view part = std::string_view(*datagram).substr(head.size());
        const size_t room = RconLimit - printed.size();
        printed.append(part.substr(0, room));
        cut = cut || part.size() > room;
    }
    answer.text = RconAnswerText(printed, cut, password);
    return answer;
}

std::optional<BoundSocket> BoundSocketOf(std::string_view logLine) {
    const bool v6 = StartsWith(logLine, OpeningIp6);
    if (!v6 && !StartsWith(logLine, OpeningIp))
        return std::nullopt;
    const std::string_view rest =
        TrimEnd(logLine.substr(v6 ? OpeningIp6.size() : OpeningIp.size()));
    const size_t colon = rest.rfind(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    std::string_view address = rest.substr(0, colon);
    const std::optional<uint16_t> port = PortOf(rest.substr(colon + 1));
    // NET_IP6Socket puts an address holding a colon in brackets.
    if (v6 && address.size() >= 2 && address.front() == '[' && address.back() == ']')
        address = address.substr(1, address.size() - 2);
    if (!port || address.empty() || address.size() > 255 ||
        !std::all_of(address.begin(), address.end(), [](char c) { return c > ' ' && c < 0x7F; })) {
        return std::nullopt;
    }
    return BoundSocket{std::string(address), *port};
}

std::optional<BoundSocket> BoundSocketOfLog(std::string_view log) {
    // NET_IPSocket prints "Opening ..." and then, when bind fails, a warning on the next line;
    // any other line after it means the socket is open. NET_OpenIP ends a failed search with
    // "Couldn't bind", having closed the sockets opened before.
    std::optional<BoundSocket> bound4, bound6, pending4, pending6;
    text::ForEachLine(log, [&](std::string_view line, std::string_view) {
        if (StartsWith(line, "WARNING: NET_IPSocket: ")) {
            pending4.reset();
            return;
        }
        if (StartsWith(line, "WARNING: NET_IP6Socket: ")) {
            pending6.reset();
            return;
        }
        if (pending4)
            bound4 = std::exchange(pending4, std::nullopt);
        if (pending6)
            bound6 = std::exchange(pending6, std::nullopt);
        if (StartsWith(line, "WARNING: Couldn't bind to a v4 ip address."))
            bound4.reset();
        else if (StartsWith(line, "WARNING: Couldn't bind to a v6 ip address."))
            bound6.reset();
        else if (std::optional<BoundSocket> opened = BoundSocketOf(line))
            (StartsWith(line, OpeningIp6) ? pending6 : pending4) = std::move(opened);
    });
    return bound4 ? bound4 : bound6;
}

bool AnswersOnLoopback(const BoundSocket& socket) {
    // ioquake3 resolves "localhost" to 127.0.0.1; Quake III 1.32 binds it to every address.
    return socket.address == "127.0.0.1" || socket.address == "0.0.0.0" ||
           text::EqualsIgnoreCase(socket.address, "localhost");
}

std::optional<std::string> StartFailureOf(std::string_view logLine) {
    const std::string_view line = TrimEnd(logLine);
    std::string_view reason;
    constexpr std::string_view ShutdownHead = "----- Server Shutdown (";
    constexpr std::string_view ShutdownTail = ") -----";
    // Lines that are the reason as they stand: SV_Map_f's, and Sys_Error's own line, printed
    // as the engine exits.
    if (StartsWith(line, "Can't find map ") || line == "VM_Create on game failed" ||
        line == "VM_Restart on game failed") {
        reason = line;
    } else if (StartsWith(line, "ERROR: ")) {
        reason = line.substr(7);
        if (IsHarmlessError(reason))
            return std::nullopt;
    } else if (StartsWith(line, ShutdownHead) && line.ends_with(ShutdownTail)) {
        // SV_Shutdown's reason: "Server crashed: X" (ERR_DROP), "Server fatal crashed: X".
        const std::string_view inner = line.substr(
            ShutdownHead.size(), line.size() - ShutdownHead.size() - ShutdownTail.size());
        for (const std::string_view crashed : {"Server crashed: ", "Server fatal crashed: "}) {
            if (StartsWith(inner, crashed))
                reason = inner.substr(crashed.size());
        }
    } else if (line == "WARNING: Couldn't bind to a v4 ip address.") {
        reason = line.substr(9);
    }
    if (reason.empty())
        return std::nullopt;
    return DisplayText(reason);
}

}  // namespace fraglane::server
