#include "app/qt_picture.h"

#include <cstring>

namespace fraglane::app {

QImage ToQImage(const preview::Bitmap& bitmap) {
    if (bitmap.Empty())
        return {};
    QImage image(bitmap.Width(), bitmap.Height(), QImage::Format_BGR888);
    for (int y = 0; y < bitmap.Height(); ++y)
        std::memcpy(image.scanLine(y), bitmap.ScanLine(y), bitmap.Stride());
    return image;
}

}  // namespace fraglane::app
