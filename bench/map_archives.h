#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "archive/pk3_archive.h"
#include "bench_dir.h"
#include "platform/file_system.h"

// A game directory of one-map archives in baseq3/: each holds its map, its bot-navigation
// file, its level shot and a shader script, as a downloaded map's archive does.
struct MapArchives {
    BenchDir dir;
    std::string exeDir;  // program path text, trailing "\"
    std::vector<std::string> programPaths;
    std::vector<std::string> nativePaths;

    explicit MapArchives(int count) {
        namespace p = fraglane::platform;
        using fraglane::archive::Pk3Archive;
        exeDir = dir.Program();
        const std::string stage = dir.Program("stage\\");
        p::ForceDirectories(stage);
        p::ForceDirectories(exeDir + "baseq3\\");
        p::WriteFileBytes(exeDir + "quake3.exe", "");
        p::WriteFileBytes(stage + "map.bsp", std::string(2048, 'b'));
        p::WriteFileBytes(stage + "map.aas", std::string(512, 'a'));
        p::WriteFileBytes(stage + "shot.jpg", std::string(1024, 'j'));
        p::WriteFileBytes(stage + "map.shader", "textures/base/wall\n{\n}\n");
        for (int i = 0; i < count; ++i) {
            const std::string n = "m" + std::to_string(i);
            const std::string path = exeDir + "baseq3\\" + n + ".pk3";
            Pk3Archive::CreateEmpty(path);
            Pk3Archive zip;
            zip.SetFileName(path);
            zip.SetActive(true);
            zip.AddFile("maps\\" + n + ".bsp", stage + "map.bsp");
            zip.AddFile("maps\\" + n + ".aas", stage + "map.aas");
            zip.AddFile("levelshots\\" + n + ".jpg", stage + "shot.jpg");
            zip.AddFile("scripts\\" + n + ".shader", stage + "map.shader");
            programPaths.push_back(path);
            nativePaths.push_back(p::ToNative(path));
        }
    }
};

// The bare loop the archive benchmarks are set beside: each file opened and its last 64 KiB
// read (where an archive's directory lies), nothing parsed. Returns the bytes read.
inline size_t ReadLast64KiB(const MapArchives& corpus, std::vector<char>& buffer) {
    size_t bytes = 0;
    for (const std::string& path : corpus.nativePaths) {
        const int fd = ::open(path.c_str(), O_RDONLY);
        struct stat st {};
        ::fstat(fd, &st);
        const off_t take = std::min<off_t>(st.st_size, static_cast<off_t>(buffer.size()));
        bytes += static_cast<size_t>(
            ::pread(fd, buffer.data(), static_cast<size_t>(take), st.st_size - take));
        ::close(fd);
    }
    return bytes;
}
