#include "fuzz_bodies.h"

#include <stdlib.h>
#include <unistd.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/archive_work.h"
#include "archive/deflate.h"
#include "archive/pk3_archive.h"
#include "catalogue/catalogue.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "preview/jpeg.h"
#include "preview/targa.h"
#include "repack/bsp_textures.h"
#include "repack/name_list.h"
#include "repack/shader_script.h"
#include "server/query.h"
#include "server/server_run.h"
#include "settings/settings.h"

namespace fraglane::fuzz {

namespace {

// One scratch directory per process, removed again when the process ends.
class ScratchDir {
public:
    ScratchDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "fraglane-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            std::abort();
        m_native = pattern;
        m_path = platform::FromNative(pattern) + "\\";
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_native, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    // Program path text with trailing "\".
    const std::string& Path() const { return m_path; }

private:
    std::string m_native;
    std::string m_path;
};

const std::string& Scratch() {
    static const ScratchDir dir;
    return dir.Path();
}

std::string WriteInput(const char* name, const uint8_t* data, size_t size) {
    const std::string path = Scratch() + name;
    platform::WriteFileBytes(path, std::string_view(reinterpret_cast<const char*>(data), size));
    return path;
}

}  // namespace

namespace {

// The bytes as a member's deflated data too, of a size the first two tell: where libdeflate
// inflates them whole and zlib's streaming takes them too, both give the same bytes (zlib
// refuses a few codes that libdeflate takes; the archive then checks the CRC-32).
void CheckWholeInflation(const uint8_t* data, size_t size) {
    if (size < 2)
        return;
    const size_t expected = (size_t{data[0]} | size_t{data[1]} << 8) * 16 + 1;
    std::vector<uint8_t> whole(expected);
    if (!archive::WholeInflater().Inflate(data + 2, size - 2, whole.data(), expected))
        return;
    std::vector<uint8_t> streamed;
    size_t at = 2;
    const bool ok = archive::InflateExactly(
        [&](uint8_t* buffer, size_t n) {
            n = std::min(n, size - at);
            std::copy_n(data + at, n, buffer);
            at += n;
            return n;
        },
        expected,
        [&](const uint8_t* out, size_t n) {
            streamed.insert(streamed.end(), out, out + n);
            return true;
        });
    if (ok && streamed != whole)
        std::abort();
}

}  // namespace

void Pk3Input(const uint8_t* data, size_t size) {
    CheckWholeInflation(data, size);
    const std::string path = WriteInput("input.pk3", data, size);
    archive::Pk3Archive zip;
    zip.SetFileName(path);
    try {
        zip.SetActive(true);
    } catch (const Error&) {
        return;
    }
    if (!zip.Active() && zip.RefusalReason().empty())
        std::abort();  // every refusal says why
    const std::vector<std::string> names = zip.FileNames();
    for (const std::string& name : names) {
        if (!zip.HasMember(name))
            std::abort();  // every listed name must be found again
        const std::string out = Scratch() + "out\\member";
        platform::ForceDirectories(Scratch() + "out\\");
        try {
            zip.ExtractMember(name, out);
        } catch (const Error&) {
        }
        std::error_code ec;
        std::filesystem::permissions(platform::ToNative(out), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(platform::ToNative(Scratch() + "out\\"), ec);
    }
}

void ProfileInput(const uint8_t* data, size_t size) {
    const std::string path = WriteInput("input.ini", data, size);
    platform::ProfileFile file(path);
    settings::LoadSettings(file);
    catalogue::ReadModList(file);
    catalogue::ReadMapRows(file, "");
    catalogue::ReadBotRows(file);
}

void TgaInput(const uint8_t* data, size_t size) {
    const std::string path = WriteInput("input.tga", data, size);
    preview::Bitmap bitmap;
    preview::LoadTGABitmap(path, bitmap);
    if (!bitmap.Empty() && bitmap.Stride() != static_cast<size_t>(bitmap.Width()) * 3)
        std::abort();
}

void JpegInput(const uint8_t* data, size_t size) {
    const std::string path = WriteInput("input.jpg", data, size);
    preview::Bitmap bitmap;
    std::string why;
    if (!preview::DecodeJpeg(path, bitmap, &why) && why.empty())
        std::abort();  // every refusal says why
}

namespace {

// A repack run whose staging folder lies in the scratch folder; every name it adds must stay
// inside that folder.
repack::RepackRun StagingRun() {
    repack::RepackRun run;
    run.tempDir = Scratch() + "temp\\";
    platform::ForceDirectories(run.tempDir);
    return run;
}

void CheckStaysInside(const repack::RepackRun& run) {
    for (const std::string& name : run.TextureList.Items()) {
        if (!text::StaysInside(name))
            std::abort();
    }
}

}  // namespace

void BspInput(const uint8_t* data, size_t size) {
    repack::RepackRun run = StagingRun();
    repack::ScanBspBytes(run, std::string_view(reinterpret_cast<const char*>(data), size));
    CheckStaysInside(run);
    std::error_code ec;
    std::filesystem::remove_all(platform::ToNative(run.tempDir), ec);
}

void ShaderInput(const uint8_t* data, size_t size) {
    repack::RepackRun run = StagingRun();
    for (const char* wanted : {"textures\\base\\wall", "textures\\sky\\space", "env\\mars"})
        run.AddTexture(wanted);
    const std::string path = WriteInput("input.shader", data, size);
    repack::ParseShaderFile(run, path);
    CheckStaysInside(run);
    std::error_code ec;
    std::filesystem::remove_all(platform::ToNative(run.tempDir), ec);
}

namespace {

namespace fs = std::filesystem;

// Reads the fuzzer's description of a staging folder, one entry after another.
class StageReader {
public:
    StageReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool AtEnd() const { return m_at >= m_size; }
    uint8_t Byte() { return m_at < m_size ? m_data[m_at++] : 0; }
    std::string Bytes(size_t n) {
        n = std::min(n, m_size - std::min(m_at, m_size));
        std::string s(reinterpret_cast<const char*>(m_data + m_at), n);
        m_at += n;
        return s;
    }
    // A relative name of one to four parts; any byte but "/" and NUL, no "." or "..".
    std::string Name() {
        std::string raw = Bytes(Byte() % 40 + 1);
        std::string name, part;
        int parts = 0;
        raw += '/';
        for (const char c : raw) {
            if (c != '/') {
                part += c == '\0' ? '_' : c;
                continue;
            }
            if (!part.empty() && part != "." && part != ".." && parts < 4) {
                name += (name.empty() ? "" : "/") + part;
                ++parts;
            }
            part.clear();
        }
        return name;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_at = 0;
};

std::string ReadAll(const fs::path& path) {
    std::string bytes;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            bytes.append(buffer, n);
        std::fclose(f);
    }
    return bytes;
}

// Writes by native path: the described names may hold "\\", which program path text reads
// as a separator.
void WriteNative(const fs::path& path, const std::string& bytes) {
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
}

// Makes one entry of the described folder; names that clash with what is there are passed by.
void MakeEntry(StageReader& in, const fs::path& stage, const fs::path& outside,
               std::vector<std::string>& made) {
    const uint8_t kind = in.Byte() % 6;
    const std::string name = in.Name();
    if (name.empty() || name.substr(0, name.find('/')) == "out.pk3")
        return;  // the archive's own name is the packer's
    const fs::path path = stage / name;
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    if (ec || fs::symlink_status(path, ec).type() != fs::file_type::not_found)
        return;
    switch (kind) {
        case 0:
        case 4: {  // a file, read-only or not
            const size_t low = in.Byte();
            const size_t length = low | size_t{in.Byte()} << 8;
            WriteNative(path, in.Bytes(length % 4097));
            if (kind == 4)
                fs::permissions(path, fs::perms::owner_read | fs::perms::group_read, ec);
            break;
        }
        case 1:
            fs::create_directory(path, ec);
            break;
        case 2: {  // a link: up, to itself, out of the folder, to a device, dangling, or inward
            const size_t depth = static_cast<size_t>(std::count(name.begin(), name.end(), '/'));
            std::string up;
            for (size_t i = 0; i < depth; ++i)
                up += "../";
            const uint8_t choice = in.Byte();
            const std::string targets[] = {"..",
                                           ".",
                                           up + "../outside.txt",
                                           outside.string(),
                                           "/dev/zero",
                                           "missing",
                                           "/",
                                           stage.string(),
                                           name};
            std::string target = targets[choice % std::size(targets)];
            if (choice >= std::size(targets) && !made.empty())
                target = up + made[choice % made.size()];
            fs::create_symlink(target, path, ec);
            break;
        }
        case 3:
            ::mkfifo(path.c_str(), 0644);
            break;
        case 5: {  // a larger file that deflates well
            const std::string piece = in.Bytes(in.Byte() % 16 + 1);
            std::string bytes;
            for (size_t i = 0, n = (in.Byte() + 1) * 256u; i < n; ++i)
                bytes += piece;
            WriteNative(path, bytes);
            break;
        }
    }
    made.push_back(name);
}

// The member's stored name as a path of the staging folder, when it is one.
bool IsFileOfStage(const fs::path& stage, const std::string& member, fs::path& file) {
    std::string relative = member;
    std::replace(relative.begin(), relative.end(), '\\', '/');
    if (relative.empty() || relative.front() == '/')
        return false;
    file = stage / relative;
    std::error_code ec;
    const fs::path real = fs::canonical(file, ec);
    const fs::path root = fs::canonical(stage, ec);
    if (ec || !fs::is_regular_file(real, ec))
        return false;
    const auto [end, _] = std::mismatch(root.begin(), root.end(), real.begin(), real.end());
    return end == root.end();
}

}  // namespace

void PackInput(const uint8_t* data, size_t size) {
    const fs::path scratch = platform::ToNative(Scratch());
    const fs::path stage = scratch / "stage";
    const fs::path outside = scratch / "outside.txt";
    std::error_code ec;
    fs::remove_all(stage, ec);
    fs::create_directories(stage);
    WriteNative(outside, "outside");

    StageReader in(data, size);
    std::vector<std::string> made;
    for (int i = 0; i < 64 && !in.AtEnd(); ++i)
        MakeEntry(in, stage, outside, made);

    const std::string root = platform::FromNative(stage.string()) + "\\";
    archive::Pk3Archive zip;
    zip.SetPacking(size % 2 != 0 ? archive::Packing::Smallest : archive::Packing::Default);
    try {
        archive::PackFolder(zip, root, root + "out.pk3");
    } catch (const Error&) {
        if (fs::exists(stage / "out.pk3"))
            std::abort();  // a failed pack leaves no archive
        return;
    }
    zip.SetFileName(root + "out.pk3");
    zip.SetActive(true);
    const std::vector<std::string> names = zip.FileNames();
    for (const std::string& name : names) {
        if (name.back() == '\\')
            continue;
        fs::path file;
        if (!IsFileOfStage(stage, name, file) || name == "out.pk3")
            std::abort();  // every member is a regular file inside the folder
        const std::string copy = Scratch() + "member";
        zip.ExtractMember(name, copy);
        fs::permissions(platform::ToNative(copy), fs::perms::owner_all, fs::perm_options::add, ec);
        // Names that differ in case only are one member, holding one of their files.
        const std::string bytes = ReadAll(platform::ToNative(copy));
        const auto sameFile = [&](const std::string& m) {
            std::string asMember = m;
            std::replace(asMember.begin(), asMember.end(), '/', '\\');
            return text::EqualsIgnoreCase(asMember, name) && ReadAll(stage / m) == bytes;
        };
        if (bytes != ReadAll(file) && std::none_of(made.begin(), made.end(), sameFile))
            std::abort();
        fs::remove(platform::ToNative(copy), ec);
    }
    zip.SetActive(false);
    if (ReadAll(outside) != "outside")
        std::abort();
    fs::permissions(stage, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(stage, ec);
}

}  // namespace fraglane::fuzz

namespace fraglane::fuzz {

namespace {

// What is shown of a server's text holds no control byte and no bidirectional control.
void CheckShown(const std::string& shown) {
    if (shown.size() > 4096)
        std::abort();
    for (const char c : shown) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            std::abort();
    }
    for (const char* hidden : {"\u202E", "\u202D", "\u2066", "\u2067", "\u200F"}) {
        if (shown.find(hidden) != std::string::npos)
            std::abort();
    }
}

}  // namespace

void ServerInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // A status answer, with and without the challenge it names.
    for (const char* challenge : {"", "0123456789abcdef"}) {
        if (const auto status = server::ParseStatusAnswer(bytes, challenge)) {
            CheckShown(status->map);
            CheckShown(status->hostname);
        }
    }
    // The engine's log: where it listens, why a start failed, the lines as shown.
    (void)server::BoundSocketOfLog(bytes);
    text::ForEachLine(bytes, [](std::string_view line, std::string_view) {
        (void)server::BoundSocketOf(line);
        if (const auto failure = server::StartFailureOf(line))
            CheckShown(*failure);
        CheckShown(server::ShownLogLine(line));
    });
    // The game directory's records, and an rcon answer with the password hidden.
    (void)server::ParseRecord(bytes);
    (void)server::ParseEnd(bytes);
    const std::string answer = server::RconAnswerText(std::string(bytes), false, "fraglane-pw");
    if (answer.find("fraglane-pw") != std::string::npos)
        std::abort();
}

}  // namespace fraglane::fuzz
