#include "fuzz_bodies.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "archive/pk3_archive.h"
#include "catalogue/catalogue.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "preview/jpeg.h"
#include "preview/targa.h"
#include "repack/bsp_textures.h"
#include "repack/repack_run.h"
#include "repack/shader_script.h"
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

void Pk3Input(const uint8_t* data, size_t size) {
    const std::string path = WriteInput("input.pk3", data, size);
    archive::Pk3Archive zip;
    zip.SetFileName(path);
    try {
        zip.SetActive(true);
    } catch (const Error&) {
        return;
    }
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
        if (!repack::IsStagingSafe(name))
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

}  // namespace fraglane::fuzz
