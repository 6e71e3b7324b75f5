#pragma once

#include <chrono>
#include <functional>
#include <stop_token>
#include <string>

// The picture job: every cycle it samples what the window shows and, when the selected map or
// the focused bot has changed on its page, looks up the picture file in the picture cache
// and hands it to the window, which decodes and shows it. A job body: it knows nothing of the
// window or the job machinery.
namespace fraglane::preview {

// What the window shows, sampled in one short call on its thread.
struct WatchedState {
    enum class Page { Other, Map, Bots };
    Page page = Page::Other;
    std::string selectedMap;
    bool hasFocusedBot = false;
    std::string focusedBot;
};

// The picture to show in one of the two picture controls; an empty file name: none.
struct ImageRequest {
    enum class Target { MapImage, BotImage };
    Target image = Target::MapImage;
    std::string fileName;
};

struct PictureWatchSink {
    std::function<WatchedState()> sample;
    // Synchronous: returns when the window has shown the picture.
    std::function<void(const ImageRequest&)> handOver;
};

// Runs until stop is requested, sleeping period between cycles (woken at once by a stop). A
// cycle that finds no change touches no file.
void WatchPictures(const std::string& levelshotsDir, const std::stop_token& stop,
                   const PictureWatchSink& sink,
                   std::chrono::milliseconds period = std::chrono::milliseconds(100));

// The picture file of a name in the cache: base + ".tga", or else base + ".jpg", or empty.
std::string FindPicture(const std::string& levelshotsDir, const std::string& base);

}  // namespace fraglane::preview
