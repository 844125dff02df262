// The emulated reader's two faces: host pipe writes and reads on the byte-stream face, and
// USB packets on the endpoints. The input is a run of operations, each a byte that names it
// and, for a write, a length byte and the bytes.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "emulator/fixtures.h"
#include "emulator/reader.h"

namespace {
std::shared_ptr<emulator::Reader> reader;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    reader = std::make_shared<emulator::Reader>();
    reader->setLogLimit(16);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    reader->insert(emulator::fixtures::formatted());
    reader->reset();
    std::span<const std::uint8_t> in(data, size);
    std::vector<std::uint8_t> buffer(4096 + 64);
    auto take = [&](std::size_t n) {
        n = std::min(n, in.size());
        auto part = in.first(n);
        in = in.subspan(n);
        return part;
    };
    while (!in.empty()) {
        const std::uint8_t op = take(1)[0];
        switch (op & 0x07) {
        case 0: {  // a pipe write: a 32-byte command when the length byte says 32
            const auto bytes = take(in.empty() ? 0 : take(1)[0]);
            reader->write(bytes);
            break;
        }
        case 1:  // a pipe read of a sector, of a reply, or of a whole block
            (void)reader->read(std::span(buffer).first(op & 0x80 ? 4096 : op & 0x40 ? 512 : 8));
            break;
        case 2: {  // a packet on the OUT endpoint
            const auto bytes = take(in.empty() ? 0 : take(1)[0] % 65);
            reader->out(emulator::kOutEndpoint, bytes);
            break;
        }
        case 3: {  // a packet from the IN endpoint
            std::vector<std::uint8_t> packet;
            reader->in(emulator::kInEndpoint, packet);
            break;
        }
        case 4:  // a packet to or from an endpoint the reader does not have
            reader->out(static_cast<std::uint8_t>(op >> 3), take(8));
            break;
        default:
            if (op & 0x80) reader->pull();
            else reader->insert(emulator::fixtures::formatted());
            break;
        }
    }
    return 0;
}
