// Faults a card must come through whole: full cards, pulls at the awkward moments, a reader
// that garbles a reply, a bit flipped on the way. Each case judges the whole card as the
// layout describes it (card_model.h), after the repair the check asks for.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "card_files.h"
#include "card_fixture.h"
#include "card_model.h"
#include "control/card.h"
#include "control/card_info.h"
#include "control/errors.h"
#include "control/link.h"
#include "control/methods.h"
#include "control/wave.h"
#include "emulator/fixtures.h"

namespace {

using namespace control;
using namespace control_test;
namespace fs = std::filesystem;
namespace fx = emulator::fixtures;
using emulator::Fault;

class SafetyTest : public CardTest {
protected:
    void SetUp() override {
        CardTest::SetUp();
        dir = fs::temp_directory_path() / ("kv_safety_" + std::to_string(::getpid()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override {
        fs::remove_all(dir);
        CardTest::TearDown();
    }
    std::string path(const std::string& name) const { return (dir / name).string(); }

    void use(std::shared_ptr<emulator::Card> c) {
        card = std::move(c);
        reader->clearFaults();
        reader->insert(card);
    }

    // A card data file that changes every typed block, as the card window's copy writes it.
    std::string cardDataFile() const {
        writeCardDataFile(dir / "CardData.crd");
        return path("CardData.crd");
    }
    // What the card window does after a card operation: the check, and the repair it asks for.
    int settle() {
        const int check = GetCardError();
        if (check != cardError::JournalSet) return check;
        if (const int r = Repair(check)) return r;
        return GetCardError();
    }

    // The card's content now; a card that is not whole fails the test.
    CardContent content() {
        std::string fault;
        auto c = readContent(*card, fault);
        EXPECT_TRUE(c) << fault;
        return c.value_or(CardContent{});
    }

    // The commands `op` sends to a copy of the card from `make`, on a card of its own.
    std::vector<emulator::LoggedCommand> commandsOf(const std::function<std::shared_ptr<emulator::Card>()>& make,
                                                    const std::function<int()>& op) {
        use(make());
        reader->clearLog();
        op();
        return reader->log();
    }

    // The number of the first logged command that `match` picks (1-based), or 0.
    static int numberOf(const std::vector<emulator::LoggedCommand>& log,
                        const std::function<bool(const emulator::LoggedCommand&)>& match, bool last = false) {
        int found = 0;
        for (std::size_t i = 0; i < log.size(); ++i)
            if (match(log[i])) {
                found = static_cast<int>(i) + 1;
                if (!last) break;
            }
        return found;
    }

    // The card taken back and given a new message that reads back.
    void takesANewMessage() {
        const Bytes data = pattern(5000, 79);
        writeFile(dir / "probe.dat", data);
        ASSERT_EQ(WriteMessage(12, path("probe.dat")), 0);
        ASSERT_EQ(ReadMessage(12, path("back.dat")), 0);
        const Bytes back = readFile(dir / "back.dat");
        ASSERT_GE(back.size(), data.size());
        EXPECT_TRUE(std::equal(data.begin(), data.end(), back.begin()));
    }

    fs::path dir;
};

bool reads(const emulator::LoggedCommand& c, std::uint16_t block) { return (c.command & 0x0F) == 0x02 && c.block == block; }

// A change has room to stage its copies, or it is refused before anything is touched; the
// room a change needs is kept out of what messages may take, and the card's times say so.
TEST_F(SafetyTest, AFullCardRefusesAChangeItHasNoRoomToCopy) {
    const std::string file = cardDataFile();
    const struct {
        const char* name;
        std::function<int()> op;
    } ops[] = {
        {"WriteCardName", [] { return WriteCardName(nameOf("New")); }},
        {"WriteMsgName", [] { return WriteMsgName(4, nameOf("Four")); }},
        {"ReplaceMessage", [] { return ReplaceMessage(1, 3); }},
        {"WriteCardData", [&] { return WriteCardData(file); }},
        {"WriteCardFile", [&] { return WriteCardFile(file); }},
    };
    for (const auto& c : ops) {
        SCOPED_TRACE(c.name);
        use(cardInUse(0xA4, emulator::kNoChip, 0));
        ASSERT_EQ(ReadCardInfo(), 0);
        const CardContent before = content();
        reader->clearLog();
        EXPECT_EQ(c.op(), cardError::NoFreeBlock);
        EXPECT_TRUE(changes().empty());
        EXPECT_EQ(content(), before);
    }
}

TEST_F(SafetyTest, TheCardKeepsRoomForTheCopiesOfOneChange) {
    const std::string file = cardDataFile();
    const struct {
        std::uint8_t chip;
        std::size_t kept;  // blocks the copies of the largest change need beside the journal
    } kinds[] = {{0xA4, 3}, {0xE3, 1}, {0x73, 0}};
    for (const auto& k : kinds) {
        SCOPED_TRACE(k.chip);
        use(cardInUse(k.chip, emulator::kNoChip, k.kept));
        ASSERT_EQ(ReadCardInfo(), 0);
        const CardInfo info = cardInfo();
        EXPECT_EQ(info.cardRemain, 0) << "the kept blocks take no recording";
        EXPECT_EQ(info.cardTime, (info.totalBlocks - info.badBlocks - 6 - static_cast<long>(k.kept)) * info.blockMs);
        writeFile(dir / "one.dat", pattern(100, 5));
        reader->clearLog();
        EXPECT_EQ(WriteMessage(5, path("one.dat")), cardError::NoFreeBlock);
        EXPECT_TRUE(changes().empty());
        EXPECT_EQ(WriteCardFile(file), 0);
        EXPECT_EQ(WriteCardName(nameOf("Kept")), 0);
        EXPECT_EQ(ReplaceMessage(1, 3), 0);
        EXPECT_EQ(GetCardError(), 0);
        content();
    }
}

// With block 0 caught half-written, the journal is found past a bad block that reads erased.
TEST_F(SafetyTest, TheJournalIsFoundPastABadBlockThatReadsErased) {
    auto make = [] {
        fx::Layout l = layoutInUse(0xA4);
        l.badBlocks = {1};
        return fx::build(l);
    };
    use(make());
    const CardContent before = content();
    ASSERT_EQ(ReplaceMessage(1, 3), 0);
    const CardContent after = content();
    const auto log = commandsOf(make, [] { return ReplaceMessage(1, 3); });
    const int erase0 = numberOf(log, [](const auto& c) { return c.command == 0x01 && c.block == 0; });
    ASSERT_GT(erase0, 0);
    use(make());
    reader->failErase(1);
    reader->pullCardAfter(erase0);
    ReplaceMessage(1, 3);
    reader->insert(card);
    EXPECT_EQ(GetCardError(), cardError::JournalSet);
    EXPECT_EQ(settle(), 0);
    const CardContent now = content();
    EXPECT_TRUE(now == before || now == after);
    takesANewMessage();
}

// A format of a card whose journal was left set: wherever it is cut, the repair and a new
// format leave a card whose free blocks are erased.
TEST_F(SafetyTest, AFormatOverASetJournalIsSafeAtEveryCut) {
    auto make = [] { return fx::journalLeftSet(0, 0xA4); };
    const auto total = static_cast<int>(commandsOf(make, [] { return Format(); }).size());
    for (int k = 1; k <= total; ++k) {
        SCOPED_TRACE(k);
        use(make());
        reader->pullCardAfter(k);
        Format();
        reader->insert(card);
        int check = settle();
        if (check == cardError::Unformatted) {
            ASSERT_EQ(Format(), 0);
            check = GetCardError();
        }
        ASSERT_EQ(check, 0);
        content();
        takesANewMessage();
    }
}

// A replace is one change: the names follow their messages wherever it is cut.
TEST_F(SafetyTest, NamesFollowTheirMessagesAtEveryCutOfAReplace) {
    auto make = [] { return cardInUse(0xA4); };
    use(make());
    const CardContent before = content();
    ASSERT_EQ(ReplaceMessage(1, 3), 0);
    const CardContent after = content();
    ASSERT_NE(after.typed.at(fx::kNamesBlock), before.typed.at(fx::kNamesBlock));
    const auto total = static_cast<int>(commandsOf(make, [] { return ReplaceMessage(1, 3); }).size());
    for (int k = 1; k <= total; ++k) {
        SCOPED_TRACE(k);
        use(make());
        reader->pullCardAfter(k);
        ReplaceMessage(1, 3);
        reader->insert(card);
        ASSERT_EQ(settle(), 0);
        const CardContent now = content();
        EXPECT_TRUE(now == before || now == after) << now.firstDifference(before) << " / " << now.firstDifference(after);
    }
}

// A reply whose code the control does not know may hide a write that waits for its data:
// the control finishes that data phase with bytes that program nothing, so the next command
// is heard as a command.
TEST_F(SafetyTest, AGarbledReplyLeavesTheReaderReadyForTheNextCommand) {
    for (const int command : {CmdWriteSector, CmdWriteBlock}) {
        SCOPED_TRACE(command);
        use(cardInUse(0xA4));
        const Bytes block6 = blockBytes(6);
        LinkSession session;
        std::size_t bytes = 0;
        ASSERT_EQ(rdxCardStatus(bytes), 0);
        reader->inject(Fault::CorruptReplyCode, 1, static_cast<std::uint8_t>(command));
        Bytes data(command == CmdWriteBlock ? 4096 : 512, 0x00);
        EXPECT_EQ(rdxTransact(command, 6 * 8, data), cardError::ReceiveFailed);
        EXPECT_EQ(rdxCardStatus(bytes), 0) << "the status command was taken as data";
        EXPECT_EQ(blockBytes(6), block6) << "the data phase was finished without programming";
    }
}

// A bit flipped while the idle journal is read never reaches the dump.
TEST_F(SafetyTest, AFlippedBitInTheJournalNeverReachesTheDump) {
    auto make = [] { return cardInUse(0xA4); };
    const auto log = commandsOf(make, [&] { return ReadCardData(path("d.crd")); });
    const int journalRead = numberOf(log, [](const auto& c) { return reads(c, 1); });
    ASSERT_GT(journalRead, 0);
    for (const std::size_t at : {0, 100}) {
        SCOPED_TRACE(at);
        use(make());
        reader->flipBitAt(at, 0x04);
        reader->injectAfter(journalRead - 1, Fault::FlipDataBit);
        const int result = ReadCardData(path("d.crd"));
        if (result != 0) continue;
        const Bytes dump = readFile(dir / "d.crd");
        ASSERT_EQ(dump.size(), 0x7000u);
        EXPECT_EQ(Bytes(dump.begin() + 0x1000, dump.begin() + 0x1200), Bytes(512, 0xFF));
    }
}

// The journal's state is acted on only as the card holds it: a state byte flipped on its
// way in is read again, never taken for the erase of a channel.
TEST_F(SafetyTest, AFlippedJournalStateIsReadAgain) {
    auto make = [] { return cardInUse(0xA4); };
    writeFile(dir / "m.dat", pattern(2 * 4096, 61));
    const auto write = commandsOf(make, [&] { return WriteMessage(5, path("m.dat")); });
    const int firstBlock = numberOf(write, [](const auto& c) { return c.command == 0x13; });
    ASSERT_GT(firstBlock, 0);
    auto broken = [&] {
        use(make());
        reader->pullCardAfter(firstBlock);
        WriteMessage(5, path("m.dat"));
        reader->insert(card);
        return card;
    };
    use(make());
    const CardContent before = content();
    const auto repair = commandsOf(broken, [] { return Repair(cardError::JournalSet); });
    const int journalRead = numberOf(repair, [](const auto& c) { return reads(c, 1); });
    ASSERT_GT(journalRead, 0);

    broken();
    reader->flipBitAt(0, 0x01);  // writing (0) would read as "erase channel 1"
    reader->injectAfter(journalRead - 1, Fault::FlipDataBit);
    EXPECT_EQ(Repair(cardError::JournalSet), 0);
    EXPECT_EQ(GetCardError(), 0);
    EXPECT_EQ(content(), before);
}

// A pull during the last block a read takes is reported, never handed on as 0xFF data.
TEST_F(SafetyTest, AReadMessageCutInItsLastBlockReportsThePull) {
    auto make = [] { return cardInUse(0xA4); };
    for (const char* file : {"m.dat", "m.wav"}) {
        SCOPED_TRACE(file);
        const auto log = commandsOf(make, [&] { return ReadMessage(3, path(file)); });
        const int lastBlock = numberOf(log, [](const auto& c) { return c.command == 0x12; }, true);
        ASSERT_GT(lastBlock, 0);
        use(make());
        reader->pullCardAfter(lastBlock);
        EXPECT_EQ(ReadMessage(3, path(file)), cardError::NoCard);
        EXPECT_FALSE(fs::exists(dir / file));
    }
}

// A repair that could not read the journal does not claim to have repaired the card.
TEST_F(SafetyTest, ARepairCutWhileReadingTheJournalReportsThePull) {
    writeFile(dir / "m.dat", pattern(2 * 4096, 61));
    const struct {
        const char* name;
        std::function<std::shared_ptr<emulator::Card>()> make;
    } journals[] = {
        {"an older journal", [] { return fx::journalLeftSet(0, 0xA4); }},
        {"our own journal", [&] {
             auto c = cardInUse(0xA4);
             reader->insert(c);
             reader->pullCardAfter(8);
             WriteMessage(5, path("m.dat"));
             reader->insert(c);
             return c;
         }},
    };
    for (const auto& j : journals) {
        SCOPED_TRACE(j.name);
        const auto log = commandsOf(j.make, [] { return Repair(cardError::JournalSet); });
        int reads = 0;
        for (std::size_t i = 0; i < log.size(); ++i) {
            if ((log[i].command & 0x0F) != 0x02 || log[i].block != 1) continue;
            SCOPED_TRACE(i + 1);
            ++reads;
            use(j.make());
            ASSERT_EQ(GetCardError(), cardError::JournalSet);
            reader->pullCardAfter(static_cast<int>(i) + 1);
            EXPECT_NE(Repair(cardError::JournalSet), 0);
            reader->insert(card);
            EXPECT_EQ(settle(), 0);
            content();
        }
        EXPECT_GT(reads, 0);
    }
}

// A name typed on a freshly initialised card is there when the card is read.
TEST_F(SafetyTest, AMessageNameOnAFreshCardIsKept) {
    use(fx::formatted(0xA4));
    ASSERT_EQ(WriteMsgName(3, nameOf("Three")), 0);
    ASSERT_EQ(ReadCardInfo(), 0);
    EXPECT_EQ(cardInfo().messageName[2], "Three");
    EXPECT_EQ(cardInfo().cardName, "");
    const auto names = content().typed.at(fx::kNamesBlock);
    ASSERT_FALSE(names.empty()) << "the names block still reads as blank";
    EXPECT_EQ(names[0], 0) << "an empty card name";
}

}  // namespace
