// Resolving the 120 months of a ten-year card calendar with the tables loaded once.
#include <benchmark/benchmark.h>

#include "core/schedule.h"

namespace {

core::ScheduleTables masterLikeTables() {
    core::ScheduleTables t;
    for (int w = 1; w <= 7; ++w) t.weekdays.push_back({w, w});
    auto h = [&](int m, int code, const char* name) { t.holidays.push_back({m, code, name, 8, 8}); };
    t.holidays.push_back({0, 0, "", 8, 8});
    t.holidays.push_back({0, 36, "国民の休日", 8, 8});
    h(1, 1, "元日"); h(1, 52, "成人の日"); h(2, 11, "建国記念の日"); h(2, 23, "天皇誕生日"); h(3, 35, "春分の日");
    h(4, 29, "昭和の日"); h(5, 3, "憲法記念日"); h(5, 4, "みどりの日"); h(5, 5, "こどもの日"); h(7, 62, "海の日");
    h(8, 11, "山の日"); h(9, 35, "秋分の日"); h(9, 62, "敬老の日"); h(10, 52, "スポーツの日"); h(11, 3, "文化の日");
    h(11, 23, "勤労感謝の日");
    // A busy calendar: a special day in every week of the ten years.
    for (int y = 2027; y <= 2036; ++y)
        for (int m = 1; m <= 12; ++m)
            for (int d = 1; d <= 28; d += 7) t.specialDays.push_back({y, m, d, 9 + (d % 12), "特定日"});
    return t;
}

void BM_ResolveTenYears(benchmark::State& state) {
    const auto tables = masterLikeTables();
    for (auto _ : state) {
        for (int i = 0; i < 120; ++i) {
            auto month = core::resolveMonth(tables, 2027 + i / 12, i % 12 + 1);
            benchmark::DoNotOptimize(month);
        }
    }
}
BENCHMARK(BM_ResolveTenYears)->Unit(benchmark::kMicrosecond);

}  // namespace
