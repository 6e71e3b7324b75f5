#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "preview/bitmap.h"

// The module TARGA: a reader of its own for the TGA (Truevision) pictures the game ships as
// level shots and icons: uncompressed and run-length, colour-mapped with a 24-bit map, grey,
// and true colour of 16, 24 and 32 bits.
namespace fraglane::preview {

// The 18 bytes at the start of a TGA file ("Image File Header" of the TGA 2.0 format).
struct TGAHeader {
    uint8_t idLength = 0;
    uint8_t colorMapType = 0;
    uint8_t imageType = 0;
    uint16_t colorMapStart = 0;
    uint16_t colorMapLength = 0;
    uint8_t colorMapEntrySize = 0;
    uint16_t xOrigin = 0;
    uint16_t yOrigin = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    uint8_t pixelDepth = 0;
    uint8_t descriptor = 0;
};

// Reads a TGA file into a pixel buffer: width x height pixels, the first row the bottom of
// the picture, rows left to right, 3 bytes a pixel (blue, green, red) or 4 for 32-bit
// pictures (alpha kept). On success the header's pixel depth is the buffer's (24 or 32).
// False on any failure; the reason is kept in *why when given. The file is closed on every
// path, and no buffer is sized from the header beyond what the file can hold.
bool LoadTGAFile(std::string_view fileName, TGAHeader& header, std::vector<uint8_t>& pixels,
                 std::string* why = nullptr);

// Fills the bitmap with the picture (24 bits a pixel, upright). On any failure of reading the
// bitmap is left exactly as it was, and the call returns normally.
void LoadTGABitmap(std::string_view fileName, Bitmap& bitmap);

}  // namespace fraglane::preview
