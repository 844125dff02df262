// The command protocol's faults as the emulated reader shows them.
#include <gtest/gtest.h>

#include <thread>

#include "card_fixture.h"
#include "control/card.h"
#include "control/errors.h"
#include "control/host.h"
#include "control/link.h"
#include "control/link.h"
#include "control/methods.h"
#include "control/state.h"
#include "scripted_port.h"

namespace {

using namespace control;
using namespace control_test;
using emulator::Fault;

TEST_F(CardTest, ReaderFaultsBecomeCardErrors) {
    struct Case {
        Fault fault;
        int times;
        std::uint8_t command;
        int result;
    };
    const Case cases[] = {
        {Fault::Busy, 2, emulator::kAnyCommand, 0},
        {Fault::Busy, 3, 0x04, cardError::ReceiveFailed},
        {Fault::StrayReply, 1, emulator::kAnyCommand, 0},
        {Fault::ZeroLengthReply, 2, emulator::kAnyCommand, 0},
        {Fault::ZeroLengthInData, 1, 0x02, 0},
        {Fault::StrayPacketInData, 1, 0x02, 0},
        {Fault::ShortData, 1, 0x02, cardError::ReceiveFailed},
        {Fault::Silence, 1, 0x02, cardError::ReplyTimeout},
        {Fault::SilentData, 1, 0x02, cardError::DataTimeout},
        {Fault::Nck, 1, 0x02, cardError::CommandRefused},
        {Fault::SilentAfterData, 1, 0x03, cardError::WriteReplyTimeout},
        {Fault::RefuseData, 1, 0x03, cardError::WriteRefused},
    };
    std::vector<std::uint8_t> settings(512, 0x21);
    for (const Case& c : cases) {
        insertFormatted();
        reader->inject(c.fault, c.times, c.command);
        const int result = c.command == 0x03 ? rdxWriteBlockData(kBlockSettings, settings)
                                             : GetCardError();
        EXPECT_EQ(result, c.result) << "fault " << static_cast<int>(c.fault);
        EXPECT_FALSE(rdxLinkOpen());
        reader->clearFaults();
    }
}

TEST_F(CardTest, NoCardInTheReader) {
    insertFormatted();
    reader->pull();
    EXPECT_EQ(CardExists(), cardError::NoCard);
    EXPECT_EQ(Format(), cardError::NoCard);
    EXPECT_EQ(Repair(610), cardError::NoCard);
}

TEST_F(CardTest, ABusyControlRefusesCardMethods) {
    insertFormatted();
    setActionMode(ModeWrite);
    EXPECT_EQ(GetCardError(), 702);
    EXPECT_EQ(Format(), 702);
    EXPECT_EQ(CardExists(), 702);
    EXPECT_TRUE(reader->log().empty());
    EXPECT_EQ(actionMode(), ModeWrite);

    setActionMode(ModeEvent);  // a StatusChange handler calling back
    EXPECT_EQ(GetCardError(), 0);
    EXPECT_EQ(actionMode(), ModeStandby);
}

TEST_F(CardTest, LongOperationsPumpTheHostsMessages) {
    insertCard(0xA4);
    int pumped = 0;
    setHost({[] { return TestClock::now(); }, [&pumped] { ++pumped; }});
    ASSERT_EQ(Format(), 0);
    EXPECT_EQ(pumped, 127) << "once before each block of the scan";
    TestClock::install();
}

// The playback worker and the program's thread share the link: their commands never mix.
TEST_F(CardTest, TwoThreadsShareTheLinkOneOperationAtATime) {
    insertFormatted();
    int failures = 0;
    std::thread worker([&failures] {
        for (int i = 0; i < 50; ++i)
            if (rdxCheckCard() != 0) ++failures;
    });
    for (int i = 0; i < 50; ++i) EXPECT_EQ(rdxCheckCard(), 0);
    worker.join();
    EXPECT_EQ(failures, 0);
}

}  // namespace
