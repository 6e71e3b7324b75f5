#include "platform/text.h"

#include <charconv>

namespace fraglane::text {

std::string LowerCase(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = LowerAscii(c);
    return out;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    }
    return true;
}

bool StartsWithIgnoreCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && EqualsIgnoreCase(s.substr(0, prefix.size()), prefix);
}

int CompareIgnoreCase(std::string_view a, std::string_view b) {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(LowerAscii(a[i]));
        const auto cb = static_cast<unsigned char>(LowerAscii(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::optional<int> ParseInt(std::string_view s) {
    const char* first = s.data();
    const char* last = s.data() + s.size();
    if (first != last && *first == '+') {
        ++first;
        if (first != last && *first == '-')
            return std::nullopt;
    }
    if (first == last)
        return std::nullopt;
    int value = 0;
    auto [ptr, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || ptr != last)
        return std::nullopt;
    return value;
}

std::string PrintableName(std::string_view name) {
    static const char Hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(name.size());
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            out += "\\x";
            out.push_back(Hex[u >> 4]);
            out.push_back(Hex[u & 0xF]);
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string_view ExtractFileExt(std::string_view name) {
    const size_t dot = name.find_last_of(".\\:");
    if (dot == std::string_view::npos || name[dot] != '.')
        return {};
    return name.substr(dot);
}

namespace {

// cmd reads a batch file in the console's code page (437, 850, 866...), where the bytes
// 0xB0 to 0xDF are line-drawing signs, and Windows hands the command line to an engine that
// reads it in the ANSI code page with the nearest letter for each: a crossing line becomes
// "+", which starts a command of the game. UTF-8 letters of Latin-1 begin with such a byte.
bool IsLineDrawingByte(unsigned char u) {
    return u >= 0xB0 && u <= 0xDF;
}

// What stops a name from standing in the batch line as one word, for the byte c.
bool IsCommandByte(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u <= 0x20 || u == 0x7F || IsLineDrawingByte(u) ||
           std::string_view("\"%&+;<>^|").find(c) != std::string_view::npos;
}

std::string ByteProblem(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (c == ' ')
        return "a blank would split it in the command line";
    if (IsLineDrawingByte(u)) {
        static const char Hex[] = "0123456789ABCDEF";
        return std::string("the byte \\x") + Hex[u >> 4] + Hex[u & 0xF] +
               " reads in cmd as a line-drawing sign, which Windows may hand the game as \"+\"";
    }
    if (u < 0x20 || u == 0x7F)
        return "the control byte " + PrintableName(std::string_view(&c, 1)) +
               " cannot stand in a command line";
    const char* quote = c == '"' ? "'" : "\"";
    return std::string(quote) + c + quote + " cannot stand in a command line";
}

// The game reads "//" as the start of a comment and "/*" ... "*/" as one that ends a command.
std::string CommentProblem(std::string_view text, size_t at) {
    const std::string_view pair = text.substr(at, 2);
    if (pair == "//" || pair == "/*" || pair == "*/")
        return "\"" + std::string(pair) + "\" would be read as a comment by the game";
    return {};
}

}  // namespace

bool IsCommandSafeName(std::string_view name) {
    return CommandNameProblem(name).empty();  // a problem's text is only made for a problem
}

std::string CommandNameProblem(std::string_view name) {
    for (size_t i = 0; i < name.size(); ++i) {
        if (IsCommandByte(name[i]))
            return ByteProblem(name[i]);
        if (std::string problem = CommentProblem(name, i); !problem.empty())
            return problem;
    }
    return {};
}

std::string PlainNameProblem(std::string_view name) {
    // A leading dot hides the name (and the staging folder keeps such entries); Windows drops
    // a trailing one, so that "temp." would name "temp".
    if (name.empty())
        return "an empty name";
    std::string problem = CommandNameProblem(name);
    if (!problem.empty())
        return problem;
    if (name.find("..") != std::string_view::npos)
        return "\"..\" would lead out of its folder";
    const size_t separator = name.find_first_of("\\/:");
    if (separator != std::string_view::npos)
        return "\"" + std::string(1, name[separator]) + "\" cannot stand in a file name";
    if (name.front() == '.')
        return "a leading \".\" hides a file";
    if (name.back() == '.')
        return "Windows drops a trailing \".\" from a file name";
    return {};
}

bool IsPlainName(std::string_view name) {
    return PlainNameProblem(name).empty();
}

std::string CommandLineProblem(std::string_view line) {
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        const auto u = static_cast<unsigned char>(c);
        if (c == '"') {
            quoted = !quoted;
        } else if (u < 0x20 || u == 0x7F || c == '%') {
            return ByteProblem(c);
        } else if (quoted) {
            continue;
        } else if (std::string_view("&|<>+;").find(c) != std::string_view::npos ||
                   IsLineDrawingByte(u)) {
            return ByteProblem(c) + " outside quotes";
        } else if (c == '^' && i + 1 < line.size() && line[i + 1] == '"') {
            // cmd takes ^" for a plain quote, which the game would still read as one
            return "'^\"' would hide a quote from cmd";
        } else if (std::string problem = CommentProblem(line, i); !problem.empty()) {
            return problem + " outside quotes";
        }
    }
    if (quoted)
        return "an unbalanced quote would take in the words after it";
    return {};
}

std::string ConfigValueProblem(std::string_view value) {
    for (size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F)
            return "the control byte " + PrintableName(value.substr(i, 1)) +
                   " cannot stand in a config line";
        if (c == ';' || c == '"')
            return (c == '"' ? std::string("'\"'") : std::string("\";\"")) +
                   " cannot stand in a config line";
        if (std::string problem = CommentProblem(value, i); !problem.empty())
            return problem;
    }
    return {};
}

bool StaysInside(std::string_view relative) {
    if (relative.empty() || relative.front() == '\\' || relative.front() == '/' ||
        relative.find(':') != std::string_view::npos) {
        return false;
    }
    return AllParts(relative, "\\/",
                    [](std::string_view part) { return part != "." && part != ".."; });
}

}  // namespace fraglane::text
