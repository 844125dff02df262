// The message page and the firmware box against a scripted control: channels written,
// swapped and erased, names edited, message sets saved and restored, firmware checked.
#include <QApplication>
#include <QComboBox>
#include <QRadioButton>
#include <QTabBar>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <fstream>

#include "card/message_set.h"
#include "card_window_fixture.h"
#include "forms/services.h"
#include "sound/recording.h"
#include "sound/wave_out.h"
#include "text/text.h"
#include "wizard/folder_chooser.h"

namespace cardtest {
namespace {

using namespace card::dispid;

std::string le32(std::uint32_t v) {
    return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
}
// A mu-law message file with `samples` sample bytes, and whatever chunks come before and
// after them.
std::string muLaw(std::size_t samples, const std::string& after = {}, const std::string& before = {}) {
    const std::string fmt = std::string("\x07\x00\x01\x00", 4) + le32(8000) + le32(8000) + std::string("\x01\x00\x08\x00", 4);
    const std::string body = "WAVEfmt " + le32(16) + fmt + before + "data" + le32(static_cast<std::uint32_t>(samples)) +
                             std::string(samples, '\x7f') + after;
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
    // The window on screen and active, so that the focus and the keys go where a user's would.
    void showActive() {
        main_->show();
        w().show();
        main_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(main_.get()));
    }
    // The centre of a cell of the card's message grid, in its viewport.
    QPoint cell(int col, int row) const {
        QTableWidget* t = window_->sstCardMsg->table();
        return t->visualRect(t->model()->index(row - 1, col - 1)).center();
    }
    QWidget* gridArea() const { return window_->sstCardMsg->table()->viewport(); }
    void clickTab(int index) {
        QTabBar* bar = window_->tabMessage->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
        ASSERT_EQ(window_->tabMessage->currentIndex(), index);
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

    // Without a card the time of the file is unknown: the file is refused, for want of a card.
    struct Case {
        std::string bytes;
        const char* says;
    };
    const Case cases[] = {
        {muLaw(2000), "'\r\nカードがささっていません。\r\nカードを挿入してください。"},
        {muLaw(2000).substr(0, 1000), "からファイル形式を取得できませんでした。"},  // data longer than the file
    };
    fake().results[ByteToTime] = {-1};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.says);
        shelltest::writeFile(good, c.bytes);
        dialogs_.expectFile(forms::FileDialogRequest::Open, good).expect(c.says);
        QTest::mouseClick(w().cmdOpenFile, Qt::LeftButton);
        EXPECT_EQ(dialogs_.pending(), 0u);
        EXPECT_EQ(w().lblMsgData->property("tag").toString().toStdString(), "");
        EXPECT_FALSE(w().cmdPlay[1]->isEnabled());
    }
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
    // A full card: the box says how to make room.
    dialogs_.expect("メッセージの入れ替え中にエラーが発生しました。[107]\r\n"
                    "カードに空きがありません。メッセージを消去してから、もう一度行ってください。");
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

TEST_F(Messages, TheChosenFilePlaysExactlyItsDataLength) {
    const sound::Backend previous = sound::backend();
    sound::setBackend(sound::Backend::Recording);
    struct Case {
        std::size_t samples;
        std::size_t played;  // whole blocks, the last one filled with silence
    };
    const std::string list = "LIST" + le32(8) + "INFOjunk";
    const Case cases[] = {{100, 1024}, {2048, 2048}, {2500, 3072}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.samples);
        sound::recording::clear();
        const std::string path = file("play" + std::to_string(c.samples) + ".wav");
        shelltest::writeFile(path, muLaw(c.samples, list));
        dialogs_.expectFile(forms::FileDialogRequest::Open, path);
        w().cmdOpenFile_Click();
        QTest::mouseClick(w().cmdPlay[1], Qt::LeftButton);
        EXPECT_FALSE(w().cmdBack->isEnabled());
        for (int tick = 0; tick < 40 && w().tmrSound->isEnabled(); ++tick) {
            w().tmrSound->fire();
            sound::recording::advance(70);
        }
        EXPECT_FALSE(w().tmrSound->isEnabled());
        EXPECT_TRUE(w().cmdStop[2]->isHidden());
        EXPECT_TRUE(w().cmdBack->isEnabled());
        const std::vector<std::uint8_t> played = sound::recording::played();
        ASSERT_EQ(played.size(), c.played);
        EXPECT_EQ(std::count(played.begin(), played.begin() + static_cast<long>(c.samples), 0x7f),
                  static_cast<long>(c.samples));
        EXPECT_EQ(std::count(played.begin() + static_cast<long>(c.samples), played.end(), 0xFF),
                  static_cast<long>(c.played - c.samples))
            << "mu-law silence after the data, never the chunk behind it";
    }
    sound::setBackend(previous);
}

