// Copying the card in the reader to other cards, against a scripted control.
#include <QTest>

#include <filesystem>
#include <fstream>

#include "card/image.h"
#include "card_window_fixture.h"

namespace cardtest {
namespace {

using namespace card::dispid;

class Copy : public CardWindow {
protected:
    void SetUp() override {
        gfServiceMode = vbTrue;
        prepare = [](FakeCard& c) { c.setStatus(0); };
        CardWindow::SetUp();
        gfServiceMode = vbTrue;
        open(7);
        FakeCard& c = fake();
        c.onCall[ReadCardData] = [](std::span<com::Variant> args) {
            shelltest::writeFile(args[0].asString(), std::string(card::kImageSize, '\0'));
        };
        c.onCall[ReadMessage] = [](std::span<com::Variant> args) { shelltest::writeFile(args[1].asString(), "RIFF"); };
        c.onCall[WriteCardData] = [this](std::span<com::Variant> args) { written_ = shelltest::readFile(args[0].asString()); };
    }
    void start(std::initializer_list<std::pair<const char*, int>> answers) {
        dialogs_.expect("現在のカードを他のカードにコピーします。", forms::vbYes);
        for (const auto& [text, answer] : answers) dialogs_.expect(text, answer);
        w().cmdCopy_Click();
        EXPECT_EQ(dialogs_.pending(), 0u);
    }
    std::vector<std::string> writes() const {
        std::vector<std::string> out;
        for (const auto& e : fake().log)
            if (e.rfind("30(", 0) == 0) out.push_back(e);
        return out;
    }
    std::string written_;
};

constexpr const char* kInsert = "コピー先のカードを挿入してください。";
constexpr const char* kMore = "続けて別のカードに書き込みますか？";

TEST_F(Copy, AnEmptySourceErasesEveryChannelOfTheTarget) {
    fake().setDates(2026, 12, 1);  // a schedule, no settings
    w().chkCopySetting->setChecked(true);
    // The first target is not initialised: it is formatted without a question.
    fake().results[GetCardError] = {111, 0};
    start({{kInsert, forms::vbOK}, {kMore, forms::vbNo}});
    EXPECT_EQ(fake().calls(Format), 1);
    EXPECT_EQ(fake().calls(ReadMessage), 0);
    const std::vector<std::string> erased = {"30(1)()", "30(2)()", "30(3)()", "30(4)()", "30(5)()", "30(6)()", "30(7)()",
                                             "30(8)()", "30(9)()", "30(10)()", "30(11)()", "30(12)()", "30(24)()"};
    EXPECT_EQ(writes(), erased);
    ASSERT_EQ(written_.size(), card::kImageSize);
    const auto at = [&](std::size_t i) { return static_cast<int>(static_cast<unsigned char>(written_[i])); };
    // Settings blanked (the source has none), schedule, names and pattern names written.
    EXPECT_EQ(at(card::kWriteModeAt + 24), 2);
    EXPECT_EQ(at(card::kWriteModeAt + 25), 4);
    EXPECT_EQ(at(card::kWriteModeAt + 26), 4);
    EXPECT_EQ(at(card::kWriteModeAt + 27), 6);
    EXPECT_EQ(at(card::kWriteModeAt + 28), 4);
    EXPECT_EQ(at(0x202C), 0);
    EXPECT_EQ(at(card::kDataVersionAt), 1);
    EXPECT_EQ(at(card::kDataVersionAt + 1), 5);
    // Every work file is gone and the card is read again.
    EXPECT_FALSE(exists("CardData.crd"));
    EXPECT_EQ(w().working(), nullptr);
    EXPECT_TRUE(w().cmdCopy->isEnabled());
}

TEST_F(Copy, RecordedChannelsAndSettingsGoToEveryTarget) {
    fake().setDates(2026, 12, 1, 2026, 11, 30);
    fake().indexed[{MessageTime, 3}] = com::Variant::i4(5000);
    fake().props[CardTime] = com::Variant::i4(60000);
    w().chkCopySetting->setChecked(true);
    start({{kInsert, forms::vbOK}, {kMore, forms::vbYes}, {kInsert, forms::vbOK}, {kMore, forms::vbNo}});
    EXPECT_EQ(fake().calls(ReadMessage), 1);
    EXPECT_EQ(fake().calls(WriteCardData), 2);
    int channel3 = 0;
    for (const auto& e : writes())
        if (e.find("Card03ch.wav") != std::string::npos) ++channel3;
    EXPECT_EQ(channel3, 2);
    const auto at = [&](std::size_t i) { return static_cast<int>(static_cast<unsigned char>(written_[i])); };
    EXPECT_EQ(at(card::kWriteModeAt + 24), 4);
    EXPECT_EQ(at(0x202C), 1);
    EXPECT_FALSE(exists("Card03ch.wav"));
}

TEST_F(Copy, UnsuitableTargetsAskForAnotherCard) {
    fake().setDates(2026, 12, 1);
    fake().indexed[{MessageTime, 1}] = com::Variant::i4(9000);
    fake().props[CardTime] = com::Variant::i4(60000);
    // No card, a foreign card, then a card too small for the messages.
    fake().results[GetCardError] = {101, 102, 0};
    fake().onCall[ReadCardInfo] = [this](std::span<com::Variant>) { fake().props[CardTime] = com::Variant::i4(1000); };
    start({{kInsert, forms::vbOK},
           {kInsert, forms::vbOK},
           {"このカードにはコピー出来ません。[102]", forms::vbOK},
           {kInsert, forms::vbOK},
           {"録音残時間が足りません。", forms::vbOK},
           {kInsert, forms::vbCancel}});
    EXPECT_EQ(fake().calls(WriteCardData), 0);
    EXPECT_FALSE(exists("Card01ch.wav"));
}

TEST_F(Copy, AFailedSourceReadEndsTheCopy) {
    fake().results[ReadCardData] = {106};
    start({{"スケジュールデータの読み込み中にエラーが発生しました。[106]", forms::vbOK}});
    EXPECT_EQ(fake().calls(GetCardError), 0);
    EXPECT_EQ(w().working(), nullptr);
}

TEST_F(Copy, ACancelInTheProgressWindowEndsWithItsNumber) {
    fake().setDates(2026, 12, 1);
    fake().onCall[ReadCardData] = [](std::span<com::Variant> args) {
        shelltest::writeFile(args[0].asString(), std::string(card::kImageSize, '\0'));
        gfCancel = vbTrue;
    };
    start({{"カードのコピー中にエラーが発生しました。(32755)", forms::vbOK}});
    EXPECT_EQ(fake().calls(GetCardError), 0);
    EXPECT_FALSE(exists("CardData.crd"));
    EXPECT_EQ(w().working(), nullptr);
}

TEST_F(Copy, ATargetThatStaysUninitialisedIsRefusedOrCancelled) {
    struct Case {
        bool cancel;  // confirmed in the progress window while the target is formatted
        std::vector<std::pair<const char*, int>> then;
    };
    const Case cases[] = {
        {false, {{"このカードにはコピー出来ません。[111]", forms::vbOK}, {kInsert, forms::vbCancel}}},
        {true, {{"カードのコピー中にエラーが発生しました。(32755)", forms::vbOK}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cancel ? "cancel" : "refused");
        fake().setDates(2026, 12, 1);
        fake().log.clear();
        // Formats "successfully" and still reads as not initialised; a copy that kept
        // trying would meet a pulled card after a few rounds.
        fake().results[GetCardError] = {111};
        int formats = 0;
        fake().onCall[Format] = [&](std::span<com::Variant>) {
            if (c.cancel) gfCancel = vbTrue;
            if (++formats == 5) fake().results[GetCardError] = {101};
        };
        dialogs_.expect("現在のカードを他のカードにコピーします。", forms::vbYes).expect(kInsert, forms::vbOK);
        for (const auto& [says, answer] : c.then) dialogs_.expect(says, answer);
        QTest::mouseClick(w().cmdCopy, Qt::LeftButton);
        EXPECT_EQ(dialogs_.pending(), 0u);
        EXPECT_EQ(formats, 1);
        EXPECT_EQ(fake().calls(WriteCardData), 0);
        EXPECT_EQ(w().working(), nullptr);
        gfCancel = vbFalse;
    }
}

TEST_F(Copy, TheCapacityCheckCountsTheFirmwareThatIsCopied) {
    fake().setDates(2026, 12, 1);
    fake().indexed[{MessageTime, 1}] = com::Variant::i4(9000);
    fake().indexed[{MessageTime, 24}] = com::Variant::i4(2000);
    fake().props[CardTime] = com::Variant::i4(10000);
    w().chkCopyProgram->setChecked(true);
    dialogs_.expect("現在のカードを他のカードにコピーします。", forms::vbYes)
        .expect(kInsert, forms::vbOK)
        .expect("録音残時間が足りません。")
        .expect(kInsert, forms::vbCancel);
    QTest::mouseClick(w().cmdCopy, Qt::LeftButton);
    EXPECT_EQ(dialogs_.pending(), 0u);
    EXPECT_EQ(fake().calls(WriteCardData), 0);
}

}  // namespace
}  // namespace cardtest
