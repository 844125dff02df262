// Resolving the 120 months of a ten-year card calendar, as the card image is built: the
// tables of a new document loaded once, then every month from January of this year.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/database.h"
#include "core/globals.h"
#include "core/schedule.h"
#include "core/upkeep.h"
#include "runtime/datetime.h"

namespace {

namespace fs = std::filesystem;

// A new document in a program folder of its own, with every weekday and holiday pattern in
// use and a special day in every week of the ten years.
class Document {
public:
    Document() {
        char pattern[] = "/tmp/kv-bench-XXXXXX";
        if (!mkdtemp(pattern)) std::abort();
        dir_ = pattern;
        fs::copy_file(fs::path(KV_BIN_DIR) / "Master.dat", dir_ / "Master.dat");
        gstrDataPath = dir_.string() + "/";
        const std::string regist = (dir_ / std::string(kRegistDat)).string();
        createDocumentFromMaster(regist);
        gsbOpenDatabase(gdbWork, regist);
        dao::Transaction fill(gdbWork);
        for (int p = 1; p <= 12; ++p) gdbWork.execute("INSERT INTO tblDayStep VALUES (?1, 8, 0, 1)", {p});
        gdbWork.execute("UPDATE tblSyukujitu SET fldSyukujitu = 8, fldMonday = 8 WHERE fldDay = 0");
        for (int y = kYear; y < kYear + 10; ++y)
            for (int m = 1; m <= 12; ++m)
                for (int d = 1; d <= 28; d += 7)
                    gdbWork.execute("INSERT INTO tblYear VALUES (?1, ?2, ?3, ?4, '特定日')", {y, m, d, 9 + d % 4});
        fill.commit();
        gsbSetPatternUse();
        gsbSetPatternError();
    }
    ~Document() {
        gsbCloseDatabase(gdbWork);
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    static constexpr int kYear = 2027;

private:
    runtime::FixedClock clock_{runtime::DateTime{kYear, 1, 1, 9, 0, 0}};
    fs::path dir_;
};

void ResolveTenYears(benchmark::State& state) {
    Document document;
    gsbOpenScheduleTables(true);
    core::DayBytes days;
    core::DayNames names;
    for (auto _ : state) {
        for (int i = 0; i < 120; ++i) {
            gsbGetScheduleData(Document::kYear + i / 12, i % 12 + 1, days, names);
            benchmark::DoNotOptimize(days.values().data());
        }
    }
    gsbOpenScheduleTables(false);
}
BENCHMARK(ResolveTenYears)->Unit(benchmark::kMicrosecond);

// Loading the three tables, which the card image build does once.
void OpenScheduleTables(benchmark::State& state) {
    Document document;
    for (auto _ : state) gsbOpenScheduleTables(true);
    gsbOpenScheduleTables(false);
}
BENCHMARK(OpenScheduleTables)->Unit(benchmark::kMicrosecond);

}  // namespace
