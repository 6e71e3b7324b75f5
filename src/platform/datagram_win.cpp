// The loopback status query is asked on Linux only, where the program runs the engine itself.
#include "platform/datagram.h"

namespace fraglane::platform {

bool LoopbackQuery::Send(uint16_t, std::string_view) {
    return false;
}

std::optional<std::string> LoopbackQuery::Receive(int) {
    return std::nullopt;
}

}  // namespace fraglane::platform
