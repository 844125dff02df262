#include "session.h"

#include <vector>

#include "control/errors.h"
#include "control/methods.h"
#include "control/state.h"
#include "control/wave.h"
#include "scratch.h"

namespace fuzz {
namespace {

std::string sessionWave() {
    static const std::string path = [] {
        std::vector<std::uint8_t> wave = control::waveHeader(9000);
        for (std::size_t i = 0; i < 9000; ++i) wave.push_back(static_cast<std::uint8_t>(i * 11 + i / 4096));
        return writeInput("Session.wav", wave);
    }();
    return path;
}

}  // namespace

void runCardSession(std::uint8_t session) {
    namespace err = control::cardError;
    control::setActionMode(control::ModeStandby);
    const int check = control::GetCardError();
    const bool repairable = check == err::JournalSet || (check >= err::SettingsSum && check <= err::NamesSum);
    if ((session & 1) && repairable && control::Repair(check) == err::Done) control::GetCardError();
    control::ReadCardInfo();
    control::ReadCardData((scratch() / "CardData.crd").string());
    const int channel = (session >> 2 & 31) % 24 + 1;
    control::ReadMessage(channel, (scratch() / ((session & 2) ? "Msg.dat" : "Msg.wav")).string());
    if (session & 0x80) control::WriteMessage(channel, sessionWave());
}

}  // namespace fuzz
