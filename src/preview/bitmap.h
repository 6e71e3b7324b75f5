#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace fraglane::preview {

// Pictures beyond this in width or height are refused by every decoder, whatever the file holds.
inline constexpr int MaxPictureSide = 8192;

// A picture of 24 bits per pixel (blue, green, red), with directly writable scan lines, scan
// line 0 at the top. An empty bitmap has width and height 0.
class Bitmap {
public:
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    bool Empty() const { return m_width == 0 || m_height == 0; }
    // Sizes the bitmap (its pixels black); the old pixels are gone.
    void SetSize(int width, int height);
    uint8_t* ScanLine(int y) { return m_pixels.data() + static_cast<size_t>(y) * Stride(); }
    const uint8_t* ScanLine(int y) const {
        return m_pixels.data() + static_cast<size_t>(y) * Stride();
    }
    size_t Stride() const { return static_cast<size_t>(m_width) * 3; }

private:
    int m_width = 0;
    int m_height = 0;
    std::vector<uint8_t> m_pixels;
};

}  // namespace fraglane::preview
