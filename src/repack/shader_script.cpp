#include "repack/shader_script.h"

#include <algorithm>
#include <vector>

#include "platform/file_system.h"
#include "platform/text.h"

namespace fraglane::repack {

namespace {

// The text without its last 4 characters (the extension of a file name).
std::string_view DropExtension(std::string_view s) {
    return s.substr(0, s.size() < 4 ? 0 : s.size() - 4);
}

// A script line as the reader compares it: trimmed, lower-cased, the comment cut, "/" turned.
std::string Prepare(std::string_view raw) {
    std::string line = text::LowerCase(TrimControls(raw));
    if (const size_t comment = line.find("//"); comment != std::string::npos)
        line = std::string(TrimControls(std::string_view(line).substr(0, comment)));
    for (char& c : line) {
        if (c == '/')
            c = '\\';
    }
    return line;
}

void AddLineTextures(RepackRun& run, std::string_view line) {
    const size_t at = line.find("textures\\");
    if (at == std::string_view::npos)
        return;
    std::string_view rest = TrimControls(DropExtension(line.substr(at)));
    for (size_t blank = rest.find(' '); blank != std::string_view::npos; blank = rest.find(' ')) {
        run.AddTexture(DropExtension(TrimControls(rest.substr(0, blank + 1))));
        rest = TrimControls(rest.substr(blank + 1));
    }
    run.AddTexture(rest);
}

}  // namespace

void AddSkyTextures(RepackRun& run, std::string_view line) {
    const size_t env = line.find("env\\");
    if (line.find("skyparms") == std::string_view::npos || env == std::string_view::npos)
        return;
    std::string_view base = line.substr(env);
    base = base.substr(0, base.find(' '));
    for (const char* side : {"_bk", "_dn", "_ft", "_lf", "_rt", "_up"})
        run.AddTexture(std::string(base) + side);
}

bool ParseShaderFile(RepackRun& run, const std::string& path) {
    const std::string bytes = platform::ReadRegularFile(path);
    bool inside = false, keep = false;
    int depth = 0;
    // Every shader the script defines (a name alone on its line outside any braces) goes into
    // the archive with it when it is kept, wanted or not.
    int level = 0;
    std::vector<std::string> defined;
    text::ForEachLine(bytes, [&](std::string_view raw, std::string_view) {
        const std::string line = Prepare(raw);
        int braces = 0;
        for (const char c : line)
            braces += c == '{' ? 1 : c == '}' ? -1 : 0;
        if (level == 0 && !line.empty() && line.find_first_of("{}") == std::string::npos)
            defined.push_back(line);
        level = std::max(0, level + braces);
        if (inside) {
            depth += braces;
            AddSkyTextures(run, line);
            AddLineTextures(run, line);
            if (depth == 0)
                inside = false;
        }
        if (run.TextureList.Contains(line)) {
            inside = true;
            depth = 0;
            keep = true;
        }
    });
    if (!keep) {
        platform::RemoveFile(path);
        return false;
    }
    run.Shaders.insert(defined.begin(), defined.end());
    return true;
}

namespace {

// The path with a counter before its extension; counter 0 is the path itself.
std::string Numbered(const std::string& path, int counter) {
    if (counter == 0)
        return path;
    const std::string ext(text::ExtractFileExt(path));
    std::string candidate = path;
    candidate.insert(ext.empty() ? path.size() : path.find(ext), std::to_string(counter));
    return candidate;
}

}  // namespace

std::string UniqueFileName(const std::string& path) {
    for (int counter = 0;; ++counter) {
        std::string candidate = Numbered(path, counter);
        if (!platform::FileExists(candidate))
            return candidate;
    }
}

UniqueNames::UniqueNames(const std::string& folder) {
    for (const platform::DirEntry& entry : platform::ListDirectory(folder))
        m_taken.insert(text::LowerCase(folder + entry.name));
}

std::string UniqueNames::Claim(const std::string& path) {
    int& next = m_counters[text::LowerCase(path)];
    for (;; ++next) {
        std::string candidate = Numbered(path, next);
        // The counter stays on the name given: should it be released, the next claim
        // finds it free, as UniqueFileName would.
        if (m_taken.insert(text::LowerCase(candidate)).second)
            return candidate;
    }
}

void UniqueNames::Release(const std::string& path) {
    m_taken.erase(text::LowerCase(path));
}

}  // namespace fraglane::repack