TEST_F(Messages, APlayingFileIsStoppedByTheButtonThatHasTheFocus) {
    const sound::Backend previous = sound::backend();
    sound::setBackend(sound::Backend::Recording);
    showActive();
    const std::string path = file("long.wav");
    shelltest::writeFile(path, muLaw(40000));
    for (bool byKey : {false, true}) {
        SCOPED_TRACE(byKey ? "key" : "mouse");
        dialogs_.expectFile(forms::FileDialogRequest::Open, path);
        w().cmdOpenFile_Click();
        QTest::mouseClick(w().cmdPlay[1], Qt::LeftButton);
        ASSERT_TRUE(w().tmrSound->isEnabled());
        QPushButton* stop = w().cmdStop[2];
        EXPECT_TRUE(stop->isVisible());
        EXPECT_TRUE(stop->isEnabled());
        EXPECT_EQ(QApplication::focusWidget(), stop);
        // Over the first stop button, inside the page.
        EXPECT_EQ(stop->mapToGlobal(QPoint(0, 0)), w().cmdStop[1]->mapToGlobal(QPoint(0, 0)));
        if (byKey) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        } else {
            QTest::mouseClick(stop, Qt::LeftButton);
        }
        EXPECT_FALSE(w().tmrSound->isEnabled());
        EXPECT_TRUE(stop->isHidden());
        EXPECT_TRUE(w().cmdBack->isEnabled());
        EXPECT_TRUE(w().tabMessage->isEnabled());
    }
    sound::setBackend(previous);
}

TEST_F(Messages, APulledCardStopsThePlayingFile) {
    const sound::Backend previous = sound::backend();
    sound::setBackend(sound::Backend::Recording);
    const std::string path = file("long.wav");
    shelltest::writeFile(path, muLaw(40000));
    dialogs_.expectFile(forms::FileDialogRequest::Open, path);
    QTest::mouseClick(w().cmdOpenFile, Qt::LeftButton);
    QTest::mouseClick(w().cmdPlay[1], Qt::LeftButton);
    ASSERT_TRUE(w().tmrSound->isEnabled());
    fake().setStatus(101);
    fake().fire(card::eventid::StatusChange, {com::Variant::i4(101)});
    EXPECT_FALSE(w().tmrSound->isEnabled());
    EXPECT_TRUE(w().cmdStop[2]->isHidden());
    sound::setBackend(previous);
}

TEST_F(Messages, TheArrowKeysMoveTheChannelThatIsErased) {
    showActive();
    fake().indexed[{MessageName, 6}] = com::Variant::bstr("案内");
    QTest::mouseClick(gridArea(), Qt::LeftButton, {}, cell(2, 5));
    EXPECT_EQ(text(w().lblCh), "5");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    EXPECT_EQ(w().sstCardMsg->activeRow(), 6);
    EXPECT_EQ(text(w().lblCh), "6");
    clickTab(1);
    dialogs_.expect("メッセージの消去が終了しました。");
    QTest::mouseClick(w().cmdErease, Qt::LeftButton);
    EXPECT_EQ(calls(WriteMsgName), std::vector<std::string>{"31(6)()"}) << "the highlighted channel, not 5";
}

TEST_F(Messages, APulledCardEndsANameEditWithoutWritingIt) {
    showActive();
    const auto status = [this](std::int32_t s) {
        fake().setStatus(s);
        fake().fire(card::eventid::StatusChange, {com::Variant::i4(s)});
    };
    // A message name and the card name, each being typed when the card is pulled.
    const auto openMessageName = [this] {
        // A hand's double click: press and release, then the second press as a double click.
        QTest::mouseClick(gridArea(), Qt::LeftButton, {}, cell(2, 2));
        QTest::mouseDClick(gridArea(), Qt::LeftButton, {}, cell(2, 2));
        QTest::mouseRelease(gridArea(), Qt::LeftButton, {}, cell(2, 2));
    };
    const auto openCardName = [this] { QTest::mouseDClick(w().lblCardName, Qt::LeftButton); };
    for (const auto& [open, edit] : {std::pair<std::function<void()>, QLineEdit*>{openMessageName, w().txtMsgName},
                                     {openCardName, w().txtCardName[1]}}) {
        SCOPED_TRACE(edit == w().txtMsgName ? "message name" : "card name");
        open();
        ASSERT_TRUE(edit->isVisible());
        ASSERT_EQ(QApplication::focusWidget(), edit);
        QTest::keyClicks(edit, "abc");
        status(101);
        EXPECT_TRUE(edit->isHidden());
        EXPECT_TRUE(w().lblCardName->isVisible());
        status(0);  // another card goes in
        EXPECT_TRUE(edit->isHidden());
    }
    EXPECT_TRUE(calls(WriteMsgName).empty());
    EXPECT_TRUE(calls(WriteCardName).empty());
    EXPECT_EQ(dialogs_.pending(), 0u);
}

