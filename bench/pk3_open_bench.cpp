// Opening and listing 5,000 small one-map archives (map_archives.h), beside
// a bare loop that only reads each file's last 64 KiB: the ratio is the figure.
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
    const MapArchives& corpus = Files();  // made before the timing starts
    std::vector<char> buffer(64 * 1024);
    for (auto _ : state)
        benchmark::DoNotOptimize(ReadLast64KiB(corpus, buffer));
}

}  // namespace

BENCHMARK(ReadLast64KiBOfEveryFile)->Unit(benchmark::kMillisecond);
BENCHMARK(OpenAndListEveryArchive)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
