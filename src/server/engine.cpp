#include "server/engine.h"

#include <algorithm>
#include <charconv>

#include "launch/game_directory.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/profile_file.h"
#include "platform/text.h"

namespace fraglane::server {

namespace {

constexpr const char* DebianEngine = "/usr/lib/ioquake3/ioq3ded";

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// The first executable file called name in the folders of a PATH text, or "".
std::string FindOnPath(std::string_view name, std::string_view pathVariable) {
    size_t at = 0;
    while (at <= pathVariable.size()) {
        size_t end = pathVariable.find(':', at);
        if (end == std::string_view::npos)
            end = pathVariable.size();
        const std::string folder(pathVariable.substr(at, end - at));
        at = end + 1;
        // A relative entry (an empty one is the current folder) would name another file once
        // the engine runs in the game directory: only absolute folders are searched.
        if (folder.empty() || folder.front() != '/')
            continue;
        std::string candidate = folder + (folder.back() == '/' ? "" : "/") + std::string(name);
        if (platform::IsExecutableFile(candidate))
            return candidate;
    }
    return {};
}

std::string DefaultEngine(std::string_view exeDir, std::string_view pathVariable) {
    const std::vector<std::string> beside = launch::EnginesBeside(exeDir);
    if (!beside.empty())
        return beside.front();
    std::string onPath = FindOnPath(launch::EnginePrefix, pathVariable);
    if (!onPath.empty())
        return onPath;
    if (platform::IsExecutableFile(DebianEngine))
        return DebianEngine;
    throw Error(
        "no engine found: put ioq3ded beside Fraglane, install ioquake3-server, or name the "
        "engine on the advanced page");
}

std::string NamedEngine(const std::string& program, std::string_view exeDir,
                        std::string_view pathVariable) {
    std::string native = program;
    if (program.find('/') == std::string::npos) {
        native = FindOnPath(program, pathVariable);
        if (native.empty())
            throw Error("engine not found: " + program);
    } else if (program.front() != '/') {
        native = NativeGameDirectory(exeDir) + "/" + program;
    }
    if (!platform::IsExecutableFile(native))
        throw Error("engine is not a program this user may run: " + native);
    return native;
}

}  // namespace

std::vector<std::string> ResolveEngine(std::string_view setting, std::string_view exeDir,
                                       std::string_view pathVariable) {
    std::vector<std::string> words = launch::SplitCommandWords(setting);
    if (words.empty() || words.front().empty()) {
        words.erase(words.begin(), words.begin() + (words.empty() ? 0 : 1));
        words.insert(words.begin(), DefaultEngine(exeDir, pathVariable));
        return words;
    }
    words.front() = NamedEngine(words.front(), exeDir, pathVariable);
    return words;
}

std::string NativeGameDirectory(std::string_view exeDir) {
    std::string native = platform::ToNative(exeDir);
    while (native.size() > 1 && native.back() == '/')
        native.pop_back();
    return native;
}

namespace {

// The batch line after its program, cut into the words the engine is to get. The engine
// (ioquake3) joins its words into one line again, putting quotes only around a word with a
// blank, and then reads that line as the Windows engine reads the batch line: quotes toggle
// at every '"', and "+", ";" and comments outside quotes start commands. So each piece
// between blanks outside quotes goes as it stands, quotes and all; a piece with a blank is
// one quoted group, which goes without its quotes for the engine to put back. Anything else
// cannot reach the engine as the line means it.
std::vector<std::string> EngineWordsOf(std::string_view line) {
    std::vector<std::string> words;
    bool quoted = false;
    bool program = true;
    std::string piece;
    const auto endPiece = [&] {
        if (program) {
            program = piece.empty();  // the first piece is the Windows program
        } else if (!piece.empty()) {
            const bool grouped = piece.size() >= 2 && piece.front() == '"' && piece.back() == '"' &&
                                 piece.find('"', 1) == piece.size() - 1;
            if (piece.find(' ') == std::string::npos)
                words.push_back(piece);
            else if (grouped)
                words.push_back(piece.substr(1, piece.size() - 2));
            else
                throw Error("the engine cannot be given " + text::PrintableName(piece) +
                            " as the batch line means it: quote the whole word");
        }
        piece.clear();
    };
    for (const char c : line) {
        if (!quoted && IsBlank(c)) {
            endPiece();
            continue;
        }
        if (c == '"')
            quoted = !quoted;
        piece += c;
    }
    endPiece();
    return words;
}

// A word of the program's own for the engine (the game directory's path), given so that the
// engine's joining and splitting (above) leave it one word of one command: in quotes when it
// holds what would split it and no blank (with a blank the engine puts the quotes itself).
std::string EngineArgument(const std::string& word) {
    if (word.find('"') != std::string::npos)
        throw Error("the engine cannot be given " + text::PrintableName(word) +
                    ": a quote in it would end the word");
    // A line break would end the command line the engine joins, and start another.
    if (std::any_of(word.begin(), word.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
        throw Error("the engine cannot be given " + text::PrintableName(word) +
                    ": it holds a control character");
    const bool splits =
        word.find_first_of("+;") != std::string::npos || word.find("//") != std::string::npos ||
        word.find("/*") != std::string::npos || word.find("*/") != std::string::npos;
    return splits && word.find(' ') == std::string::npos ? "\"" + word + "\"" : word;
}

// The mod folder as the file system spells it: the mod list holds names lower-cased, and an
// engine on a file system where case counts would not find "WFA/" as "wfa".
std::string ModFolderSpelling(std::string_view gameDirectory, const std::string& mod) {
    if (!text::IsPlainName(mod))
        return mod;
    const std::string native = platform::ToNative(platform::FromNative(gameDirectory) + "\\" + mod);
    if (!platform::DirectoryExists(platform::FromNative(native)))
        return mod;
    return native.substr(native.find_last_of("/\\") + 1);
}

}  // namespace

std::vector<std::string> ServerWords(const std::vector<std::string>& engine,
                                     std::string_view batchLine, std::string_view gameDirectory) {
    std::vector<std::string> words = engine;
    // The engine's files live in the game directory: its data (fs_basepath) and what it
    // writes (fs_homepath: games.log, q3config_server.cfg), so that two game directories
    // share nothing. The engine setting may name either itself.
    for (const char* path : {"fs_basepath", "fs_homepath"}) {
        const bool set =
            std::any_of(words.begin() + (words.empty() ? 0 : 1), words.end(),
                        [path](const std::string& w) { return text::EqualsIgnoreCase(w, path); });
        if (!set)
            words.insert(words.end(), {"+set", path, EngineArgument(std::string(gameDirectory))});
    }
    const std::vector<std::string> batch = EngineWordsOf(batchLine);
    words.insert(words.end(), batch.begin(), batch.end());
    for (size_t i = 0; i + 2 < words.size(); ++i) {
        if ((text::EqualsIgnoreCase(words[i], "+set") ||
             text::EqualsIgnoreCase(words[i], "+seta")) &&
            text::EqualsIgnoreCase(words[i + 1], "fs_game"))
            words[i + 2] = ModFolderSpelling(gameDirectory, words[i + 2]);
    }
    return words;
}

uint16_t ServerPort(const std::vector<std::string>& words) {
    uint16_t port = 27960;
    for (size_t i = 0; i + 2 < words.size(); ++i) {
        const std::string& command = words[i];
        const bool sets =
            text::EqualsIgnoreCase(command, "+set") || text::EqualsIgnoreCase(command, "+seta") ||
            text::EqualsIgnoreCase(command, "set") || text::EqualsIgnoreCase(command, "seta");
        if (!sets || !text::EqualsIgnoreCase(words[i + 1], "net_port"))
            continue;
        std::string_view value = words[i + 2];
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);  // the engine drops the quotes
        unsigned parsed = 0;
        const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), parsed);
        if (ec == std::errc{} && end == value.data() + value.size() && parsed > 0 &&
            parsed <= 65535)
            port = static_cast<uint16_t>(parsed);
    }
    return port;
}

}  // namespace fraglane::server
