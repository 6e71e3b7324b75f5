#include "preview/bitmap.h"

namespace fraglane::preview {

void Bitmap::SetSize(int width, int height) {
    if (width <= 0 || height <= 0) {
        width = height = 0;
    }
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    m_pixels = std::move(pixels);
    m_width = width;
    m_height = height;
}

}  // namespace fraglane::preview
