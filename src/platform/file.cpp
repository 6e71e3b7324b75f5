// What files are alike on every system: appending, and DOS dates.
#include "platform/file.h"

#include <ctime>

namespace fraglane::platform {

namespace {

bool LocalTime(time_t t, tm& local) {
#ifdef _WIN32
    return ::localtime_s(&local, &t) == 0;
#else
    return ::localtime_r(&t, &local) != nullptr;
#endif
}

}  // namespace

bool File::Append(const void* data, size_t n) {
    if (!WriteAt(m_appendAt, data, n))
        return false;
    m_appendAt += n;
    return true;
}

uint32_t ToDosDateTime(int64_t unixSeconds) {
    const time_t t = static_cast<time_t>(unixSeconds);
    tm local{};
    if (!LocalTime(t, local) || local.tm_year < 80) {
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
