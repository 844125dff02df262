// Listening to a message: a card channel played by the control, or the chosen file
// played on the PC, fed block by block from a timer.
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include <array>

#include "card/window.h"
#include "core/globals.h"
#include "core/files.h"
#include "forms/grid.h"
#include "forms/services.h"
#include "sound/sound_library.h"

namespace {
constexpr int kFeedBlocks = 14;
}

int frmCard::playSpeed() const {
    // Only the debug mode may change the speed.
    return gintLogMode != vbFalse ? cboSpeed->currentText().toInt() : 100;
}

void frmCard::cmdPlay_Click(int index) {
    if (index == 0) {
        const int ch = sstCardMsg->activeRow();
        const std::string time = ch >= 1 ? sstCardMsg->text(5, ch) : std::string();
        if (ch < 1 || time.empty() || std::stol(time) == 0) {
            forms::beep();
            return;
        }
        msbSetControlState(2);
        cmdStop[0]->setFocus();
        const std::int32_t n = crd_->method(card::dispid::PlayMessage, {com::Variant::i2(static_cast<std::int16_t>(ch)),
                                                                          com::Variant::i2(static_cast<std::int16_t>(playSpeed()))});
        if (n != card::kCardOk) msbShowCardError(n, "再生中にエラーが発生しました。", true);
        msbSetControlState(0);
        return;
    }
    const std::string path = lblMsgData->property("tag").toString().toStdString();
    if (path.empty() || !gfnfFileExists(path)) {
        forms::beep();
        return;
    }
    msbSetControlState(2);
    cmdStop[0]->setEnabled(false);
    cmdPlay[1]->setEnabled(false);
    sound::Play();
    soundFile_.close();
    soundFile_.clear();
    soundFile_.open(path, std::ios::binary);
    soundFile_.seekg(mlngWaveStart_);
    std::array<std::uint8_t, sound::soundBlockBytes> block{};
    soundFile_.read(reinterpret_cast<char*>(block.data()), block.size());
    sound::SetWaveData(block.data());
    tmrSound->setEnabled(true);
    cmdStop[2]->setGeometry(cmdStop[1]->geometry());
    cmdStop[2]->raise();
    cmdStop[2]->show();
    cmdStop[2]->setFocus();
}

void frmCard::tmrSound_Timer() {
    const int n = sound::setbuffers();
    if (n == 0) {
        stopFile();
    } else if (n <= kFeedBlocks) {
        std::array<std::uint8_t, sound::soundBlockBytes> block{};
        soundFile_.read(reinterpret_cast<char*>(block.data()), block.size());
        // The block during which the file ends is not played.
        if (soundFile_.good() && soundFile_.peek() != std::char_traits<char>::eof()) sound::SetWaveData(block.data());
    }
}

void frmCard::stopFile() {
    tmrSound->setEnabled(false);
    sound::Stop();
    soundFile_.close();
    soundFile_.clear();
    cmdStop[0]->setEnabled(true);
    cmdStop[2]->hide();
    cmdPlay[1]->setEnabled(true);
    msbSetControlState(0);
}

void frmCard::cmdStop_Click(int index) {
    if (index == 0) {
        const std::int32_t n = crd_->StopMessage();
        if (n != card::kCardOk && gintLogMode != vbFalse) msbShowCardError(n, "再生停止中にエラーが発生しました。", true);
        return;
    }
    if (tmrSound->isEnabled() || soundFile_.is_open()) stopFile();
}
