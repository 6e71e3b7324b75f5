#include "preview/jpeg.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

#include "platform/file_system.h"
#include "preview/picture_loader.h"

namespace fraglane::preview {

namespace {

// libjpeg's error manager ends the program on an error; this one jumps back to the decoder
// with the message kept.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

extern "C" void OnJpegError(j_common_ptr info) {
    auto* manager = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, manager->message);
    std::longjmp(manager->jump, 1);
}

extern "C" void OnJpegMessage(j_common_ptr) {
    // Warnings of a damaged file are not printed; an error still fails the decoding.
}

// A JPEG file is read whole into memory for libjpeg; one larger than this is refused.
constexpr size_t MaxJpegFile = size_t{256} << 20;
// The most pixels a byte of JPEG file is taken to stand for (a one-colour picture compresses
// to a few hundred pixels a byte).
constexpr uint64_t MaxPixelsPerByte = 2000;

// The decoding itself, with nothing in its frame that a jump out of libjpeg would skip.
bool Decode(const std::string& bytes, Bitmap& decoded, char* message) {
    jpeg_decompress_struct info{};
    ErrorManager errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = OnJpegError;
    errors.base.output_message = OnJpegMessage;
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_decompress(&info);
        std::snprintf(message, JMSG_LENGTH_MAX, "%s", errors.message);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()),
                 static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    if (info.image_width > static_cast<JDIMENSION>(MaxPictureSide) ||
        info.image_height > static_cast<JDIMENSION>(MaxPictureSide)) {
        jpeg_destroy_decompress(&info);
        std::snprintf(message, JMSG_LENGTH_MAX, "a picture larger than 8192 x 8192");
        return false;
    }
    // Checked before the pixels are allocated: a few bytes claiming a huge picture get no
    // memory for it. Real pictures stay far below this many pixels a byte of file.
    const uint64_t pixels = uint64_t{info.image_width} * info.image_height;
    if (pixels > std::max<uint64_t>(uint64_t{1} << 20, uint64_t{bytes.size()} * MaxPixelsPerByte)) {
        jpeg_destroy_decompress(&info);
        std::snprintf(message, JMSG_LENGTH_MAX, "more pixels than the file can hold");
        return false;
    }
    info.out_color_space = JCS_EXT_BGR;  // the bitmap's byte order, written in place
    jpeg_start_decompress(&info);
    decoded.SetSize(static_cast<int>(info.output_width), static_cast<int>(info.output_height));
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = decoded.ScanLine(static_cast<int>(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

bool DecodeForLoader(std::string_view fileName, Bitmap& out, std::string* why) {
    return DecodeJpeg(fileName, out, why);
}

}  // namespace

bool DecodeJpeg(std::string_view fileName, Bitmap& out, std::string* why) {
    std::string bytes;
    try {
        bytes = platform::ReadRegularFile(fileName, MaxJpegFile + 1);
    } catch (const std::exception& e) {
        if (why != nullptr)
            *why = e.what();
        return false;
    }
    if (bytes.size() > MaxJpegFile) {
        if (why != nullptr)
            *why = "a file larger than 256 MiB";
        return false;
    }
    Bitmap decoded;
    char message[JMSG_LENGTH_MAX] = {};
    if (!Decode(bytes, decoded, message)) {
        if (why != nullptr)
            *why = message;
        return false;
    }
    out = std::move(decoded);
    return true;
}

JpegRegistration::JpegRegistration() {
    RegisterPictureFormat("jpeg", "JPEG Image File", DecodeForLoader);
    RegisterPictureFormat("jpg", "JPEG Image File", DecodeForLoader);
}

JpegRegistration::~JpegRegistration() {
    UnregisterPictureFormat(DecodeForLoader);
}

}  // namespace fraglane::preview
