// What the file system functions share on every system: path text, and what is built on the
// native calls.
#include "platform/file_system.h"

#include <algorithm>

#include "platform/error.h"
#include "platform/file.h"

namespace fraglane::platform {

void ForceDirectories(std::string path) {
    if (path.empty())
        return;
    if (path.back() == '\\')
        path.pop_back();
    if (path.size() <= 2 || DirectoryExists(path))
        return;
    const std::string parent = ExtractFilePath(path);
    if (parent != path) {
        ForceDirectories(parent);
        CreateDir(path);
    }
}

std::string ExtractFilePath(std::string_view path) {
    const size_t sep = path.find_last_of("\\:");
    return sep == std::string_view::npos ? std::string() : std::string(path.substr(0, sep + 1));
}

std::string ExtractFileName(std::string_view path) {
    const size_t sep = path.find_last_of("\\:");
    return std::string(sep == std::string_view::npos ? path : path.substr(sep + 1));
}

std::string ChangeFileExt(std::string_view path, std::string_view ext) {
    const size_t dot = path.find_last_of(".\\:");
    std::string out(path);
    if (dot != std::string_view::npos && path[dot] == '.')
        out.resize(dot);
    out.append(ext);
    return out;
}

std::string IncludeTrailingBackslash(std::string_view path) {
    std::string out(path);
    if (out.empty() || out.back() != '\\')
        out.push_back('\\');
    return out;
}

void WriteFileBytes(std::string_view path, std::string_view bytes) {
    File file = File::Create(path);  // "Cannot create file %s", read-only files included
    if (!file.WriteAt(0, bytes.data(), bytes.size())) {
        throw OutputError("Unable to write to " + DisplayPath(path));
    }
}

bool IsTemporaryName(std::string_view name, std::string_view leaf) {
    const std::string prefix = "." + std::string(leaf) + TemporaryMark;
    if (name.size() != prefix.size() + 6 || name.substr(0, prefix.size()) != prefix)
        return false;
    return std::all_of(
        name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(), [](char c) {
            return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        });
}

void ReplaceFileBytes(std::string_view folder, std::string_view name, std::string_view bytes) {
    WriteFileAnew(folder, name, [bytes](const std::function<bool(std::string_view)>& write) {
        return write(bytes);
    });
}

void CopyRegularFile(std::string_view from, std::string_view to) {
    File copy;
    bool created = false;
    uint64_t written = 0;
    // The copy is created at the first piece, once the source is known to open.
    const auto create = [&] {
        ForceDirectories(ExtractFilePath(to));
        copy = File::Create(to);  // "Cannot create file %s", read-only files included
        created = true;
    };
    try {
        ReadRegularFileInPieces(from, [&](std::string_view piece) {
            if (!created)
                create();
            if (!copy.WriteAt(written, piece.data(), piece.size()))
                throw OutputError("Unable to write to " + DisplayPath(to));
            written += piece.size();
        });
        if (!created)
            create();
    } catch (...) {
        if (created) {
            copy.Close();
            RemoveFile(to);
        }
        throw;
    }
}

}  // namespace fraglane::platform
