// Looking up 10,000 names in a settled folder of 10,000 files, as a scan asks for level shots:
// names given in another case than stored (found through the folded index), and names that
// are not there at all, beside lookups in the stored case (one system call each).
#include <fcntl.h>
#include <sys/stat.h>

#include <benchmark/benchmark.h>

#include <ctime>

#include <vector>

#include "bench_dir.h"
#include "platform/file_system.h"

namespace {

constexpr int Files = 10000;

struct Folder {
    BenchDir dir;
    std::string program;
    explicit Folder(bool settle = true) {
        program = dir.Program("levelshots\\");
        fraglane::platform::ForceDirectories(program);
        for (int i = 0; i < Files; ++i) {
            fraglane::platform::WriteFileBytes(program + "map_" + std::to_string(i) + ".tga", "");
        }
        if (!settle)
            return;
        // Settle the folder, as one that the scan did not just change.
        const std::string native = dir.Native() + "levelshots";
        timespec times[2];
        ::clock_gettime(CLOCK_REALTIME, &times[0]);
        times[0].tv_sec -= 60;
        times[1] = times[0];
        ::utimensat(AT_FDCWD, native.c_str(), times, 0);
    }
};

Folder& Shots() {
    static Folder folder;
    return folder;
}

// A folder changed a moment ago: its listing is read for every folded lookup, not kept.
Folder& FreshShots() {
    static Folder folder(false);
    return folder;
}

void Lookups(benchmark::State& state, const char* prefix, const char* extension,
             const std::string& base = Shots().program, int count = Files) {
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i)
        names.push_back(base + prefix + std::to_string(i) + extension);
    for (auto _ : state) {
        int found = 0;
        for (const std::string& name : names)
            found += fraglane::platform::FileExists(name) ? 1 : 0;
        benchmark::DoNotOptimize(found);
    }
}

void StoredCase(benchmark::State& state) {
    Lookups(state, "map_", ".tga");
}
void OtherCase(benchmark::State& state) {
    Lookups(state, "MAP_", ".TGA");
}
void Missing(benchmark::State& state) {
    Lookups(state, "map_", ".jpg");
}
// 100 lookups only: each reads the whole folder. Per lookup, compare with OtherCase / 10,000.
void OtherCaseInAFolderJustChanged(benchmark::State& state) {
    Lookups(state, "MAP_", ".TGA", FreshShots().program, 100);
}

}  // namespace

BENCHMARK(StoredCase)->Unit(benchmark::kMillisecond);
BENCHMARK(OtherCase)->Unit(benchmark::kMillisecond);
BENCHMARK(Missing)->Unit(benchmark::kMillisecond);
BENCHMARK(OtherCaseInAFolderJustChanged)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
