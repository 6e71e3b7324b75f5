#include "repack/bsp_textures.h"

#include "platform/file_system.h"
#include "platform/text.h"

namespace fraglane::repack {

namespace {

// The 8 bytes after a "t" read "extures/", letters folded; a zero byte ends the comparison.
bool IsExtures(std::string_view eight) {
    static constexpr std::string_view Want = "extures/";
    for (size_t i = 0; i < Want.size(); ++i) {
        if (eight[i] == '\0' || text::LowerAscii(eight[i]) != Want[i])
            return false;
    }
    return true;
}

}  // namespace

void ScanBspBytes(RepackRun& run, std::string_view bytes) {
    size_t pos = 0;
    while (bytes.size() > 0 && pos < bytes.size() - 1) {
        if (bytes[pos++] != 't')
            continue;
        if (bytes.size() - pos < 8)
            return;
        const std::string_view eight = bytes.substr(pos, 8);
        pos += 8;  // these bytes are not looked at again
        if (!IsExtures(eight))
            continue;
        const size_t zero = bytes.find('\0', pos);
        if (zero == std::string_view::npos)
            return;  // cut short by the end of the file: not a name
        std::string name = "textures/" + std::string(bytes.substr(pos, zero + 1 - pos));
        pos = zero + 1;
        for (char& c : name) {
            if (c == '/')
                c = '\\';
        }
        run.AddTexture(TrimControls(name));
    }
}

void ScanBspTextures(RepackRun& run, std::string_view memberName) {
    ScanBspBytes(run, platform::ReadRegularFile(run.tempDir + std::string(memberName)));
}

}  // namespace fraglane::repack
