// The level shot of the selected map and the icon of the focused bot.
#include "app/main_window.h"

#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>

#include "app/qt_convert.h"
#include "app/qt_picture.h"
#include "platform/text.h"
#include "preview/picture_loader.h"
#include "preview/targa.h"

namespace fraglane::app {

void T_Main::ThreadGetMapImageExecute(jobs::JobThread& thread) {
    preview::PictureWatchSink sink;
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
            if (QTreeWidgetItem* bot = cBot->currentItem()) {
                state.hasFocusedBot = true;
                state.focusedBot = ToStd(bot->text(cBotBot));
            }
        });
        return state;
    };
    sink.handOver = [&](const preview::ImageRequest& request) {
        thread.Synchronize([&] { SynchroLoadMapImage(request); });
    };
    preview::WatchPictures(LevelshotsDir, thread.StopToken(), sink);
}

void T_Main::SynchroLoadMapImage(const preview::ImageRequest& request) {
    QLabel* target = request.image == preview::ImageRequest::Target::MapImage ? MapImage : BotImage;
    target->clear();
    const QPixmap placeholder = ImageNone->pixmap();
    if (request.fileName.empty()) {
        target->setPixmap(placeholder);
        return;
    }
    preview::Bitmap bitmap;
    try {
        if (text::EqualsIgnoreCase(text::ExtractFileExt(request.fileName), ".tga")) {
            // A picture the reader rejects leaves the bitmap empty: an empty picture shows.
            preview::LoadTGABitmap(request.fileName, bitmap);
        } else {
            preview::LoadPicture(request.fileName, bitmap);  // decoded in full, here
        }
        target->setPixmap(QPixmap::fromImage(ToQImage(bitmap)));
    } catch (const std::exception&) {
        target->setPixmap(placeholder);
    }
}

}  // namespace fraglane::app
