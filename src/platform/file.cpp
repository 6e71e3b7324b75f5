// What files are alike on every system: appending, and DOS dates.
#include "platform/file.h"

#include <algorithm>
#include <ctime>
#include <mutex>
#include <vector>

#include "platform/file_system.h"
#include "platform/text.h"

namespace fraglane::platform {

namespace {

std::mutex ConfinedMutex;
std::vector<std::string> ConfinedFolders;  // program path text, each ending in "\"

}  // namespace

void ConfineWrites(std::string_view folder) {
    std::string confined = IncludeTrailingBackslash(folder);
    std::lock_guard lock(ConfinedMutex);
    const bool known =
        std::any_of(ConfinedFolders.begin(), ConfinedFolders.end(),
                    [&](const std::string& f) { return text::EqualsIgnoreCase(f, confined); });
    if (!known)
        ConfinedFolders.push_back(std::move(confined));
}

std::string ConfiningFolder(std::string_view path) {
    std::lock_guard lock(ConfinedMutex);
    for (const std::string& folder : ConfinedFolders) {
        if (path.size() > folder.size() && text::StartsWithIgnoreCase(path, folder))
            return folder;
    }
    return {};
}

bool File::Append(const void* data, size_t n) {
    if (!WriteAt(m_appendAt, data, n))
        return false;
    m_appendAt += n;
    return true;
}

uint32_t ToDosDateTime(int64_t unixSeconds) {
    std::tm local{};
    if (!LocalTime(unixSeconds, local) || local.tm_year < 80) {
        return (1u << 21) | (1u << 16);  // 1980-01-01 00:00, the earliest DOS date
    }
    if (local.tm_year - 80 > 127)
        local.tm_year = 80 + 127;  // the last year DOS dates hold
    const uint32_t date = static_cast<uint32_t>(((local.tm_year - 80) << 9) |
                                                ((local.tm_mon + 1) << 5) | local.tm_mday);
    const uint32_t time =
        static_cast<uint32_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
    return (date << 16) | time;
}

uint32_t CurrentDosDateTime() {
    return ToDosDateTime(::time(nullptr));
}

}  // namespace fraglane::platform
