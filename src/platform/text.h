#pragma once

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

// Small single-byte text helpers shared by every module. Letters are folded in ASCII only:
// the program's names are ANSI bytes and the comparisons it documents fold A-Z alone.
namespace fraglane::text {

inline char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

std::string LowerCase(std::string_view s);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
bool StartsWithIgnoreCase(std::string_view s, std::string_view prefix);
// Negative, zero or positive like strcmp, ASCII letters folded.
int CompareIgnoreCase(std::string_view a, std::string_view b);

// The text read as a 32-bit decimal integer: an optional sign and digits, nothing else.
std::optional<int> ParseInt(std::string_view s);
// What a spin edit holds: its text as an integer, 0 when it is not one.
inline int IntOrZero(std::string_view s) {
    return ParseInt(s).value_or(0);
}

// Calls line(text, eol) for every line of bytes: CR LF, LF and CR each end a line; eol is
// empty for a last line without one.
template <typename F>
void ForEachLine(std::string_view bytes, F&& line) {
    // memchr for the next line feed and the next carriage return, each searched again only once
    // the lines have passed it: a text of lone CRs costs one pass, not one pass a line.
    // find_first_of would look up every byte in its set, many times slower.
    const size_t n = bytes.size();
    const auto next = [&](char c, size_t from) {
        const void* found = std::memchr(bytes.data() + from, c, n - from);
        return found == nullptr
                   ? n
                   : static_cast<size_t>(static_cast<const char*>(found) - bytes.data());
    };
    size_t pos = 0;
    size_t feed = 0;
    size_t ret = 0;
    bool searched = false;
    while (pos < n) {
        if (!searched || feed < pos)
            feed = next('\n', pos);
        if (!searched || ret < pos)
            ret = next('\r', pos);
        searched = true;
        const size_t end = std::min(feed, ret);
        if (end == n) {
            line(bytes.substr(pos), std::string_view());
            return;
        }
        const size_t eolLength =
            (bytes[end] == '\r' && end + 1 < n && bytes[end + 1] == '\n') ? 2 : 1;
        line(bytes.substr(pos, end - pos), bytes.substr(end, eolLength));
        pos = end + eolLength;
    }
}

// Whether a mod, map or bot name may go into the batch line as it stands: one word, with
// nothing that the command interpreter ("&|<>^%"") or the game ("+" starts a command, ";"
// ends one, "//" and "/*" comments) would read as more than a name, and none of the bytes
// 0xB0 to 0xDF, which cmd reads as line-drawing signs that reach a Windows engine as "+"
// (UTF-8 letters of Latin-1 begin with one; Windows-1252 letters below 0xB0 or above 0xDF
// pass). Empty names pass.
bool IsCommandSafeName(std::string_view name);
// Whether a name may also stand as one folder or file name under a folder the program
// writes or reads (a mod's folder, a map's archive in the staging folder, its level shot):
// not empty, command-safe, no "..", "\", "/" or ":", and no "." at either end.
bool IsPlainName(std::string_view name);
// Why a name cannot go into the batch line as IsCommandSafeName wants it ("\"&\" cannot stand
// in a command line"); empty when it can.
std::string CommandNameProblem(std::string_view name);
// Why a name cannot be a plain name (IsPlainName); empty when it can.
std::string PlainNameProblem(std::string_view name);
// Why a line of the game's words (a bot line: addbot sarge 4.5 red 500 "^1Big Sarge") cannot
// go into the batch line as it stands; empty when it can. Colour codes ("^") and balanced
// double quotes pass; what the command interpreter or the game would act on does not: "%"
// anywhere (the interpreter expands it inside quotes too), "&", "|", "<", ">", "+" and ";"
// outside quotes, "^\"", comments and the bytes 0xB0 to 0xDF (see CommandNameProblem) outside
// quotes, an unbalanced quote, and control bytes (line breaks included).
std::string CommandLineProblem(std::string_view line);
// Why a value cannot end a config line ("seta rconpassword <value>") as it stands: the game
// would read a command after ";", a line break or a comment, and a quote would change what
// the value is. Empty when it can.
std::string ConfigValueProblem(std::string_view value);
// Whether a relative path ("textures\base\x", "scripts\a.shader") stays inside the folder
// it is joined to: not empty, no leading "\" or "/", no ":", no "." or ".." part.
bool StaysInside(std::string_view relative);
// A name read from a file or an archive as one line of output: bytes below 0x20 and 0x7F written
// as \xNN, so that no name can move the cursor, retitle the terminal or pass for two lines.
std::string PrintableName(std::string_view name);

// Whether every part of text between the separators (empty parts included) satisfies take.
template <typename F>
bool AllParts(std::string_view text, std::string_view separators, F&& take) {
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find_first_of(separators, start);
        if (end == std::string_view::npos)
            end = text.size();
        if (!take(text.substr(start, end - start)))
            return false;
        start = end + 1;
    }
    return true;
}

// The extension of a file name: from the last "." on (the dot included), empty without one.
std::string_view ExtractFileExt(std::string_view name);

}  // namespace fraglane::text
