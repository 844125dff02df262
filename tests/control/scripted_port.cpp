#include "scripted_port.h"

#include <algorithm>

namespace control_test {

std::vector<std::uint8_t> reply(std::uint8_t code, std::uint8_t echo, std::uint8_t chip1,
                                std::uint8_t chip2, std::uint8_t fw1, std::uint8_t fw2) {
    return {code, 0, chip1, 0, chip2, echo, fw1, fw2};
}

long ScriptedPort::write(std::span<const std::uint8_t> data) {
    const long index = static_cast<long>(s_.writes.size());
    s_.writes.emplace_back(data.begin(), data.end());
    if (index == s_.shortWriteAt) return static_cast<long>(data.size()) - 1;
    return static_cast<long>(data.size());
}

long ScriptedPort::read(std::span<std::uint8_t> out, unsigned timeoutMs) {
    if (s_.answers.empty()) {
        TestClock::now() += timeoutMs;
        return -1;
    }
    Answer a = std::move(s_.answers.front());
    s_.answers.pop_front();
    switch (a.kind) {
    case Answer::Silence:
        TestClock::now() += timeoutMs;
        return -1;
    case Answer::Failure:
        return -1;
    case Answer::Bytes:
        break;
    }
    TestClock::now() += a.delayMs;
    const std::size_t n = std::min(out.size(), a.bytes.size());
    std::copy_n(a.bytes.begin(), n, out.begin());
    return static_cast<long>(n);
}

void answer(ScriptedPort::Script& s, std::vector<std::uint8_t> bytes, std::uint32_t delayMs) {
    s.answers.push_back({ScriptedPort::Answer::Bytes, std::move(bytes), delayMs});
}
void silence(ScriptedPort::Script& s) { s.answers.push_back({ScriptedPort::Answer::Silence, {}, 0}); }
void failure(ScriptedPort::Script& s) { s.answers.push_back({ScriptedPort::Answer::Failure, {}, 0}); }

}  // namespace control_test
