// Creating a new document from Master.dat (every table copied) and compacting it, as the
// program does for a new document and before every save.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/database.h"
#include "core/globals.h"

namespace {

namespace fs = std::filesystem;

// A program folder of its own, holding a copy of the built Master.dat.
class Folder {
public:
    Folder() {
        char pattern[] = "/tmp/kv-bench-XXXXXX";
        if (!mkdtemp(pattern)) std::abort();
        dir_ = pattern;
        fs::copy_file(fs::path(KV_BIN_DIR) / "Master.dat", dir_ / "Master.dat");
        gstrDataPath = dir_.string() + "/";
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    std::string file(std::string_view name) const { return (dir_ / name).string(); }

private:
    fs::path dir_;
};

void NewDocument(benchmark::State& state) {
    Folder folder;
    const std::string regist = folder.file(kRegistDat);
    for (auto _ : state) createDocumentFromMaster(regist);
}
BENCHMARK(NewDocument)->Unit(benchmark::kMillisecond);

void CompactDocument(benchmark::State& state) {
    Folder folder;
    const std::string regist = folder.file(kRegistDat);
    createDocumentFromMaster(regist);
    for (auto _ : state)
        if (!gsbCompactDatabase(regist)) state.SkipWithError("compaction failed");
}
BENCHMARK(CompactDocument)->Unit(benchmark::kMillisecond);

void NewDocumentAndCompact(benchmark::State& state) {
    Folder folder;
    const std::string regist = folder.file(kRegistDat);
    for (auto _ : state) {
        createDocumentFromMaster(regist);
        if (!gsbCompactDatabase(regist)) state.SkipWithError("compaction failed");
    }
}
BENCHMARK(NewDocumentAndCompact)->Unit(benchmark::kMillisecond);

}  // namespace
