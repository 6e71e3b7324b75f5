// A start-up with a catalogue of 10,000 and of 100,000 maps (the most the settings file
// keeps) and 300 bots, beside a start-up with an empty catalogue: each builds the whole
// window, restores it from the settings file and shows it, painted once; the lists fill beside
// the window. ListsFilled also waits for the lists.
#include <QApplication>

#include <benchmark/benchmark.h>

#include "../tests/app/window_controls.h"
#include "bench_dir.h"
#include "platform/file_system.h"
#include "silent_desktop.h"

namespace {

std::string Settings(int maps, int bots) {
    std::string ini = "[mods]\r\nselected=baseq3\r\ncount=20\r\n";
    for (int m = 0; m < 20; ++m)
        ini += "mod" + std::to_string(m) + "=mod" + std::to_string(m) + "\r\n";
    ini += "[maps]\r\nselected=map_1234\r\ncount=" + std::to_string(maps) + "\r\n";
    for (int i = 0; i < maps; ++i) {
        const std::string n = std::to_string(i);
        // Written in scan order (mod by mod), not in the lists' order.
        ini += "map" + n + "name=map_" + std::to_string((i * 7919) % maps) + "\r\n";
        ini += "map" + n + "mod=mod" + std::to_string(i % 20) + "\r\n";
    }
    ini += "[bots]\r\ncount=" + std::to_string(bots) + "\r\n";
    for (int i = 0; i < bots; ++i) {
        const std::string n = std::to_string(i);
        ini += "bot" + n + "name=bot_" + n + "\r\nbot" + n + "mod=mod" + std::to_string(i % 20) +
               "\r\n";
    }
    return ini;
}

void Open(benchmark::State& state, bool waitForLists) {
    BenchDir dir;
    fraglane::platform::WriteFileBytes(dir.Program("quake3.exe"), "");
    const std::string ini = dir.Program("fraglane.ini");
    fraglane::platform::WriteFileBytes(
        ini, Settings(static_cast<int>(state.range(0)), static_cast<int>(state.range(1))));
    SilentDesktop desktop;
    for (auto _ : state) {
        auto window = std::make_unique<fraglane::app::T_Main>(dir.Program(), ini, desktop);
        window->show();
        QApplication::processEvents();
        if (waitForLists)
            window->ThreadReadCatalogue.WaitFor();
        benchmark::DoNotOptimize(window->cMap->RowCount());
        state.PauseTiming();  // closing saves the settings: not part of the start-up
        window.reset();
        state.ResumeTiming();
    }
}

void StartUp(benchmark::State& state) {
    Open(state, false);
}

void ListsFilled(benchmark::State& state) {
    Open(state, true);
}

}  // namespace

BENCHMARK(ListsFilled)
    ->Args({0, 0})
    ->Args({100000, 300})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);
BENCHMARK(StartUp)
    ->Args({0, 0})
    ->Args({10000, 300})
    ->Args({100000, 300})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
