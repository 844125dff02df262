// The card image encoder and decoder, on snapshots and on bytes laid out by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "card/image.h"

using namespace card;

namespace {

using Bytes = std::vector<std::uint8_t>;

WriteModeRecord fullRecord() {
    WriteModeRecord r{};
    for (auto i : {kRecordSettings, kRecordSchedule, kRecordCardName, kRecordMessageNames, kRecordPatternNames}) r[i] = 4;
    return r;
}

CardCalendar emptyCalendar(int firstYear, std::size_t days) { return {firstYear, Bytes(days, 0x01)}; }

bool allOf(const Bytes& b, std::size_t from, std::size_t n, std::uint8_t v) {
    return std::all_of(b.begin() + static_cast<long>(from), b.begin() + static_cast<long>(from + n),
                       [v](std::uint8_t x) { return x == v; });
}

Bytes slotsOf(const Bytes& image, int pattern, std::size_t count) {
    const auto at = kPatternAt + static_cast<std::size_t>(pattern - 1) * kPatternRecordSize;
    return Bytes(image.begin() + static_cast<long>(at), image.begin() + static_cast<long>(at + count * 3));
}

TEST(CardImageEncoder, AnEmptyRecordWritesOnlyTheFrame) {
    WriteModeRecord record{};
    const Bytes image = encodeCardImage({}, record, {2027, 1, 1}, {});
    ASSERT_EQ(image.size(), kImageSize);
    EXPECT_EQ(std::string(image.begin(), image.begin() + 8), "KV-M58S1");
    EXPECT_EQ(image[1187], 1);
    EXPECT_EQ(image[1188], 5);
    EXPECT_EQ(image[1189], 0);
    EXPECT_TRUE(allOf(image, 8, 1187 - 8, 0));
    EXPECT_TRUE(allOf(image, 1190, kWriteModeAt - 1190, 0));
    EXPECT_TRUE(allOf(image, kWritePathsAt, 24 * kWritePathSize, ' '));
}

TEST(CardImageEncoder, ClearingTheScheduleBlanksPatternsAndCalendarAndZeroesHolidays) {
    WriteModeRecord record{};
    record[kRecordSchedule] = 2;
    DocumentSnapshot doc;
    doc.steps = {{1, 8, 0, 3}};
    doc.holidays = {{0, 0, "登録値保持用", 8, 8}, {1, 1, "元日", 255, 255}};
    const Bytes image = encodeCardImage(doc, record, {2027, 1, 1}, {});
    EXPECT_TRUE(allOf(image, kPatternAt, kPatternBlockSize, 0xFF));
    EXPECT_TRUE(allOf(image, kCalendarAt, kCalendarSize, 0xFF));
    EXPECT_TRUE(allOf(image, kHolidaySettingAt, 2 + kHolidayRecords * kHolidayRecordSize, 0));
}

TEST(CardImageEncoder, PatternsStartAtMidnightInBcd) {
    DocumentSnapshot doc;
    doc.steps = {{1, 0, 5, 3}, {1, 23, 59, 0}, {2, 0, 0, 3}, {2, 12, 30, 1}};
    const Bytes image = encodeCardImage(doc, fullRecord(), {2027, 1, 1}, emptyCalendar(2027, 3652));
    EXPECT_EQ(slotsOf(image, 1, 4), (Bytes{0, 0x00, 0x00, 3, 0x00, 0x05, 0, 0x23, 0x59, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(slotsOf(image, 2, 3), (Bytes{3, 0x00, 0x00, 1, 0x12, 0x30, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(slotsOf(image, 3, 2), (Bytes{0, 0x00, 0x00, 0xFF, 0xFF, 0xFF}));
    EXPECT_TRUE(allOf(image, kPatternAt + 1560, 2048 - 1560, 0xFF));
}

TEST(CardImageEncoder, CalendarKeepsItsFrameAfterTheDays) {
    DocumentSnapshot doc;
    doc.messages = {{1, "a", true}, {2, "b", false}, {9, "i", true}};
    const Bytes image = encodeCardImage(doc, fullRecord(), {2028, 2, 29}, emptyCalendar(2028, 3653));
    const std::size_t cal = kCalendarAt;
    EXPECT_EQ(image[cal + 3652], 0x01);
    EXPECT_TRUE(allOf(image, cal + 3653, 3660 - 3653, 0xFF));
    EXPECT_EQ(image[cal + 3660], 0x28);
    EXPECT_EQ((Bytes{image[cal + 3661], image[cal + 3662], image[cal + 3663]}), (Bytes{0x28, 0x02, 0x29}));
    EXPECT_EQ((Bytes(image.begin() + cal + 3664, image.begin() + cal + 3673)), (Bytes{1, 0, 0, 0, 0, 0, 0, 0, 1}));
    EXPECT_TRUE(allOf(image, cal + 3673, 4096 - 3673, 0xFF));
}

TEST(CardImageEncoder, NamesAreCutByBytesAndBlankPadded) {
    struct Case {
        std::string name;
        std::string field;  // CP932 bytes expected, blank padded
    } cases[] = {
        {"abc", "abc" + std::string(17, ' ')},
        {"ｱｲｳ", "\xB1\xB2\xB3" + std::string(17, ' ')},
        {"あいうえおかきくけこさし", "\x82\xA0\x82\xA2\x82\xA4\x82\xA6\x82\xA8\x82\xA9\x82\xAB\x82\xAD\x82\xAF\x82\xB1"},
        {"a" + std::string("あいうえおかきくけこ"), "a\x82\xA0\x82\xA2\x82\xA4\x82\xA6\x82\xA8\x82\xA9\x82\xAB\x82\xAD\x82\xAF "},
    };
    for (const auto& c : cases) {
        const auto f = nameField(c.name);
        EXPECT_EQ(std::string(f.begin(), f.end()), c.field) << c.name;
    }
}

TEST(CardImageEncoder, RefusesADocumentThatDoesNotFit) {
    DocumentSnapshot tooManySteps;
    tooManySteps.patterns = {{0, ""}, {5, "土曜日"}};
    for (int i = 0; i < 26; ++i) tooManySteps.steps.push_back({5, i / 2, (i % 2) * 30 + 1, 1});
    try {
        encodeCardImage(tooManySteps, fullRecord(), {2027, 1, 1}, emptyCalendar(2027, 3652));
        FAIL() << "26 steps after 0:00 cannot fit 26 slots";
    } catch (const ImageError& e) {
        EXPECT_NE(std::string(e.what()).find("土曜日"), std::string::npos);
    }

    DocumentSnapshot tooManyHolidays;
    for (int i = 1; i <= 26; ++i) tooManyHolidays.holidays.push_back({1, i, "休", 255, 255});
    EXPECT_THROW(encodeCardImage(tooManyHolidays, fullRecord(), {2027, 1, 1}, emptyCalendar(2027, 3652)), ImageError);

    DocumentSnapshot badAddress;
    badAddress.settings = {{2, 48, "1"}};
    EXPECT_THROW(encodeCardImage(badAddress, fullRecord(), {2027, 1, 1}, {}), ImageError);
    badAddress.settings = {{3, -1, "1"}};
    EXPECT_THROW(encodeCardImage(badAddress, fullRecord(), {2027, 1, 1}, {}), ImageError);
}

TEST(CardImageEncoder, WritePathsFollowTheMessageEntriesModes) {
    DocumentSnapshot doc;
    doc.cardWrite = {{1, 1, "/tmp/a.wav", ""}, {2, 2, "", ""}, {3, 3, "/tmp/c.wav", ""}, {24, 0, "", ""}};
    WriteModeRecord record{};
    record[0] = 1;
    record[1] = 2;
    record[2] = 3;
    const Bytes image = encodeCardImage(doc, record, {2027, 1, 1}, {});
    auto field = [&](int n) { return std::string(image.begin() + kWritePathsAt + n * 256, image.begin() + kWritePathsAt + n * 256 + 16); };
    EXPECT_EQ(field(0), "/tmp/a.wavCH    ");
    EXPECT_EQ(field(1), "DELETE          ");
    EXPECT_EQ(field(2), "/tmp/c.wav      ");
    EXPECT_EQ(field(3), std::string(16, ' '));
}

// A small dump laid out byte by byte, as a card would hold it.
Bytes handBuiltDump() {
    Bytes b(0x7000, 0);
    std::fill_n(b.begin() + 0x2000, 48, 0);
    b[0x2000 + 0] = 3;  // access code digit
    b[0x2000 + 10] = 7;
    std::fill_n(b.begin() + 0x3000, 2048, 0xFF);
    const Bytes p1 = {0, 0x00, 0x00, 3, 0x08, 0x30, 0, 0x17, 0x00};
    std::copy(p1.begin(), p1.end(), b.begin() + 0x3000);
    const Bytes p2 = {2, 0x00, 0x00, 0xFE, 0x01, 0x00};
    std::copy(p2.begin(), p2.end(), b.begin() + 0x3000 + 78);
    std::fill_n(b.begin() + 0x4000, 4096, 0xFF);
    std::fill_n(b.begin() + 0x4000, 3652, 0x01);  // 2026..2035, plain Sundays
    b[0x4000 + 3660] = 0x26;
    b[0x4000 + 40] = 0x60 | 9;    // 2026-02-10: special day A, before this year: skipped
    b[0x4000 + 365 + 0] = 0x60;   // 2027-01-01: special day without pattern
    b[0x4000 + 365 + 1] = 0x60 | 3;  // special-day source with a weekday pattern: not taken
    b[0x4000 + 365 + 31 + 13] = 0xE0 | 20;  // 2027-02-14: special day L on a holiday
    b[0x4000 + 3664] = 1;
    b[0x4000 + 3665] = 2;
    b[0x5400] = 8;
    b[0x5401] = 255;
    auto record = [&](int i, int month, int day, const std::string& cp932) {
        std::uint8_t* r = b.data() + 0x5402 + i * 22;
        r[0] = static_cast<std::uint8_t>(month);
        r[1] = static_cast<std::uint8_t>(day);
        std::fill_n(r + 2, 20, ' ');
        std::copy(cp932.begin(), cp932.end(), r + 2);
    };
    record(0, 0, 36, "\x8D\x91\x96\xAF\x82\xCC\x8B\x78\x93\xFA");  // 国民の休日
    record(1, 1, 1, "\x8C\xB3\x93\xFA");                              // 元日
    record(2, 1, 52, "\x90\xAC\x90\x6C\x82\xCC\x93\xFA");            // 成人の日
    // record 3 stays zero: the list ends there
    record(4, 5, 3, "x");
    const std::string card = "\x83\x65\x83\x58\x83\x67\xFF\xFF";  // テスト then erased bytes
    std::copy(card.begin(), card.end(), b.begin() + 0x5000);
    std::fill_n(b.begin() + 0x5100, 20, ' ');  // channel 1: blanks only
    const std::string ch2 = "abc  ";
    std::copy(ch2.begin(), ch2.end(), b.begin() + 0x5100 + 20);
    return b;
}

TEST(CardImageDecoder, ReadsAHandBuiltDump) {
    const CardContents c = decodeCardImage(handBuiltDump(), 2027);
    ASSERT_TRUE(c.settingBlock);
    EXPECT_EQ((*c.settingBlock)[10], 7);

    const std::vector<std::tuple<int, int, int, int>> expected = {{1, 8, 30, 3}, {1, 17, 0, 0}, {2, 0, 0, 2}};
    ASSERT_EQ(c.steps.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(std::make_tuple(c.steps[i].pattern, c.steps[i].hour, c.steps[i].minute, c.steps[i].message), expected[i]);

    EXPECT_TRUE(c.ansRec[0]);
    EXPECT_FALSE(c.ansRec[1]);
    ASSERT_TRUE(c.calendarPresent);
    ASSERT_EQ(c.specialDays.size(), 2u);
    EXPECT_EQ(std::make_tuple(c.specialDays[0].year, c.specialDays[0].month, c.specialDays[0].day, c.specialDays[0].pattern),
              std::make_tuple(2027, 1, 1, 0));
    EXPECT_EQ(std::make_tuple(c.specialDays[1].month, c.specialDays[1].day, c.specialDays[1].pattern), std::make_tuple(2, 14, 20));

    EXPECT_EQ(c.holidaySyukujitu, 8);
    EXPECT_EQ(c.holidayMonday, 255);
    ASSERT_TRUE(c.holidays);
    ASSERT_EQ(c.holidays->size(), 3u);
    EXPECT_EQ((*c.holidays)[0].name, "国民の休日");
    EXPECT_EQ((*c.holidays)[0].day, 36);
    EXPECT_EQ((*c.holidays)[2].name, "成人の日");
    EXPECT_EQ((*c.holidays)[2].syukujitu, 255);

    EXPECT_EQ(c.cardName, "テスト");
    EXPECT_EQ(c.messageNames[0], "");
    EXPECT_EQ(c.messageNames[1], "abc");
}

TEST(CardImageDecoder, ABlankCalendarImportsNoDaysAndNoHolidays) {
    Bytes dump = handBuiltDump();
    dump[0x4000] = 0xFF;
    dump[0x2000] = 0xFF;
    const CardContents c = decodeCardImage(dump, 2027);
    EXPECT_FALSE(c.settingBlock);
    EXPECT_FALSE(c.calendarPresent);
    EXPECT_TRUE(c.specialDays.empty());
    EXPECT_FALSE(c.holidays);
    EXPECT_EQ(c.steps.size(), 3u);
    EXPECT_EQ(c.cardName, "テスト");
}

TEST(CardImageDecoder, RefusesATruncatedFile) {
    Bytes dump = handBuiltDump();
    dump.resize(0x5000);
    EXPECT_THROW(decodeCardImage(dump, 2027), ImageError);
}

TEST(CardImageCodec, ARichDocumentRoundTrips) {
    DocumentSnapshot doc;
    for (int n = 1; n <= 20; ++n) {
        doc.patterns.push_back({n, n % 2 ? "パターン" + std::to_string(n) : "ﾊﾟﾀｰﾝABC" + std::to_string(n)});
        for (int s = 0; s < 24; ++s) doc.steps.push_back({n, s, (s * 7 + n) % 60, (s + n) % 10});
    }
    doc.messages = {{1, "応答", true}, {5, "留守", false}};
    doc.holidays = {{0, 0, "登録値保持用", 8, 255}, {0, 36, "国民の休日", 255, 255}, {1, 1, "元日", 255, 255}};
    doc.cardWrite = {{224, 4, "", "全角カード名ＡＢＣ"}};
    for (int ch = 1; ch <= 12; ++ch) doc.cardWrite.push_back({ch, 0, "", "チャンネル" + std::to_string(ch)});
    std::sort(doc.cardWrite.begin(), doc.cardWrite.end(), [](auto& a, auto& b) { return a.blockNo < b.blockNo; });
    CardCalendar cal = emptyCalendar(2027, 3652);
    cal.dayBytes[100] = 0x60 | 12;

    const CardContents c = decodeCardImage(encodeCardImage(doc, fullRecord(), {2027, 1, 1}, cal), 2027);
    ASSERT_EQ(c.steps.size(), doc.steps.size());
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
        // The 0:00 step on channel 0 is the one the card adds itself; the parser drops it.
        EXPECT_EQ(c.steps[i].message, doc.steps[i].message);
        EXPECT_EQ(c.steps[i].minute, doc.steps[i].minute);
    }
    for (int n = 1; n <= 20; ++n) EXPECT_EQ(c.patternNames[n - 1], doc.patterns[n - 1].name);
    EXPECT_TRUE(c.ansRec[0]);
    EXPECT_FALSE(c.ansRec[4]);
    ASSERT_EQ(c.specialDays.size(), 1u);
    EXPECT_EQ(c.specialDays[0].pattern, 12);
    ASSERT_TRUE(c.holidays);
    EXPECT_EQ(c.holidays->size(), 2u);
    EXPECT_EQ(c.holidaySyukujitu, 8);
    EXPECT_EQ(c.cardName, "全角カード名ＡＢＣ");
    EXPECT_EQ(c.messageNames[11], "チャンネル12");
}

}  // namespace
