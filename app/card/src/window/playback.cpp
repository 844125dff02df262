// Listening to a message: a card channel played by the control, or the chosen file
// played on the PC, fed block by block from a timer.
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include <algorithm>
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
    soundLeft_ = std::max<std::int64_t>(mlngWaveLength_, 0);
    queueNextBlock();
    tmrSound->setEnabled(true);
    // The write tab is disabled while the file plays: the second stop button lies over the
    // first one but outside the tab, so that the playback can be stopped.
    cmdStop[2]->setGeometry(QRect(cmdStop[1]->mapTo(body, QPoint(0, 0)), cmdStop[1]->size()));
    cmdStop[2]->raise();
    cmdStop[2]->show();
    cmdStop[2]->setFocus();
}

// Queues the next block of the "data" chunk; a short last block is filled with mu-law
// silence (0xFF; 0x00 is full scale). Nothing past the chunk is played.
bool frmCard::queueNextBlock() {
    if (soundLeft_ <= 0) return false;
    std::array<std::uint8_t, sound::soundBlockBytes> block;
    block.fill(0xFF);
    const auto want = static_cast<std::streamsize>(std::min<std::int64_t>(soundLeft_, block.size()));
    soundFile_.read(reinterpret_cast<char*>(block.data()), want);
    const std::streamsize got = soundFile_.gcount();
    soundLeft_ = got < want ? 0 : soundLeft_ - got;  // a file shorter than its chunk ends here
    if (got <= 0) return false;
    sound::SetWaveData(block.data());
    return true;
}

void frmCard::tmrSound_Timer() {
    const int n = sound::setbuffers();
    if (n == 0) {
        stopFile();
    } else if (n <= kFeedBlocks) {
        queueNextBlock();
    }
}

void frmCard::stopFile() {
    tmrSound->setEnabled(false);
    sound::Stop();
    soundFile_.close();
    soundFile_.clear();
    soundLeft_ = 0;
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
