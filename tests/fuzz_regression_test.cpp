#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "fuzz_bodies.h"

namespace fraglane::fuzz {
namespace {

void ReplayAll(const char* folder, void (*body)(const uint8_t*, size_t)) {
    const std::filesystem::path base = std::filesystem::path(FRAGLANE_FUZZ_DIR) / folder;
    // A folder that moved would otherwise replay nothing and pass.
    ASSERT_TRUE(std::filesystem::is_directory(base)) << base;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(base)) {
        if (!entry.is_regular_file() || entry.path().filename().string().front() == '.')
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        const std::string bytes = s.str();
        SCOPED_TRACE(entry.path().string());
        body(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
}

TEST(FuzzRegressions, KeptArchiveInputsReadCleanly) {
    ReplayAll("regressions/pk3", Pk3Input);
    ReplayAll("corpus/pk3", Pk3Input);
}

TEST(FuzzRegressions, KeptSettingsInputsReadCleanly) {
    ReplayAll("regressions/profile", ProfileInput);
    ReplayAll("corpus/profile", ProfileInput);
}

TEST(FuzzRegressions, KeptPictureInputsReadCleanly) {
    ReplayAll("regressions/tga", TgaInput);
    ReplayAll("corpus/tga", TgaInput);
    ReplayAll("regressions/jpeg", JpegInput);
    ReplayAll("corpus/jpeg", JpegInput);
}

TEST(FuzzRegressions, KeptServerInputsReadCleanly) {
    ReplayAll("regressions/server", ServerInput);
    ReplayAll("corpus/server", ServerInput);
}

TEST(FuzzRegressions, KeptRepackInputsReadCleanly) {
    ReplayAll("regressions/bsp", BspInput);
    ReplayAll("corpus/bsp", BspInput);
    ReplayAll("regressions/shader", ShaderInput);
    ReplayAll("corpus/shader", ShaderInput);
    ReplayAll("regressions/pack", PackInput);
    ReplayAll("corpus/pack", PackInput);
}

}  // namespace
}  // namespace fraglane::fuzz
