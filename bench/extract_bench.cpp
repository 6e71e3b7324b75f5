// Extracting every member of two of OpenArena's archives, each to a file of a scratch folder:
// pak1-maps.pk3 (map files of up to 7.6 MB, as the repack's staging takes them) and pak0.pk3
// (thousands of textures, sounds and pictures, as the scan's pictures are taken), beside
// Info-ZIP's unzip extracting the same archive into a fresh folder. Needs openarena-088-data.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "archive/pk3_archive.h"
#include "bench_dir.h"

namespace {

const char* const Archives[] = {"pak1-maps.pk3", "pak0.pk3"};

std::string ArchivePath(const benchmark::State& state) {
    return std::string("/usr/share/games/openarena/baseoa/") + Archives[state.range(0)];
}

void ExtractEveryMember(benchmark::State& state) {
    const std::string path = ArchivePath(state);
    if (!std::filesystem::exists(path)) {
        state.SkipWithError("openarena-088-data is not installed");
        return;
    }
    const BenchDir dir;
    fraglane::archive::Pk3Archive zip;
    zip.SetFileName(fraglane::platform::FromNative(path));
    zip.SetActive(true);
    uint64_t bytes = 0;
    for (auto _ : state) {
        bytes = 0;
        for (const fraglane::archive::Member& m : zip.Members()) {
            if (m.folder)
                continue;
            zip.ExtractMember(fraglane::archive::Pk3Archive::ListedName(m), dir.Program("m"));
            bytes += m.record.uncompressedSize;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes * state.iterations()));
    state.SetLabel(Archives[state.range(0)]);
}

void UnzipEveryMember(benchmark::State& state) {
    const std::string path = ArchivePath(state);
    const BenchDir dir;
    for (auto _ : state) {
        const std::string out = dir.Native() + "out";
        std::filesystem::remove_all(out);
        const std::string command = "unzip -qq -o '" + path + "' -d '" + out + "'";
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("unzip failed");
    }
    state.SetLabel(Archives[state.range(0)]);
}

}  // namespace

BENCHMARK(ExtractEveryMember)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(UnzipEveryMember)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
