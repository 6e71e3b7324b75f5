#pragma once

#include <QPixmap>

namespace fraglane::app {

// The tab pictures of the upper pages (64 x 64), drawn rather than shipped as files:
// 0 game options, 1 map, 2 bots, 3 display, 4 advanced, 5 rotation.
QPixmap PagePicture(int index);
// The placeholder shown where a map or bot has no picture (128 x 128).
QPixmap PlaceholderPicture(const QString& caption);

}  // namespace fraglane::app
