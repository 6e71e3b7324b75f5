#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "preview/bitmap.h"

// The general picture loader: decoders registered by file extension, chosen by the
// extension of the file to load. TGA is not among them; its callers use TARGA directly.
namespace fraglane::preview {

// Decodes a file into out; false with the reason in *why when it cannot.
using PictureDecoder = bool (*)(std::string_view fileName, Bitmap& out, std::string* why);

struct PictureFormat {
    std::string extension;  // without the dot, lower-case
    std::string description;
    PictureDecoder decoder;
};

void RegisterPictureFormat(std::string_view extension, std::string_view description,
                           PictureDecoder decoder);
// Removes every extension registered with this decoder.
void UnregisterPictureFormat(PictureDecoder decoder);
std::vector<PictureFormat> PictureFormats();

// Loads a picture with the decoder of its extension (ASCII case ignored). The whole picture
// is decoded here. Throws Error when no decoder is registered for it or the decoder fails.
void LoadPicture(std::string_view fileName, Bitmap& out);
// Loads a level shot or an icon: a ".tga" (any case) with the TGA reader, anything else with
// the decoder of its extension. Throws Error as those do.
void LoadShownPicture(std::string_view fileName, Bitmap& out);

}  // namespace fraglane::preview
