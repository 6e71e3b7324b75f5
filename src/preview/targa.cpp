#include "preview/targa.h"

#include <algorithm>
#include <cstring>

#include "platform/byte_reader.h"
#include "platform/error.h"
#include "platform/file.h"

namespace fraglane::preview {

namespace {

using platform::ByteReader;

constexpr size_t HeaderSize = 18;

bool Fail(std::string* why, const char* reason) {
    if (why != nullptr)
        *why = reason;
    return false;
}

bool IsColorMapped(uint8_t type) {
    return type == 1 || type == 9;
}
bool IsRunLength(uint8_t type) {
    return type == 9 || type == 10 || type == 11;
}

// The pairs of image type and pixel depth this reader decodes.
bool Decodable(uint8_t type, uint8_t depth) {
    switch (type) {
        case 1:
        case 9:
        case 3:
        case 11:
            return depth == 8;
        case 2:
        case 10:
            return depth == 16 || depth == 24 || depth == 32;
        default:
            return false;
    }
}

TGAHeader ReadHeader(ByteReader& in) {
    TGAHeader h;
    h.idLength = in.U8();
    h.colorMapType = in.U8();
    h.imageType = in.U8();
    h.colorMapStart = in.U16();
    h.colorMapLength = in.U16();
    h.colorMapEntrySize = in.U8();
    h.xOrigin = in.U16();
    h.yOrigin = in.U16();
    h.width = in.U16();
    h.height = in.U16();
    h.pixelDepth = in.U8();
    h.descriptor = in.U8();
    return h;
}

// Turns stored pixels into buffer bytes (blue, green, red[, alpha]), written in place into a
// buffer sized once; colour-mapped and grey pixels keep their one byte here, replaced
// afterwards (colour map) or spread (grey).
class PixelWriter {
public:
    PixelWriter(unsigned depth, uint8_t* out) : m_depth(depth), m_out(out) {}

