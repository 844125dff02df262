// Building the card image of a rich document (every pattern full, all 120 months) and
// parsing it back.
#include <benchmark/benchmark.h>

#include "card/image.h"

namespace {

card::DocumentSnapshot richDocument() {
    card::DocumentSnapshot doc;
    for (int n = 0; n <= 20; ++n) doc.patterns.push_back({n, "パターン" + std::to_string(n)});
    for (int n = 1; n <= 20; ++n)
        for (int s = 0; s < 24; ++s) doc.steps.push_back({n, s, (n + s) % 60, (s + n) % 10});
    for (int ch = 1; ch <= 12; ++ch) {
        doc.messages.push_back({ch, "メッセージ" + std::to_string(ch), ch % 2 == 0});
        doc.cardWrite.push_back({ch, 0, "", "メッセージ" + std::to_string(ch)});
    }
    doc.cardWrite.push_back({224, 4, "", "カード名"});
    doc.holidays.push_back({0, 0, "登録値保持用", 8, 8});
    for (int m = 1; m <= 12; ++m) doc.holidays.push_back({m, m + 1, "祝日" + std::to_string(m), 255, 255});
    return doc;
}

card::CardCalendar calendar() {
    card::CardCalendar c{2027, std::vector<std::uint8_t>(3653)};
    for (std::size_t i = 0; i < c.dayBytes.size(); ++i) c.dayBytes[i] = static_cast<std::uint8_t>(i % 7 + 1);
    for (std::size_t i = 0; i < c.dayBytes.size(); i += 11) c.dayBytes[i] = 0x60 | 9;
    return c;
}

card::WriteModeRecord everything() {
    card::WriteModeRecord r{};
    for (std::size_t i = card::kRecordSettings; i < r.size(); ++i) r[i] = 4;
    return r;
}

void BuildImage(benchmark::State& state) {
    const auto doc = richDocument();
    const auto cal = calendar();
    for (auto _ : state) benchmark::DoNotOptimize(card::encodeCardImage(doc, everything(), {2027, 1, 1}, cal));
}
BENCHMARK(BuildImage)->Unit(benchmark::kMicrosecond);

void ParseImage(benchmark::State& state) {
    const auto image = card::encodeCardImage(richDocument(), everything(), {2027, 1, 1}, calendar());
    for (auto _ : state) benchmark::DoNotOptimize(card::decodeCardImage(image, 2027));
}
BENCHMARK(ParseImage)->Unit(benchmark::kMicrosecond);

}  // namespace
