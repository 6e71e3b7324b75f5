#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/owned.h"

// One question to a UDP service on this machine and its answer: the game server's status
// query. Only the loopback address is ever asked.
namespace fraglane::platform {

class LoopbackQuery {
public:
    // Sends bytes from a fresh socket to 127.0.0.1:port; false when it cannot (no socket, or
    // no such service on this system's side of the program).
    bool Send(uint16_t port, std::string_view bytes);
    // The answer from that port (at most 64 KiB), waiting up to timeoutMs for it; 0 takes only
    // an answer that is there already. Nothing when none came or the port refused.
    std::optional<std::string> Receive(int timeoutMs);

private:
    OwnedHandle m_socket;
};

}  // namespace fraglane::platform
