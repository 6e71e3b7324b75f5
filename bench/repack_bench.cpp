// The repack of one map whose textures a shader defines, found in an archive of N shader
// scripts, N = 1,000 and 4,000. The scripts all carry one name (scripts/a.shader, as a
// hostile archive can) or each a name of its own: the baseline, measured in the same run.
// Each script defines the wanted shader, so every one is kept and numbered. Time per script
// is the figure to read: the same for both and for both counts when the work is linear.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

#include "bench_dir.h"
#include "repack/repack_job.h"

namespace {

std::unique_ptr<BenchDir> MakeGame(int scripts, bool sameName) {
    namespace p = fraglane::platform;
    auto game = std::make_unique<BenchDir>();
    const std::string exe = game->Program();
    p::ForceDirectories(exe + "baseq3\\");
    p::ForceDirectories(exe + "levelshots\\");
    p::WriteFileBytes(exe + "quake3.exe", "");
    const std::string script =
        "import sys,zipfile,warnings\n"
        "warnings.simplefilter('ignore')\n"
        "n,same,out=int(sys.argv[1]),sys.argv[2]=='1',sys.argv[3]\n"
        "with zipfile.ZipFile(out,'w',zipfile.ZIP_DEFLATED) as z:\n"
        "  z.writestr('maps/m.bsp',b'IBSP textures/sky/space\\0')\n"
        "  for i in range(n):\n"
        "    z.writestr('scripts/a.shader' if same else 'scripts/a%d.shader'%i,\n"
        "               'textures/sky/space\\n{\\n map textures/ok/x%d.tga\\n}\\n'%i)\n";
    const std::string command = "python3 -c \"" + script + "\" " + std::to_string(scripts) +
                                (sameName ? " 1 " : " 0 ") + game->Native() + "baseq3/shaders.pk3";
    if (std::system(command.c_str()) != 0)
        std::abort();
    return game;
}

void Repack(benchmark::State& state, bool sameName) {
    namespace r = fraglane::repack;
    const int scripts = static_cast<int>(state.range(0));
    const auto game = MakeGame(scripts, sameName);
    const std::string exe = game->Program();
    for (auto _ : state) {
        fraglane::archive::Pk3Archive zip;
        fraglane::platform::TDirContent lister;
        lister.SetActive(true);
        r::RepackSink sink;
        sink.status = [](int, const std::string&) {};
        const r::RepackResult result = r::RepackMaps(
            {exe, exe + "levelshots\\", exe + "temp\\", {{"m", "baseq3"}}}, zip, lister, {}, sink);
        if (result.archivePath.empty() || result.report.size() < static_cast<size_t>(scripts))
            state.SkipWithError("the repack did not keep every script");
    }
    state.counters["per_script"] = benchmark::Counter(
        static_cast<double>(scripts),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void RepackScriptsOfOneName(benchmark::State& state) {
    Repack(state, true);
}

void RepackScriptsOfTheirOwnNames(benchmark::State& state) {
    Repack(state, false);
}

}  // namespace

BENCHMARK(RepackScriptsOfTheirOwnNames)->Arg(1000)->Arg(4000)->Unit(benchmark::kMillisecond);
BENCHMARK(RepackScriptsOfOneName)->Arg(1000)->Arg(4000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
