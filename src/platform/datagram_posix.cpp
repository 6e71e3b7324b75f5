// The loopback status query on POSIX sockets.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

#include "platform/datagram.h"
#include "platform/owned_posix.h"

namespace fraglane::platform {

bool LoopbackQuery::Send(uint16_t port, std::string_view bytes) {
    m_socket = OwnFd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!m_socket.Valid())
        return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // Connected: only what that address and port send back is received.
    if (::connect(Fd(m_socket), reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0)
        return false;
    return ::send(Fd(m_socket), bytes.data(), bytes.size(), 0) ==
           static_cast<ssize_t>(bytes.size());
}

std::optional<std::string> LoopbackQuery::Receive(int timeoutMs) {
    if (!m_socket.Valid())
        return std::nullopt;
    pollfd wait{Fd(m_socket), POLLIN, 0};
    int ready = 0;
    do {
        ready = ::poll(&wait, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0)
        return std::nullopt;
    std::string answer(65536, '\0');
    const ssize_t n = ::recv(Fd(m_socket), answer.data(), answer.size(), 0);
    if (n < 0)
        return std::nullopt;
    answer.resize(static_cast<size_t>(n));
    return answer;
}

}  // namespace fraglane::platform
