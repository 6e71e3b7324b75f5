// The catalogue of a large installation is tens of thousands of keys, written one at a time
// after a scan and read one at a time at start. Both must cost about as much as writing a file
// of that size once: compare with PlainWriteOfTheSameSize.
#include <benchmark/benchmark.h>

#include "bench_dir.h"
#include "catalogue/catalogue.h"
#include "platform/profile_file.h"

using fraglane::platform::ProfileFile;

namespace {

BenchDir& Dir() {
    static BenchDir dir;
    return dir;
}

void WriteCatalogue(ProfileFile& f, int rows) {
    ProfileFile::Update update(f);
    f.WriteInteger("maps", "count", rows);
    for (int i = 0; i < rows; ++i) {
        const std::string n = std::to_string(i);
        f.WriteString("maps", "map" + n + "name", "map_number_" + n);
        f.WriteString("maps", "map" + n + "mod", "baseq3");
    }
    update.Commit();
}

// Reading without an update around it checks the file's stamp before every key: still linear.
void KeyByKeyReadsWithAStampCheckEach(benchmark::State& state) {
    const int keys = static_cast<int>(state.range(0));
    const std::string path = Dir().Program("stamped.ini");
    {
        ProfileFile writer(path);
        WriteCatalogue(writer, keys / 2);
    }
    for (auto _ : state) {
        ProfileFile reader(path);
        size_t total = 0;
        for (int i = 0; i < keys / 2; ++i) {
            total += reader.ReadString("maps", "map" + std::to_string(i) + "name", "").size();
        }
        benchmark::DoNotOptimize(total);
    }
}

void CatalogueWriteThenRead(benchmark::State& state) {
    const int keys = static_cast<int>(state.range(0));
    const std::string path = Dir().Program("catalogue.ini");
    for (auto _ : state) {
        std::filesystem::remove(Dir().Native() + "catalogue.ini");
        {
            ProfileFile writer(path);
            WriteCatalogue(writer, keys / 2);
        }
        // Read back as the start-up does: one key at a time, count first.
        ProfileFile reader(path);
        benchmark::DoNotOptimize(fraglane::catalogue::ReadMapRows(reader, ""));
    }
    state.SetComplexityN(keys);
}

void PlainWriteOfTheSameSize(benchmark::State& state) {
    const int keys = static_cast<int>(state.range(0));
    const std::string path = Dir().Program("sized.ini");
    {
        ProfileFile f(path);
        WriteCatalogue(f, keys / 2);
    }
    const std::string bytes = fraglane::platform::ReadFileBytes(path);
    const std::string target = Dir().Program("plain.ini");
    for (auto _ : state) {
        fraglane::platform::WriteFileBytes(target, bytes);
    }
    state.counters["bytes"] = static_cast<double>(bytes.size());
}

// The same catalogue with each kind of line end, read whole: a file of lone CRs (as old Mac
// editors write) costs what one of CR LF costs.
void ReadWithLineEnds(benchmark::State& state, const char* eol) {
    const int rows = static_cast<int>(state.range(0));
    std::string text = std::string("[maps]") + eol + "count=" + std::to_string(rows) + eol;
    for (int i = 0; i < rows; ++i) {
        const std::string n = std::to_string(i);
        text += "map" + n + "name=map_number_" + n + eol + "map" + n + "mod=baseq3" + eol;
    }
    const std::string path =
        Dir().Program(std::string("eol") + std::to_string(eol[0] + eol[1]) + ".ini");
    fraglane::platform::WriteFileBytes(path, text);
    for (auto _ : state) {
        ProfileFile reader(path);
        benchmark::DoNotOptimize(fraglane::catalogue::ReadMapRows(reader, ""));
    }
}

void ReadCrLf(benchmark::State& state) {
    ReadWithLineEnds(state, "\r\n");
}

void ReadLoneCr(benchmark::State& state) {
    ReadWithLineEnds(state, "\r");
}

}  // namespace

BENCHMARK(CatalogueWriteThenRead)
    ->Arg(5000)
    ->Arg(10000)
    ->Arg(20000)
    ->Arg(40000)
    ->Complexity()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(KeyByKeyReadsWithAStampCheckEach)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(PlainWriteOfTheSameSize)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(ReadCrLf)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(ReadLoneCr)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
