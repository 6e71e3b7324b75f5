// The level shot of the selected map and the icon of the focused bot.
#include "app/main_window.h"

#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>

#include "app/qt_convert.h"
#include "app/qt_picture.h"
#include "preview/picture_loader.h"

namespace fraglane::app {

namespace {

// A picture file decoded for showing, on the picture job's thread, so that no picture, however
// large, holds up the window: a TGA the reader rejects is an empty picture, a file that
// cannot be read at all, or a JPEG libjpeg refuses, the placeholder.
struct DecodedPicture {
    QImage image;
    bool placeholder = false;
};

// fitInto: the size of the control that shows it. A larger picture is scaled down to it here,
// as the control would scale it at every paint (smoothly, ignoring the aspect ratio).
DecodedPicture Decode(const std::string& fileName, QSize fitInto) {
    DecodedPicture decoded;
    if (fileName.empty()) {
        decoded.placeholder = true;
        return decoded;
    }
    preview::Bitmap bitmap;
    try {
        preview::LoadShownPicture(fileName, bitmap);
        decoded.image = ToQImage(bitmap);
        if (decoded.image.width() > fitInto.width() || decoded.image.height() > fitInto.height()) {
            decoded.image =
                decoded.image.scaled(fitInto, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        }
    } catch (const std::exception&) {
        decoded.placeholder = true;
    }
    return decoded;
}

}  // namespace

void T_Main::ThreadGetMapImageExecute(jobs::JobThread& thread) {
    preview::PictureWatchSink sink;
    QSize mapSize, botSize;  // the picture controls' sizes, read on the window's thread
    // The page, the selected map and the focused bot are read in one short call on the
    // window's thread: the scan may be rebuilding the bot list meanwhile.
    sink.sample = [&] {
        preview::WatchedState state;
        thread.Synchronize([&] {
            QWidget* page = PageControl->currentWidget();
            state.page = page == TabMap    ? preview::WatchedState::Page::Map
                         : page == TabBots ? preview::WatchedState::Page::Bots
                                           : preview::WatchedState::Page::Other;
            state.selectedMap = ToStd(cSelectedMap->text());
            mapSize = MapImage->size();
            botSize = BotImage->size();
            if (const int bot = cBot->CurrentRow(); bot >= 0) {
                state.hasFocusedBot = true;
                state.focusedBot = cBot->Cell(bot, cBotBot);
            }
        });
        return state;
    };
    sink.handOver = [&](const preview::ImageRequest& request) {
        const bool map = request.image == preview::ImageRequest::Target::MapImage;
        const DecodedPicture decoded = Decode(request.fileName, map ? mapSize : botSize);
        thread.Synchronize(
            [&] { SynchroLoadMapImage(request, decoded.image, decoded.placeholder); });
    };
    preview::WatchPictures(LevelshotsDir, thread.StopToken(), sink);
}

void T_Main::SynchroLoadMapImage(const preview::ImageRequest& request, const QImage& image,
                                 bool placeholder) {
    const bool map = request.image == preview::ImageRequest::Target::MapImage;
    QLabel* target = map ? MapImage : BotImage;
    target->clear();
    if (!placeholder) {
        target->setPixmap(QPixmap::fromImage(image));
    } else if (map) {
        target->setPixmap(ImageNone->pixmap());
    } else {
        target->setPixmap(BotIconNone);
    }
}

}  // namespace fraglane::app
