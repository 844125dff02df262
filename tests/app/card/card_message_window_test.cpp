// The message page and the firmware box against a scripted control: channels written,
// swapped and erased, names edited, message sets saved and restored, firmware checked.
#include <QComboBox>
#include <QRadioButton>

#include <filesystem>
#include <fstream>

#include "card/message_set.h"
#include "card_window_fixture.h"
#include "sound/recording.h"
#include "sound/wave_out.h"
#include "text/text.h"
#include "forms/services.h"

namespace cardtest {
namespace {

using namespace card::dispid;

std::string le32(std::uint32_t v) {
    return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
}
// A mu-law message file with `samples` sample bytes.
std::string muLaw(std::size_t samples) {
    const std::string fmt = std::string("\x07\x00\x01\x00", 4) + le32(8000) + le32(8000) + std::string("\x01\x00\x08\x00", 4);
    const std::string body = "WAVEfmt " + le32(16) + fmt + "data" + le32(static_cast<std::uint32_t>(samples)) +
                             std::string(samples, '\x7f');
    return "RIFF" + le32(static_cast<std::uint32_t>(body.size())) + body;
}

class Messages : public CardWindow {
protected:
    void SetUp() override {
        prepare = [](FakeCard& c) {
            c.setStatus(0);
            c.indexed[{MessageTime, 2}] = com::Variant::i4(4000);
            c.indexed[{MessageName, 2}] = com::Variant::bstr("営業時間");
            c.indexed[{MessageName, 5}] = com::Variant::bstr("名前だけ");
            c.props[CardRemain] = com::Variant::i4(10000);
            c.props[CardTime] = com::Variant::i4(600000);
            c.results[ByteToTime] = {1000};
        };
        CardWindow::SetUp();
        open(8);
    }
    std::vector<std::string> calls(com::DispId id) const {
        std::vector<std::string> out;
        const std::string key = std::to_string(id) + "(";
        for (const auto& e : fake().log)
            if (e.rfind(key, 0) == 0) out.push_back(e);
        return out;
    }
};

TEST_F(Messages, ThePageStartsOnChannelOneWritingAFile) {
    EXPECT_EQ(text(w().lblCh), "1");
    EXPECT_TRUE(w().optWriteMode[3]->isChecked());
    EXPECT_EQ(text(w().lblMsgData), "ファイルを選択してください。");
    EXPECT_TRUE(w().cmdOpenFile->isEnabled());
    // A row below the channels goes back to channel 1.
    w().selectChannel(13);
    EXPECT_EQ(text(w().lblCh), "1");
}

TEST_F(Messages, ReplaceIsOnlyForAnswerChannels) {
    w().selectChannel(10);
    EXPECT_FALSE(w().optWriteMode[1]->isEnabled());
    dialogs_.expect("メッセージは書き込みできません。");
    w().optWriteMode_Click(1);
    EXPECT_TRUE(w().optWriteMode[3]->isChecked());
    EXPECT_EQ(text(w().lblWriteMode), "3");
}

TEST_F(Messages, ChoosingAFileChecksItsFormat) {
    const std::string good = file("good.wav"), bad = file("bad.txt");
    shelltest::writeFile(good, muLaw(2000));
    shelltest::writeFile(bad, "not a wave");
    dialogs_.expectFile(forms::FileDialogRequest::Open, bad)
        .expect("はファイル形式が違うので書き込みできません。")
        .expectFile(forms::FileDialogRequest::Open, good);
    w().cmdOpenFile_Click();
    EXPECT_EQ(w().lblMsgData->property("tag").toString().toStdString(), "");
    w().cmdOpenFile_Click();
    EXPECT_EQ(w().lblMsgData->property("tag").toString().toStdString(), good);
    EXPECT_EQ(w().lblMsgTime->property("tag").toInt(), 1000);
    EXPECT_EQ(w().waveStart(), 44);
    EXPECT_EQ(w().waveLength(), 2000);
    EXPECT_TRUE(w().cmdPlay[1]->isEnabled());

    // Without a card the time of the file is unknown: the file is refused.
    fake().results[ByteToTime] = {-1};
    dialogs_.expectFile(forms::FileDialogRequest::Open, good).expect("からファイル形式を取得できませんでした。");
    w().cmdOpenFile_Click();
    EXPECT_EQ(w().lblMsgData->property("tag").toString().toStdString(), "");
}

TEST_F(Messages, WritingAFileNeedsOnlyTheDifferenceInTime) {
    const std::string good = file("good.wav");
    shelltest::writeFile(good, muLaw(2000));
    fake().results[ByteToTime] = {14000};  // 4000 on channel 2 given back; 10000 remain
    w().selectChannel(2);
    dialogs_.expectFile(forms::FileDialogRequest::Open, good).expect("メッセージの書き込みが終了しました。");
    w().cmdOpenFile_Click();
    w().cmdDo_Click();
    EXPECT_EQ(calls(WriteMessage), std::vector<std::string>{"30(2)(" + good + ")"});

    fake().results[ByteToTime] = {14001};
    dialogs_.expectFile(forms::FileDialogRequest::Open, good).expect("録音残時間が足りません。");
    w().cmdOpenFile_Click();
    w().cmdDo_Click();
    EXPECT_EQ(calls(WriteMessage).size(), 1u);
}

TEST_F(Messages, WriteAndReplaceRefuseWhatIsMissing) {
    dialogs_.expect("ファイルが選択されていません。");
    w().cmdDo_Click();
    // Two empty channels cannot be swapped; an empty one with a recorded one can.
    w().selectChannel(3);
    w().optWriteMode_Click(1);
    w().cboMessage->setCurrentIndex(2);  // channel 4
    w().cboMessage_Click();
    dialogs_.expect("メッセージの録音がありません。");
    w().cmdDo_Click();
    w().cboMessage->setCurrentIndex(1);  // channel 2
    w().cboMessage_Click();
    fake().results[ReplaceMessage] = {107};
    dialogs_.expect("メッセージの入れ替え中にエラーが発生しました。[107]");
    w().cmdDo_Click();
    EXPECT_EQ(calls(ReplaceMessage), std::vector<std::string>{"26(3)(2)"});
    EXPECT_EQ(w().working(), nullptr);
}

TEST_F(Messages, ErasingTheChannelOrAll) {
    // A channel with a name but no recording loses its name only.
    w().selectChannel(5);
    w().optErease[0]->setChecked(true);
    dialogs_.expect("メッセージの消去が終了しました。");
    w().cmdErease_Click();
    EXPECT_TRUE(calls(WriteMessage).empty());
    EXPECT_EQ(calls(WriteMsgName), std::vector<std::string>{"31(5)()"});
    // An empty channel only beeps.
    w().selectChannel(7);
    forms::resetBeepCount();
    w().cmdErease_Click();
    EXPECT_EQ(forms::beepCount(), 1);
    // All: channel 2 recorded, channel 5 named; a busy card stops the loop at channel 2.
    fake().log.clear();
    w().optErease[1]->setChecked(true);
    fake().results[WriteMessage] = {702};
    dialogs_.expect("すべてのメッセージを消去してもよろしいですか？", forms::vbYes)
        .expect("応答メッセージ２の消去中にエラーが発生しました。[702]");
    w().cmdErease_Click();
    EXPECT_EQ(calls(WriteMessage), std::vector<std::string>{"30(2)()"});
    EXPECT_TRUE(calls(WriteMsgName).empty());
}

TEST_F(Messages, NamesAreCutToTwentyBytesAndWrittenOnlyWhenChanged) {
    w().sstCardMsg_DblClick(2, 2);
    ASSERT_FALSE(w().txtMsgName->isHidden());
    EXPECT_EQ(w().txtMsgName->text().toStdString(), "営業時間");
    w().txtMsgName_LostFocus();
    EXPECT_TRUE(calls(WriteMsgName).empty());

    w().sstCardMsg_DblClick(2, 2);
    forms::resetBeepCount();
    w().txtMsgName->setText(QString::fromUtf8("一二三四五六七八九十十"));
    w().txtMsgName_Change();
    EXPECT_EQ(forms::beepCount(), 1);
    EXPECT_EQ(w().txtMsgName->text().toStdString(), "一二三四五六七八九十");
    w().txtMsgName_LostFocus();
    EXPECT_EQ(calls(WriteMsgName), std::vector<std::string>{"31(2)(一二三四五六七八九十)"});

    // The card name on the card: the same limit, written when it changed.
    w().lblCardName_DblClick();
    w().txtCardName[1]->setText(QString::fromUtf8("ＡＢＣＤＥＦＧＨＩＪＫ"));
    w().txtCardName_Change(1);
    w().txtCardName_LostFocus(1);
    EXPECT_EQ(calls(WriteCardName), std::vector<std::string>{"37(ＡＢＣＤＥＦＧＨＩＪ)"});
    EXPECT_FALSE(w().lblCardName->isHidden());
}

TEST_F(Messages, PlayingAnEmptyChannelBeeps) {
    w().selectChannel(3);
    forms::resetBeepCount();
    w().cmdPlay_Click(0);
    EXPECT_EQ(forms::beepCount(), 1);
    EXPECT_TRUE(calls(PlayMessage).empty());
    // Outside the debug mode the speed is always 100.
    w().sstCardMsg->setActiveCell(1, 2);
    w().cboSpeed->setCurrentIndex(0);
    w().cmdPlay_Click(0);
    EXPECT_EQ(calls(PlayMessage), std::vector<std::string>{"33(2)(100)"});
    EXPECT_TRUE(w().cmdRefresh->isEnabled());
}

TEST_F(Messages, TheChosenFilePlaysWholeBlocksUntilItsEnd) {
    const sound::Backend previous = sound::backend();
    sound::setBackend(sound::Backend::Recording);
    sound::recording::clear();
    const std::string path = file("play.wav");
    shelltest::writeFile(path, muLaw(2500));  // two whole blocks and a part
    dialogs_.expectFile(forms::FileDialogRequest::Open, path);
    w().cmdOpenFile_Click();
    w().cmdPlay_Click(1);
    EXPECT_FALSE(w().cmdStop[2]->isHidden());
    EXPECT_FALSE(w().cmdBack->isEnabled());
    for (int tick = 0; tick < 4; ++tick) w().tmrSound->fire();  // the part block is not queued
    sound::recording::advance(1000);
    w().tmrSound->fire();
    EXPECT_FALSE(w().tmrSound->isEnabled());
    EXPECT_TRUE(w().cmdStop[2]->isHidden());
    EXPECT_TRUE(w().cmdBack->isEnabled());
    EXPECT_EQ(sound::recording::played().size(), 2048u);
    sound::setBackend(previous);
}

// ---------------------------------------------------------------------------------------

class MessageSets : public Messages {
protected:
    void SetUp() override {
        Messages::SetUp();
        folder_ = file("set");
        std::filesystem::create_directory(folder_);
        card::setFolderChooser([this](const std::string&, const std::string&, int) { return folder_; });
        w().cmdFolder_Click(0);
        w().cmdFolder_Click(1);
        fake().props[CardName] = com::Variant::bstr("本社");
        fake().onCall[ReadMessage] = [](std::span<com::Variant> args) {
            shelltest::writeFile(args[1].asString(), muLaw(100));
        };
    }
    void TearDown() override {
        card::setFolderChooser({});
        Messages::TearDown();
    }
    std::string folder_;
};

TEST_F(MessageSets, SaveWritesTheRecordedChannelsAndThirteenNames) {
    shelltest::writeFile(card::messageWavePath(folder_, 3), "old");
    dialogs_.expect("にはすでにファイルが存在します。", forms::vbYes).expect("メッセージの保存が終了しました。");
    w().cmdSave_Click();
    EXPECT_FALSE(std::filesystem::exists(card::messageWavePath(folder_, 3)));
    EXPECT_TRUE(std::filesystem::exists(card::messageWavePath(folder_, 2)));
    const card::NameList list = card::readNameList(card::nameListPath(folder_));
    EXPECT_EQ(list.cardName, "本社");
    EXPECT_EQ(list.names[1], "営業時間");
    EXPECT_EQ(list.names[4], "名前だけ");
    int lines = 0;
    std::ifstream in(card::nameListPath(folder_));
    for (std::string l; std::getline(in, l);) ++lines;
    EXPECT_EQ(lines, 13);
}

TEST_F(MessageSets, RestoreReplacesEveryMessageAndSkipsForeignFiles) {
    shelltest::writeFile(card::messageWavePath(folder_, 4), muLaw(100));
    shelltest::writeFile(card::messageWavePath(folder_, 5), "RIFF....WAVEnot mu-law");
    shelltest::writeFile(card::nameListPath(folder_),
                         text::toCp932("カード名 　　　：支店\r\n04 メッセージ名：案内\r\n13 メッセージ名：無視\r\n"));
    dialogs_.expect("復元しますか？", forms::vbYes).expect("メッセージの復元が終了しました。");
    w().cmdRestore_Click();
    EXPECT_EQ(calls(WriteCardName), std::vector<std::string>{"37(支店)"});
    EXPECT_EQ(calls(WriteMessage),
              (std::vector<std::string>{"30(2)()", "30(4)(" + card::messageWavePath(folder_, 4) + ")"}));
    EXPECT_EQ(calls(WriteMsgName), (std::vector<std::string>{"31(2)()", "31(5)()", "31(4)(案内)"}));
}

TEST_F(MessageSets, RestoreChecksTheCapacity) {
    shelltest::writeFile(card::messageWavePath(folder_, 1), muLaw(100));
    fake().props[CardTime] = com::Variant::i4(999);
    dialogs_.expect("カードの容量が足りません。");
    w().cmdRestore_Click();
    EXPECT_TRUE(calls(WriteMessage).empty());
}

// ---------------------------------------------------------------------------------------

class Firmware : public CardWindow {
protected:
    void SetUp() override {
        prepare = [](FakeCard& c) {
            c.setStatus(0);
            c.props[CardRemain] = com::Variant::i4(100000);
            c.results[ByteToTime] = {8192};
        };
        gfServiceMode = vbTrue;
        CardWindow::SetUp();
        gfServiceMode = vbTrue;
        open(7);
    }
    std::string hexFile(const std::string& name, const std::string& maker, const std::string& model, bool upper = true) {
        const auto hex = [](const std::string& word) {
            std::string out;
            char b[3];
            for (unsigned char ch : word) {
                std::snprintf(b, sizeof b, "%02X", ch);
                out += b;
            }
            return out;
        };
        const std::string path = file(name);
        shelltest::writeFile(path, std::string(upper ? "S" : "s") + "00600004844521B\r\n" + "S214010000010002" + hex(maker) +
                                       "0000\r\n" + "S21401FF00" + hex(model) + "00000000000000\r\n" +
                                       "S804000000FB\r\n");
        return path;
    }
};

TEST_F(Firmware, OnlyThisModelsFirmwareIsWritten) {
    struct Case {
        const char* name;
        std::string path;
        bool valid;
    };
    const Case cases[] = {
        {"good", hexFile("good.hex", "Veltron", "KV-M58S"), true},
        {"lower-case s", hexFile("lower.hex", "Veltron", "KV-M58S", false), false},
        {"other maker", hexFile("maker.hex", "Someone", "KV-M58S"), false},
        {"other model", hexFile("model.hex", "Veltron", "KV-M99X"), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dialogs_.expectFile(forms::FileDialogRequest::Open, c.path);
        if (c.valid) {
            dialogs_.expect("Ver.1.02 です。", forms::vbYes).expect("ファームウェアデータの書き込みが終了しました。");
        } else {
            dialogs_.expect("はファイル形式が違います。");
        }
        w().cmdWriteProgram_Click();
        EXPECT_EQ(dialogs_.pending(), 0u);
    }
    EXPECT_EQ(fake().calls(WriteMessage), 1);
}

TEST_F(Firmware, TheFirmwareChannelGivesItsTimeBack) {
    fake().props[CardRemain] = com::Variant::i4(8000);
    fake().indexed[{MessageTime, 24}] = com::Variant::i4(192);
    const std::string path = hexFile("good.hex", "Veltron", "KV-M58S");
    dialogs_.expectFile(forms::FileDialogRequest::Open, path).expect("書き込みますか？", forms::vbNo);
    w().cmdWriteProgram_Click();
    fake().indexed[{MessageTime, 24}] = com::Variant::i4(191);
    dialogs_.expect("を書き込むには録音残時間が");
    w().cmdWriteProgram_Click();
    EXPECT_EQ(fake().calls(WriteMessage), 0);
}

TEST_F(Firmware, TheUpdatePageLooksForTheDiscAndFallsBackToTheDialog) {
    window_.reset();
    open(20);
    const std::string disc = file("disc");
    std::filesystem::create_directories(disc + "/Firmware");
    card::setDriveRootsForTesting([disc] { return std::vector<std::string>{disc}; });
    dialogs_.expect("RDX-700のCD-ROMをドライブに挿入してください。");
    for (int i = 0; i < 5; ++i) dialogs_.expect("が見つかりません。", forms::vbRetry);
    dialogs_.expectFile(forms::FileDialogRequest::Open, std::nullopt);
    w().cmdWriteProgram_Click();
    EXPECT_EQ(dialogs_.fileDialogs().back().filter, "KV-M58Sﾌｧｰﾑｳｪｱ ﾌｧｲﾙ(KV-M58S.HEX)|KV-M58S.HEX");
    // With the disc in: found at once.
    std::filesystem::copy_file(hexFile("x.hex", "Veltron", "KV-M58S"), disc + "/Firmware/KV-M58S.HEX");
    dialogs_.expect("RDX-700のCD-ROMをドライブに挿入してください。").expect("書き込みますか？", forms::vbNo);
    w().cmdWriteProgram_Click();
    card::setDriveRootsForTesting({});
    EXPECT_EQ(dialogs_.pending(), 0u);
}

TEST_F(Firmware, ErasingAnEmptyChannelBeeps) {
    forms::resetBeepCount();
    w().cmdEraseProgram_Click();
    EXPECT_EQ(forms::beepCount(), 1);
    fake().indexed[{MessageTime, 24}] = com::Variant::i4(192);
    dialogs_.expect("ﾌｧｰﾑｳｪｱﾃﾞｰﾀを消去しますか？", forms::vbYes).expect("ﾌｧｰﾑｳｪｱﾃﾞｰﾀの消去が終了しました。");
    w().cmdEraseProgram_Click();
    EXPECT_EQ(fake().calls(WriteMessage), 1);
}

}  // namespace
}  // namespace cardtest
