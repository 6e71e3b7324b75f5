// Opening and listing 5,000 small one-map archives (map_archives.h), beside
// a bare loop that only reads each file's last 64 KiB: the ratio is the figure.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <vector>

#include "archive/pk3_archive.h"
#include "map_archives.h"
#include "platform/file_system.h"

using fraglane::archive::Pk3Archive;

namespace {

constexpr int Archives = 5000;

MapArchives& Files() {
    static MapArchives corpus(Archives);
    return corpus;
}

void OpenAndListEveryArchive(benchmark::State& state) {
    MapArchives& c = Files();
    Pk3Archive zip;
    for (auto _ : state) {
        size_t names = 0;
        for (const std::string& path : c.programPaths) {
            zip.SetFileName(path);
            zip.SetActive(true);
            names += zip.FileNames().size();
            zip.SetActive(false);
        }
        benchmark::DoNotOptimize(names);
    }
}

void ReadLast64KiBOfEveryFile(benchmark::State& state) {
    MapArchives& c = Files();
    std::vector<char> buffer(64 * 1024);
    for (auto _ : state) {
        size_t bytes = 0;
        for (const std::string& path : c.nativePaths) {
            const int fd = ::open(path.c_str(), O_RDONLY);
            struct stat st {};
            ::fstat(fd, &st);
            const off_t take = std::min<off_t>(st.st_size, static_cast<off_t>(buffer.size()));
            bytes += static_cast<size_t>(
                ::pread(fd, buffer.data(), static_cast<size_t>(take), st.st_size - take));
            ::close(fd);
        }
        benchmark::DoNotOptimize(bytes);
    }
}

}  // namespace

BENCHMARK(ReadLast64KiBOfEveryFile)->Unit(benchmark::kMillisecond);
BENCHMARK(OpenAndListEveryArchive)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
