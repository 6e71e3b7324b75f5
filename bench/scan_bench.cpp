// The map and bot scan over 5,000 one-map archives, beside two baselines measured in the
// same run: a bare loop that reads each file's last 64 KiB (what listing an archive needs at
// least), and Python's zipfile listing the same files. The first scan, which extracts every
// level shot, over 1,000, 5,000 and 20,000 archives (per_archive is the figure to read: flat
// when the work is linear), beside a Python zipfile script that opens each archive and writes
// its level shots into a fresh folder, and beside unzip copying the same pictures.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>

#include "catalogue/scan.h"
#include "map_archives.h"

namespace {

constexpr int Archives = 5000;

// One game directory a size, made once, before the timing of the first benchmark that uses it.
MapArchives& Corpus(int archives = Archives) {
    static std::map<int, std::unique_ptr<MapArchives>> corpora;
    auto& corpus = corpora[archives];
    if (!corpus)
        corpus = std::make_unique<MapArchives>(archives);
    return *corpus;
}

void PerArchive(benchmark::State& state, int archives) {
    state.counters["per_archive"] = benchmark::Counter(
        archives, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

fraglane::catalogue::ScanResult RunScan(const std::string& levelshots, int archives = Archives) {
    namespace c = fraglane::catalogue;
    MapArchives& m = Corpus(archives);
    fraglane::archive::Pk3Archive zip;
    fraglane::platform::TDirContent lister;
    lister.SetActive(true);
    fraglane::platform::ProfileFile ini(m.exeDir + "fraglane.ini");
    c::ScanSink sink;
    sink.status = [](int, const std::string&) {};
    sink.mapRow = sink.botRow = [](const c::CatalogueRow&) {};
    return c::ScanMaps({m.exeDir, levelshots, {"baseq3"}}, zip, lister, ini, {}, sink);
}

// Empties the folder and lets the system write back what earlier runs left, so that no run
// pays for another's writes.
void ClearFolder(const std::string& native) {
    std::filesystem::remove_all(native);
    std::filesystem::create_directories(native);
    ::sync();
}

void ReadLast64KiBOfEveryFile(benchmark::State& state) {
    const MapArchives& corpus = Corpus();  // made before the timing starts
    std::vector<char> buffer(64 * 1024);
    for (auto _ : state)
        benchmark::DoNotOptimize(ReadLast64KiB(corpus, buffer));
}

void ScanWithPicturesCached(benchmark::State& state) {
    const std::string levelshots = Corpus().exeDir + "levelshots\\";
    fraglane::platform::ForceDirectories(levelshots);
    RunScan(levelshots);  // fills the cache
    for (auto _ : state) {
        const auto result = RunScan(levelshots);
        if (result.maps.size() != Archives || result.picturesExtracted != 0)
            state.SkipWithError("the scan did not find every map, or extracted again");
    }
}

// The part of the cached scan that writes the catalogue (5,000 map rows) over the one the
// previous scan wrote.
void WriteCatalogueOfEveryMap(benchmark::State& state) {
    MapArchives& m = Corpus();
    const auto scanned = RunScan(m.exeDir + "levelshots\\");
    fraglane::platform::ProfileFile ini(m.exeDir + "fraglane.ini");
    for (auto _ : state)
        fraglane::catalogue::WriteCatalogue(ini, scanned.maps, scanned.bots);
}

void PythonZipfileListing(benchmark::State& state) {
    const std::string command =
        "python3 -c 'import glob,sys,zipfile\n"
        "n=0\n"
        "for f in sorted(glob.glob(sys.argv[1]+\"/*.pk3\")): "
        "n+=len(zipfile.ZipFile(f).namelist())\n"
        "' " +
        Corpus().dir.Native() + "baseq3";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("python3 failed");
    }
}

void FirstScanExtractingPictures(benchmark::State& state) {
    const int archives = static_cast<int>(state.range(0));
    const std::string native = Corpus(archives).dir.Native() + "first/";
    for (auto _ : state) {
        state.PauseTiming();
        ClearFolder(native);
        state.ResumeTiming();
        const auto result = RunScan(Corpus(archives).dir.Program("first\\"), archives);
        if (result.picturesExtracted != archives)
            state.SkipWithError("not every level shot was extracted");
    }
    PerArchive(state, archives);
}

void PythonZipfileExtractingPictures(benchmark::State& state) {
    const int archives = static_cast<int>(state.range(0));
    const std::string native = Corpus(archives).dir.Native() + "python/";
    const std::string command =
        "python3 -c 'import glob,os,sys,zipfile\n"
        "for f in sorted(glob.glob(sys.argv[1]+\"/*.pk3\")):\n"
        "  z=zipfile.ZipFile(f)\n"
        "  for m in z.namelist():\n"
        "    if m.lower().startswith(\"levelshots/\") and not m.endswith(\"/\"):\n"
        "      open(os.path.join(sys.argv[2],os.path.basename(m)),\"wb\").write(z.read(m))\n"
        "' " +
        Corpus(archives).dir.Native() + "baseq3 " + native;
    for (auto _ : state) {
        state.PauseTiming();
        ClearFolder(native);
        state.ResumeTiming();
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("python3 failed");
    }
    PerArchive(state, archives);
}

void UnzipSamePictures(benchmark::State& state) {
    const std::string native = Corpus().dir.Native() + "unzipped/";
    const std::string command =
        "unzip -qq -o '" + Corpus().dir.Native() + "baseq3/*.pk3' 'levelshots/*' -d " + native;
    for (auto _ : state) {
        state.PauseTiming();
        ClearFolder(native);
        state.ResumeTiming();
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("unzip failed");
    }
}

}  // namespace

BENCHMARK(ReadLast64KiBOfEveryFile)->Unit(benchmark::kMillisecond);
BENCHMARK(ScanWithPicturesCached)->Unit(benchmark::kMillisecond);
BENCHMARK(WriteCatalogueOfEveryMap)->Unit(benchmark::kMillisecond);
BENCHMARK(PythonZipfileListing)->Unit(benchmark::kMillisecond)->UseRealTime();
// Each size beside its baseline, one after the other, so that both meet the same machine.
BENCHMARK(FirstScanExtractingPictures)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(PythonZipfileExtractingPictures)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(FirstScanExtractingPictures)->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK(PythonZipfileExtractingPictures)->Arg(5000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(FirstScanExtractingPictures)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(PythonZipfileExtractingPictures)->Arg(20000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(UnzipSamePictures)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
