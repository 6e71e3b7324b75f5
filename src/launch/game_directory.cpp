#include "launch/game_directory.h"

#include <algorithm>

#include "platform/dir_content.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/profile_file.h"

namespace fraglane::launch {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

std::vector<std::string> SplitCommandWords(std::string_view line) {
    std::vector<std::string> words;
    size_t i = 0;
    const size_t n = line.size();
    while (i < n && IsBlank(line[i]))
        ++i;
    if (i == n)
        return words;
    // The program: quotes group, backslashes are plain.
    std::string program;
    bool quoted = false;
    for (; i < n && (quoted || !IsBlank(line[i])); ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else
            program += line[i];
    }
    words.push_back(std::move(program));
    for (;;) {
        while (i < n && IsBlank(line[i]))
            ++i;
        if (i == n)
            return words;
        std::string word;
        quoted = false;
        while (i < n && (quoted || !IsBlank(line[i]))) {
            size_t slashes = 0;
            while (i < n && line[i] == '\\') {
                ++slashes;
                ++i;
            }
            if (i < n && line[i] == '"') {
                word.append(slashes / 2, '\\');
                if (slashes % 2 == 1) {
                    word += '"';
                } else if (quoted && i + 1 < n && line[i + 1] == '"') {
                    word += '"';  // "" inside quotes
                    ++i;
                } else {
                    quoted = !quoted;
                }
                ++i;
            } else {
                word.append(slashes, '\\');
                if (i < n && (quoted || !IsBlank(line[i])))
                    word += line[i++];
            }
        }
        words.push_back(std::move(word));
    }
}

std::vector<std::string> EnginesBeside(std::string_view exeDir) {
    std::vector<std::string> found;
    for (const platform::DirEntry& entry : platform::ListDirectory(exeDir)) {
        if (entry.isDirectory || entry.name.rfind(EnginePrefix, 0) != 0)
            continue;
        const std::string native = platform::ToNative(std::string(exeDir) + entry.name);
        if (platform::IsExecutableFile(native))
            found.push_back(native);
    }
    std::sort(found.begin(), found.end());
    return found;
}

bool EngineBesideProgram(std::string_view exeDir) {
    return !EnginesBeside(exeDir).empty();
}

bool IsGameDirectory(std::string_view exeDir, const std::string& iniPath) {
    if (platform::FileExists(std::string(exeDir) + "quake3.exe"))
        return true;
    if (!platform::StartsEngineItself())
        return false;
    if (EngineBesideProgram(exeDir))
        return true;
    try {
        platform::ProfileFile ini(iniPath);
        return !SplitCommandWords(ini.ReadString(EngineSection, EngineKey, "")).empty();
    } catch (const Error&) {
        return false;  // a settings file that cannot be read names no engine
    }
}

std::string StartupRefusalText() {
    std::string text = "Run in quake III directory!";
    if (platform::StartsEngineItself())
        text +=
            "\n\nOr name the server program: put ioq3ded beside Fraglane, or write "
            "engine=<path> in section [advanced] of the settings file beside it.";
    return text;
}

}  // namespace fraglane::launch
