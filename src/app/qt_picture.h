#pragma once

#include <QImage>

#include "preview/bitmap.h"

namespace fraglane::app {

// The one place where a core bitmap becomes a Qt image (a copy; empty for an empty bitmap).
QImage ToQImage(const preview::Bitmap& bitmap);

}  // namespace fraglane::app