    void Put(const uint8_t* p) {
        switch (m_depth) {
            case 8:
                *m_out++ = p[0];
                break;
            case 16: {
                const auto v = static_cast<unsigned>(p[0] | (p[1] << 8));
                *m_out++ = static_cast<uint8_t>((v & 31) * 8);
                *m_out++ = static_cast<uint8_t>(((v >> 5) & 31) * 8);
                *m_out++ = static_cast<uint8_t>(((v >> 10) & 31) * 8);
                break;
            }
            case 24:
                std::memcpy(m_out, p, 3);
                m_out += 3;
                break;
            default:
                std::memcpy(m_out, p, 4);
                m_out += 4;
                break;
        }
    }
    // The same stored pixel n times.
    void Repeat(const uint8_t* p, size_t n) {
        uint8_t* first = m_out;
        Put(p);
        const size_t size = static_cast<size_t>(m_out - first);
        for (size_t i = 1; i < n; ++i, m_out += size)
            std::memcpy(m_out, first, size);
    }
    // n stored pixels one after another.
    void Copy(const uint8_t* p, size_t n) {
        if (m_depth == 24 || m_depth == 32 || m_depth == 8) {
            const size_t bytes = n * (m_depth / 8u);
            std::memcpy(m_out, p, bytes);
            m_out += bytes;
            return;
        }
        for (size_t i = 0; i < n; ++i, p += 2)
            Put(p);
    }

private:
    unsigned m_depth;
    uint8_t* m_out;
};

// The colour map of a colour-mapped picture (24-bit entries only), or skips one a true-colour
// or grey picture carries unused. The reader stands after the image ID.
bool ReadColorMap(ByteReader& in, const TGAHeader& h, std::vector<uint8_t>& colorMap,
                  std::string* why) {
    if (IsColorMapped(h.imageType)) {
        if (h.colorMapType != 1 || h.colorMapEntrySize != 24)
            return Fail(why, "a colour map of other than 24-bit entries");
        const size_t size = size_t{h.colorMapLength} * 3;
        if (size > in.Remaining())
            return Fail(why, "the file ends inside the colour map");
        const auto map = in.Bytes().subspan(in.Position(), size);
        colorMap.assign(map.begin(), map.end());
        in.Skip(size);
    } else if (h.colorMapType == 1) {
        in.Skip(size_t{h.colorMapLength} * ((h.colorMapEntrySize + 7u) / 8u));
    }
    return true;
}

// count pixels as stored, raw or in run-length packets, into writer. A packet that runs past
// the last pixel is cut; bytes are taken from the reader, which raises past its end.
void DecodePixels(ByteReader& in, const TGAHeader& h, size_t count, PixelWriter& writer) {
    if (!IsRunLength(h.imageType)) {
        writer.Copy(in.Bytes().data() + in.Position(), count);
        return;
    }
    const size_t stored = h.pixelDepth / 8u;
    size_t produced = 0;
    while (produced < count) {
        const uint8_t packet = in.U8();
        const size_t n = (packet & 0x7Fu) + 1u;
        const size_t keep = std::min(n, count - produced);  // the excess is dropped
        const uint8_t* p = in.Bytes().data() + in.Position();
        if ((packet & 0x80) != 0) {
            in.Skip(stored);  // checked before the bytes are used
            writer.Repeat(p, keep);
        } else {
            in.Skip(n * stored);
            writer.Copy(p, keep);
        }
        produced += keep;
    }
}

// One-byte pixels become three: a colour map entry (black past the map's end), or a grey
// value spread.
std::vector<uint8_t> WidenOneBytePixels(const std::vector<uint8_t>& narrow, const TGAHeader& h,
                                        const std::vector<uint8_t>& colorMap) {
    std::vector<uint8_t> wide(narrow.size() * 3);
    for (size_t i = 0; i < narrow.size(); ++i) {
        uint8_t* px = &wide[i * 3];
        const uint8_t v = narrow[i];
        if (IsColorMapped(h.imageType)) {
            if (size_t{v} < h.colorMapLength)
                std::copy_n(&colorMap[size_t{v} * 3], 3, px);
        } else {
            px[0] = px[1] = px[2] = v;
        }
    }
    return wide;
}

// Turns the pixels as stored into left to right, bottom to top (the descriptor's bits 4, 5).
void Orient(std::vector<uint8_t>& pixels, const TGAHeader& h, size_t pixelSize) {
    const size_t rowBytes = size_t{h.width} * pixelSize;
    if ((h.descriptor & 0x10) != 0) {  // stored right to left
        for (size_t r = 0; r < h.height; ++r) {
            uint8_t* row = &pixels[r * rowBytes];
            for (size_t a = 0, b = h.width - 1u; a < b; ++a, --b) {
                std::swap_ranges(row + a * pixelSize, row + a * pixelSize + pixelSize,
                                 row + b * pixelSize);
            }
        }
    }
    if ((h.descriptor & 0x20) != 0) {  // stored top to bottom
        for (size_t r = 0; r < h.height / 2u; ++r) {
            std::swap_ranges(
                pixels.begin() + static_cast<std::ptrdiff_t>(r * rowBytes),
                pixels.begin() + static_cast<std::ptrdiff_t>((r + 1) * rowBytes),
                pixels.begin() + static_cast<std::ptrdiff_t>((h.height - 1u - r) * rowBytes));
        }
    }
}

// The file's bytes, no more than the largest picture this reader accepts could need,
// whatever the size of the file: header, image ID, colour map, and five bytes a pixel (a raw
// packet of one 32-bit pixel).
bool ReadBounded(std::string_view fileName, std::vector<uint8_t>& bytes, std::string* why) {
    try {
        platform::File file = platform::File::OpenExisting(fileName, false);
        constexpr uint64_t MostNeeded =
            HeaderSize + 255 + 65535ull * 4 + uint64_t{MaxPictureSide} * MaxPictureSide * 5;
        bytes.resize(static_cast<size_t>(std::min(file.Size(), MostNeeded)));
        if (!file.ReadAt(0, bytes.data(), bytes.size()))
            return Fail(why, "the file cannot be read");
        return true;
    } catch (const std::exception&) {
        return Fail(why, "the file cannot be opened");
    }
}

}  // namespace

bool LoadTGAFile(std::string_view fileName, TGAHeader& header, std::vector<uint8_t>& pixels,
                 std::string* why) {
    std::vector<uint8_t> bytes;
    if (!ReadBounded(fileName, bytes, why))
        return false;
    try {
        ByteReader in(bytes);
        TGAHeader h = ReadHeader(in);
        in.Skip(h.idLength);
        std::vector<uint8_t> colorMap;
        if (!ReadColorMap(in, h, colorMap, why))
            return false;
        if (!Decodable(h.imageType, h.pixelDepth))
            return Fail(why, "an image type and pixel depth this reader does not decode");
        if (h.width == 0 || h.height == 0)
            return Fail(why, "a picture without pixels");
        if (h.width > MaxPictureSide || h.height > MaxPictureSide)
            return Fail(why, "a picture larger than 8192 x 8192");

        const size_t count = size_t{h.width} * h.height;
        // Checked before anything is allocated: uncompressed pixels must all be in the file;
        // a run-length packet of at least one byte yields at most 128 pixels.
        if (!IsRunLength(h.imageType) && count * (h.pixelDepth / 8u) > in.Remaining())
            return Fail(why, "the file ends before the pixels its header promises");
        if (IsRunLength(h.imageType) && count > in.Remaining() * 128)
            return Fail(why, "the file is too short for the pixels its header promises");

        std::vector<uint8_t> out(count * (h.pixelDepth == 8 ? 1 : h.pixelDepth == 32 ? 4 : 3));
        PixelWriter writer(h.pixelDepth, out.data());
        DecodePixels(in, h, count, writer);
        if (h.pixelDepth == 8)
            out = WidenOneBytePixels(out, h, colorMap);
        Orient(out, h, h.pixelDepth == 32 ? 4 : 3);
        h.pixelDepth = h.pixelDepth == 32 ? 32 : 24;
        header = h;
        pixels = std::move(out);
        return true;
    } catch (const platform::ReadPastEnd&) {
        return Fail(why, "the file ends before the bytes its header promises");
    } catch (const std::bad_alloc&) {
        return Fail(why, "no memory for the picture");
    }
}

void LoadTGABitmap(std::string_view fileName, Bitmap& bitmap) {
    TGAHeader header;
    std::vector<uint8_t> pixels;
    if (!LoadTGAFile(fileName, header, pixels))
        return;
    const size_t step = header.pixelDepth == 32 ? 4 : 3;
    bitmap.SetSize(header.width, header.height);
    for (int r = 0; r < header.height; ++r) {
        const uint8_t* from = &pixels[static_cast<size_t>(r) * header.width * step];
        uint8_t* to = bitmap.ScanLine(header.height - 1 - r);
        for (int x = 0; x < header.width; ++x, from += step, to += 3)
            std::copy_n(from, 3, to);
    }
}

}  // namespace fraglane::preview
