#include "preview/picture_loader.h"

#include <algorithm>
#include <mutex>

#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "preview/targa.h"

namespace fraglane::preview {

namespace {

std::mutex FormatsMutex;
std::vector<PictureFormat>& Formats() {
    static std::vector<PictureFormat> formats;
    return formats;
}

}  // namespace

void RegisterPictureFormat(std::string_view extension, std::string_view description,
                           PictureDecoder decoder) {
    std::lock_guard lock(FormatsMutex);
    Formats().push_back({text::LowerCase(extension), std::string(description), decoder});
}

void UnregisterPictureFormat(PictureDecoder decoder) {
    std::lock_guard lock(FormatsMutex);
    std::erase_if(Formats(), [&](const PictureFormat& f) { return f.decoder == decoder; });
}

std::vector<PictureFormat> PictureFormats() {
    std::lock_guard lock(FormatsMutex);
    return Formats();
}

void LoadPicture(std::string_view fileName, Bitmap& out) {
    std::string_view ext = text::ExtractFileExt(fileName);
    if (!ext.empty())
        ext.remove_prefix(1);
    PictureDecoder decoder = nullptr;
    {
        std::lock_guard lock(FormatsMutex);
        for (const PictureFormat& f : Formats()) {
            if (text::EqualsIgnoreCase(f.extension, ext)) {
                decoder = f.decoder;
                break;
            }
        }
    }
    const std::string shown = platform::DisplayPath(fileName);
    if (decoder == nullptr)
        throw Error("Unknown picture file extension (." + std::string(ext) + ")");
    std::string why;
    if (!decoder(fileName, out, &why))
        throw Error("Cannot load picture " + shown + ": " + why);
}

void LoadShownPicture(std::string_view fileName, Bitmap& out) {
    if (text::EqualsIgnoreCase(text::ExtractFileExt(fileName), ".tga"))
        LoadTGABitmap(fileName, out);
    else
        LoadPicture(fileName, out);
}

}  // namespace fraglane::preview
