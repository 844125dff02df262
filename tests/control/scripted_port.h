#pragma once
// A reader whose every answer a test scripts: replies, data, empty transfers, failures and
// silence. Silence moves the test clock on by the time the link was willing to wait, so
// time-outs need no real waiting.
#include <cstdint>
#include <deque>
#include <vector>

#include "control/host.h"
#include "control/reader_port.h"

namespace control_test {

// The tick count the control sees in tests.
struct TestClock {
    static std::uint32_t& now() {
        static std::uint32_t ticks = 0;
        return ticks;
    }
    static void install() {
        control::setHost({[] { return now(); }, {}});
    }
};

std::vector<std::uint8_t> reply(std::uint8_t code, std::uint8_t echo, std::uint8_t chip1 = 0,
                                std::uint8_t chip2 = 0, std::uint8_t fw1 = 0, std::uint8_t fw2 = 0);

class ScriptedPort final : public control::ReaderPort {
public:
    struct Answer {
        enum Kind { Bytes, Silence, Failure } kind = Bytes;
        std::vector<std::uint8_t> bytes;
        std::uint32_t delayMs = 0;  // time that passes before it arrives
    };

    // Shared with the test after the port is handed to the link.
    struct Script {
        std::deque<Answer> answers;
        std::vector<std::vector<std::uint8_t>> writes;
        bool present = true;
        bool opens = true;
        long shortWriteAt = -1;  // index of a write that comes out short
        int openCount = 0;
        int closeCount = 0;
        bool isOpen = false;
    };

    explicit ScriptedPort(Script& script) : s_(script) {}

    bool find() override { return s_.present; }
    bool open() override {
        ++s_.openCount;
        s_.isOpen = s_.opens;
        return s_.opens;
    }
    bool close() override {
        ++s_.closeCount;
        s_.isOpen = false;
        return true;
    }
    long write(std::span<const std::uint8_t> data) override;
    long read(std::span<std::uint8_t> out, unsigned timeoutMs) override;

private:
    Script& s_;
};

void answer(ScriptedPort::Script& s, std::vector<std::uint8_t> bytes, std::uint32_t delayMs = 0);
void silence(ScriptedPort::Script& s);
void failure(ScriptedPort::Script& s);

}  // namespace control_test
