#include "support/jpeg_file.h"

#include <cstdio>  // jpeglib.h needs FILE
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include <jpeglib.h>

namespace fraglane::test {

std::string SolidJpeg(int width, int height, std::uint8_t red, std::uint8_t green,
                      std::uint8_t blue) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);  // a test helper: libjpeg's own exit on failure
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<JSAMPLE> row;
    for (int x = 0; x < width; ++x)
        row.insert(row.end(), {red, green, blue});
    while (info.next_scanline < info.image_height) {
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::string bytes(reinterpret_cast<const char*>(out), size);
    std::free(out);  // NOLINT(cppcoreguidelines-no-malloc): libjpeg's buffer
    if (bytes.empty())
        throw std::runtime_error("libjpeg wrote nothing");
    return bytes;
}

}  // namespace fraglane::test
