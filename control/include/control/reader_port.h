#pragma once
// The control's access to the reader's two pipes: a small seam, so that the link can run over
// the device API in service and over an emulated reader in tests.
#include <cstdint>
#include <memory>
#include <span>

namespace control {

class ReaderPort {
public:
    virtual ~ReaderPort() = default;

    // Looks for a present reader and remembers its device path. False: no reader.
    virtual bool find() = 0;
    // Opens the read pipe (PIPE01), then the write pipe (PIPE00). False when either fails.
    virtual bool open() = 0;
    // Closes whatever is open. False when a close failed.
    virtual bool close() = 0;
    // Sends bytes on the write pipe: the count sent, or -1 on failure.
    virtual long write(std::span<const std::uint8_t> data) = 0;
    // Receives one transfer of at most out.size() bytes on the read pipe, waiting at most
    // timeoutMs: the count received (0 for an empty transfer), or -1 on failure or time-out.
    virtual long read(std::span<std::uint8_t> out, unsigned timeoutMs) = 0;
};

// The port the link uses from now on; the link is closed first. nullptr restores the
// default port (the reader on the device API, or none where there is no device API).
void setReaderPort(std::unique_ptr<ReaderPort> port);

// The port over the device API, as the link uses by default.
std::unique_ptr<ReaderPort> makeDevicesReaderPort();

}  // namespace control
