// The start of the program, headless: the main window's load up to the start screen shown
// (single instance, user lock, environment check, start screen and its menus).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include <QApplication>

#include "core/database.h"
#include "core/files.h"
#include "core/globals.h"
#include "forms/fatal.h"
#include "forms/msgbox.h"
#include "shell/main_window.h"
#include "shell/start_screen.h"

namespace {

void BM_LoadToStartScreen(benchmark::State& state) {
    forms::ScriptedDialogs noDialogs;
    forms::ThrowOnFatal fatal;
    char pattern[] = "/tmp/kv-bench-shell-XXXXXX";
    const std::filesystem::path dir = mkdtemp(pattern);
    setAppPathForTesting(dir.string());
    std::filesystem::copy_file(std::filesystem::path(KV_BIN_DIR) / "Master.dat", dir / "Master.dat");
    for (auto _ : state) {
        auto main = std::make_unique<frmMain>();
        main->MDIForm_Load();
        benchmark::DoNotOptimize(main->startScreen()->isVisible());
        state.PauseTiming();
        main->unloadByProgram();
        main.reset();
        state.ResumeTiming();
    }
    setAppPathForTesting({});
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_LoadToStartScreen)->Unit(benchmark::kMillisecond);

}  // namespace

// The application lives in main's frame, so that it is gone before Qt's own static objects
// are destroyed at exit.
int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