TEST_F(Messages, TheRestoreSummaryLeavesTheChosenFilesOffsetAlone) {
    gfServiceMode = vbTrue;
    open(8);
    const std::string good = file("good.wav");
    shelltest::writeFile(good, muLaw(2000));
    dialogs_.expectFile(forms::FileDialogRequest::Open, good);
    QTest::mouseClick(w().cmdOpenFile, Qt::LeftButton);
    ASSERT_EQ(w().waveStart(), 44);
    // A saved set whose message has its samples further on.
    const std::string set = file("set");
    std::filesystem::create_directory(set);
    shelltest::writeFile(card::messageWavePath(set, 1), muLaw(300, {}, "LIST" + le32(4) + "INFO"));
    clickTab(3);
    bool summed = false;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* chooser = qobject_cast<frmGetFolder*>(QApplication::activeModalWidget());
        if (!chooser) return;
        poll.stop();
        chooser->setFolder(set);
        summed = chooser->lblCardError()->isHidden();
        chooser->cmdOK_Click();
    });
    poll.start();
    QTest::mouseClick(w().cmdFolder[1], Qt::LeftButton);
    EXPECT_TRUE(summed) << "the chooser found the saved message";
    EXPECT_EQ(w().lblFolder[1]->toolTip().toStdString(), std::filesystem::weakly_canonical(set).string());
    EXPECT_EQ(w().waveStart(), 44);
    EXPECT_EQ(w().waveLength(), 2000);
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
    // The restore tab (a service function) and its button, as the user reaches them.
    void restoreByHand() {
        gfServiceMode = vbTrue;
        open(8);
        clickTab(3);
        QTest::mouseClick(w().cmdRestore, Qt::LeftButton);
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

TEST_F(MessageSets, OnlyTheLineThatStartsWithTheKeyNamesTheCard) {
    shelltest::writeFile(card::messageWavePath(folder_, 1), muLaw(100));
    shelltest::writeFile(card::nameListPath(folder_),
                         text::toCp932("カード名 　　　：支店\r\n01 メッセージ名：カード名の案内\r\n"));
    dialogs_.expect("復元しますか？", forms::vbYes).expect("メッセージの復元が終了しました。");
    restoreByHand();
    EXPECT_EQ(calls(WriteCardName), std::vector<std::string>{"37(支店)"});
    const auto names = calls(WriteMsgName);
    EXPECT_NE(std::find(names.begin(), names.end(), "31(1)(カード名の案内)"), names.end());
}

TEST_F(MessageSets, NothingIsErasedForASetTheCardCannotHold) {
    struct Case {
        const char* name;
        std::string wave;
        std::int32_t timeOfEach;
        const char* says;
    };
    // 146-byte files that declare about 2 GB each, and nine real files whose times add up
    // past the 32-bit range.
    const std::string declaresTwoGB = muLaw(100).substr(0, 44) + std::string(102, '\x7f');
    std::string patched = declaresTwoGB;
    patched.replace(40, 4, le32(0x7FFFFF00u));
    const Case cases[] = {
        {"declared data beyond the file", patched, 1000, "に復元するファイルが見つかりませんでした。"},
        {"a sum past 32 bits", muLaw(100), 268435455, "カードの容量が足りません。"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (int ch = 1; ch <= 9; ++ch) shelltest::writeFile(card::messageWavePath(folder_, ch), c.wave);
        fake().results[ByteToTime] = {c.timeOfEach};
        fake().log.clear();
        dialogs_.expect(c.says);
        restoreByHand();
        EXPECT_EQ(dialogs_.pending(), 0u);
        EXPECT_TRUE(calls(WriteMessage).empty());
        EXPECT_TRUE(calls(WriteMsgName).empty());
    }
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
