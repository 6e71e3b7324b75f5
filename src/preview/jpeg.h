#pragma once

#include <string>
#include <string_view>

#include "preview/bitmap.h"

// The JPEG decoder, on IJG libjpeg: the only file that includes jpeglib.h.
namespace fraglane::preview {

// Decodes a whole JPEG file into out (24 bits a pixel). False with the reason on any error of
// libjpeg (which reports here instead of ending the program), on a file that cannot be read,
// and on pictures beyond 8192 x 8192; out is then left as it was.
bool DecodeJpeg(std::string_view fileName, Bitmap& out, std::string* why);

// Registers the decoder with the picture loader for "jpeg" and "jpg" ("JPEG Image File") for
// its lifetime: made at program start, destroyed at its end.
class JpegRegistration {
public:
    JpegRegistration();
    ~JpegRegistration();
    JpegRegistration(const JpegRegistration&) = delete;
    JpegRegistration& operator=(const JpegRegistration&) = delete;
};

}  // namespace fraglane::preview
