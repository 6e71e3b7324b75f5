// Opening and listing 5,000 small archives (one map, one level shot, one shader each), beside
// a bare loop that only reads each file's last 64 KiB: the ratio is the figure.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <vector>

#include "archive/pk3_archive.h"
#include "bench_dir.h"
#include "platform/file_system.h"

using fraglane::archive::Pk3Archive;

namespace {

constexpr int Archives = 5000;

struct Corpus {
    BenchDir dir;
    std::vector<std::string> programPaths;
    std::vector<std::string> nativePaths;

    Corpus() {
        namespace p = fraglane::platform;
        const std::string stage = dir.Program("stage\\");
        p::ForceDirectories(stage);
        p::WriteFileBytes(stage + "map.bsp", std::string(2048, 'b'));
        p::WriteFileBytes(stage + "shot.jpg", std::string(1024, 'j'));
        p::WriteFileBytes(stage + "map.shader", "textures/base/wall\n{\n}\n");
        for (int i = 0; i < Archives; ++i) {
            const std::string n = "m" + std::to_string(i);
            const std::string path = dir.Program(n + ".pk3");
            Pk3Archive::CreateEmpty(path);
            Pk3Archive zip;
            zip.SetFileName(path);
            zip.SetActive(true);
            zip.AddFile("maps\\" + n + ".bsp", stage + "map.bsp");
            zip.AddFile("levelshots\\" + n + ".jpg", stage + "shot.jpg");
            zip.AddFile("scripts\\" + n + ".shader", stage + "map.shader");
            programPaths.push_back(path);
            nativePaths.push_back(p::ToNative(path));
        }
    }
};

Corpus& Files() {
    static Corpus corpus;
    return corpus;
}

void OpenAndListEveryArchive(benchmark::State& state) {
    Corpus& c = Files();
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
    Corpus& c = Files();
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
