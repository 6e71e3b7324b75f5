#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "support/temp_dir.h"

// A game directory that Debian's dedicated server serves from OpenArena's archives: the
// archives in baseoa/ beside OpenArena's game module, and settings that name the engine with
// the words OpenArena needs, a map, a bot, and a host name with a blank in it. Loopback only,
// on a port that was free; the server's home folder lies inside the game directory.
namespace fraglane::test {

inline constexpr const char* Engine = "/usr/lib/ioquake3/ioq3ded";
inline constexpr const char* GameModule = "/usr/lib/openarena-server/baseoa/qagamex86_64.so";
inline constexpr const char* OpenArena = "/usr/share/games/openarena/baseoa";

inline bool EngineInstalled() {
    return std::filesystem::exists(Engine) && std::filesystem::exists(GameModule) &&
           std::filesystem::exists(std::string(OpenArena) + "/pak0.pk3");
}

// A UDP port on the loopback that nothing holds now.
inline int FreePort() {
    const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
    ::close(s);
    return ntohs(a.sin_port);
}

// Lays out the game directory and returns the port its server will listen on.
inline int ServeOpenArena(const TempDir& game, const std::string& map = "oa_dm1") {
    game.MakeDir("baseoa");
    for (const auto& e : std::filesystem::directory_iterator(OpenArena)) {
        if (e.path().extension() == ".pk3")
            std::filesystem::create_symlink(e.path(), game.Path("baseoa/" +
                                                                e.path().filename().string()));
    }
    std::filesystem::create_symlink(GameModule, game.Path("baseoa/qagamex86_64.so"));
    const int port = FreePort();
    game.Write("fraglane.ini",
               "[mods]\r\nselected=baseoa\r\ncount=1\r\nmod0=baseoa\r\n[maps]\r\nselected=" + map +
                   "\r\n[bots]\r\nselectedcount=1\r\nselected0=addbot sarge 3 blue\r\n"
                   "[advanced]\r\nengine=" + Engine +
                   " +set com_basegame baseoa +set fs_homepath \"" + game.Native() +
                   "home\" +set sv_master1 \"\"\r\npre_cmd=+set net_ip 127.0.0.1 +set net_port " +
                   std::to_string(port) + " +set sv_hostname \"Frag Lane\"\r\n");
    return port;
}

// Waits until done() holds, for at most limit, calling step between looks.
inline bool WaitFor(const std::function<bool()>& done, std::chrono::seconds limit,
                    const std::function<void()>& step = [] {
                        std::this_thread::sleep_for(std::chrono::milliseconds(50));
                    }) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= until)
            return false;
        step();
    }
    return true;
}

}  // namespace fraglane::test
