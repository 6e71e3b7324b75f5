#include "preview/picture_watch.h"

#include <condition_variable>
#include <mutex>

#include "platform/file_system.h"

namespace fraglane::preview {

std::string FindPicture(const std::string& levelshotsDir, const std::string& base) {
    for (const char* ext : {".tga", ".jpg"}) {
        std::string path = levelshotsDir + base + ext;
        if (platform::FileExists(path))
            return path;
    }
    return {};
}

void WatchPictures(const std::string& levelshotsDir, const std::stop_token& stop,
                   const PictureWatchSink& sink, std::chrono::milliseconds period) {
    using Page = WatchedState::Page;
    std::string lastMap;  // exact names: two that differ in case are two names
    std::string lastBot;
    std::mutex sleepMutex;
    std::condition_variable_any wake;
    while (!stop.stop_requested()) {
        const WatchedState now = sink.sample();
        if (now.page == Page::Map && !now.selectedMap.empty() && now.selectedMap != lastMap) {
            lastMap = now.selectedMap;
            sink.handOver({ImageRequest::Target::MapImage, FindPicture(levelshotsDir, lastMap)});
        }
        if (stop.stop_requested())
            return;
        if (now.page == Page::Bots && now.hasFocusedBot && now.focusedBot != lastBot) {
            lastBot = now.focusedBot;
            sink.handOver(
                {ImageRequest::Target::BotImage, FindPicture(levelshotsDir, "bot_" + lastBot)});
        }
        std::unique_lock lock(sleepMutex);
        wake.wait_for(lock, stop, period, [] { return false; });
    }
}

}  // namespace fraglane::preview
