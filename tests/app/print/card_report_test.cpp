#include <map>

#include "com/dispatch.h"
#include "core/strings.h"
#include "print/print.h"
#include "print_fixture.h"

namespace {

using printtest::hasText;

// A card control that answers the report's property reads from a table.
class FakeCard : public com::Control {
public:
    std::map<int, com::Variant> plain;
    std::map<std::pair<int, int>, com::Variant> indexed;

    com::HResult invoke(com::DispId id, com::Invoke kind, std::span<com::Variant> args, com::Variant* result) noexcept override {
        if (kind != com::Invoke::PropertyGet || !result) return com::Failed;
        if (args.empty()) {
            auto it = plain.find(id);
            *result = it == plain.end() ? com::Variant() : it->second;
            return com::Ok;
        }
        std::int16_t i = 0;
        args[0].toI2(i);
        auto it = indexed.find({id, i});
        *result = it == indexed.end() ? com::Variant::i4(0) : it->second;
        return com::Ok;
    }
    com::HResult idOfName(std::string_view, com::DispId&) const noexcept override { return com::UnknownName; }
    void setSite(com::HostSite*) noexcept override {}
    void onTimer(unsigned) noexcept override {}
    void advise(com::EventSink*) noexcept override {}
    void unadvise(com::EventSink*) noexcept override {}
};

class CardReport : public printtest::PrintTest {
protected:
    void SetUp() override {
        PrintTest::SetUp();
        card_.plain[3] = com::Variant::bstr("営業カード");
        card_.plain[5] = com::Variant::i4(3600);
        card_.plain[6] = com::Variant::i4(65000);
        card_.plain[7] = com::Variant::boolean(true);
        card_.plain[8] = com::Variant::boolean(false);
        card_.plain[15] = com::Variant::i4(3600000);
        for (int i = 0; i < 3; ++i) {
            card_.indexed[{41, i}] = com::Variant::bstr(std::to_string(i == 0 ? 1 : 0));
            card_.indexed[{43, i}] = com::Variant::bstr(std::to_string(i == 0 ? 27 : 3));
            card_.indexed[{42, i}] = com::Variant::bstr(std::to_string(i == 0 ? 26 : 12));
        }
        for (int ch = 1; ch <= 12; ++ch) card_.indexed[{46, ch}] = com::Variant::bstr("名" + std::to_string(ch));
        card_.indexed[{48, 2}] = com::Variant::boolean(true);
        print::setCardControl(&card_);
    }
    void TearDown() override {
        print::setCardControl(nullptr);
        PrintTest::TearDown();
    }
    FakeCard card_;
};

TEST_F(CardReport, NormalLayout) {
    previewDevice();
    ASSERT_TRUE(gfnfPrintCard(0));
    EXPECT_TRUE(hasText(canvas_, "カード情報一覧"));
    EXPECT_TRUE(hasText(canvas_, "カード名：営業カード"));
    EXPECT_TRUE(hasText(canvas_, "更新日：" + gfnsDateToStr(27, 3, 3)));
    EXPECT_TRUE(hasText(canvas_, "名12"));
    EXPECT_TRUE(hasText(canvas_, gfnsGetPatternName(20)));
    EXPECT_EQ(printtest::countText(canvas_, "○"), 1);
    EXPECT_TRUE(hasText(canvas_, "種類：" + gfnsMinuteStr(3600)));
    EXPECT_TRUE(hasText(canvas_, "録音残時間：" + gfnsMsecToStr(65000, false)));
    for (const char* absent : {"機能設定", "録音ボード：あり", "応答"}) EXPECT_FALSE(hasText(canvas_, absent)) << absent;
    EXPECT_FALSE(hasText(canvas_, "24"));
    EXPECT_EQ(print::state().linesPage, 13);
    EXPECT_TRUE(hasText(canvas_, "1／1"));
}

TEST_F(CardReport, ServiceLayoutAndAnswerColumn) {
    card_.indexed[{49, 4}] = com::Variant::boolean(true);
    previewDevice();
    ASSERT_TRUE(gfnfPrintCard(1));
    EXPECT_TRUE(hasText(canvas_, "本体Ver：" + gfnsVersionToStr(1, 0, 0)));
    EXPECT_TRUE(hasText(canvas_, "Ｂｕｓｙ検出回路：なし"));
    EXPECT_TRUE(hasText(canvas_, "録音ボード：あり"));
    EXPECT_TRUE(hasText(canvas_, "機能設定"));
    EXPECT_TRUE(hasText(canvas_, "更新日：" + gfnsDateToStr(26, 12, 12)));
    EXPECT_TRUE(hasText(canvas_, "応答"));
    EXPECT_TRUE(hasText(canvas_, "録音"));
    EXPECT_EQ(printtest::countText(canvas_, "－"), 4);
    EXPECT_TRUE(hasText(canvas_, "24"));
    EXPECT_EQ(print::state().linesPage, 14);

    // Only 1 selects the service layout.
    previewDevice();
    ASSERT_TRUE(gfnfPrintCard(-1));
    EXPECT_FALSE(hasText(canvas_, "機能設定"));
}

}  // namespace
