// The card file: a 64-byte head that names the chips, then the flash image, block after
// block. The image is the raw card, so a dump tool can read it past the head.
//
//   0  8  "RDXCARD1"
//   8  1  first chip code
//   9  1  second chip code (0xFF: none)
//  10  2  sectors per erase block, little endian
//  12  4  erase blocks, little endian
//  16 48  zero
#include "emulator/card.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace emulator {

namespace {

constexpr std::size_t kHeadBytes = 64;
constexpr char kMagic[8] = {'R', 'D', 'X', 'C', 'A', 'R', 'D', '1'};

std::string describe(const std::filesystem::path& file, const std::string& what) {
    return "the card file " + file.string() + " " + what;
}

std::string systemError() { return std::strerror(errno); }

bool writeAll(int fd, const std::uint8_t* data, std::size_t count, off_t at) {
    while (count > 0) {
        const ssize_t n = ::pwrite(fd, data, count, at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        count -= static_cast<std::size_t>(n);
        at += n;
    }
    return true;
}

bool readAll(int fd, std::uint8_t* data, std::size_t count, off_t at) {
    while (count > 0) {
        const ssize_t n = ::pread(fd, data, count, at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        count -= static_cast<std::size_t>(n);
        at += n;
    }
    return true;
}

std::array<std::uint8_t, kHeadBytes> headOf(const Card& card) {
    std::array<std::uint8_t, kHeadBytes> head{};
    std::memcpy(head.data(), kMagic, sizeof kMagic);
    head[8] = card.firstChip();
    head[9] = card.secondChip();
    head[10] = static_cast<std::uint8_t>(card.sectorsPerBlock());
    head[11] = static_cast<std::uint8_t>(card.sectorsPerBlock() >> 8);
    for (int i = 0; i < 4; ++i) head[12 + i] = static_cast<std::uint8_t>(card.blockCount() >> (8 * i));
    return head;
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { if (fd_ >= 0) ::close(fd_); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

}  // namespace

Card::~Card() {
    if (fd_ >= 0) ::close(fd_);  // also lets go of the lock
}

bool Card::writeThrough(std::size_t block) {
    if (fd_ < 0) return true;
    const off_t at = static_cast<off_t>(kHeadBytes + block * blockBytes());
    if (const std::uint8_t* data = blocks_[block].get()) return writeAll(fd_, data, blockBytes(), at);
    const std::vector<std::uint8_t> erased(blockBytes(), 0xFF);
    return writeAll(fd_, erased.data(), erased.size(), at);
}

void Card::save(const std::filesystem::path& file) const {
    std::error_code ec;
    if (!file_.empty() && std::filesystem::equivalent(file, file_, ec)) return;  // written through
    // Replacing a card file that a reader holds would take its card away under it.
    Descriptor held(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (held.get() >= 0 && ::flock(held.get(), LOCK_EX | LOCK_NB) != 0)
        throw CardFileError(describe(file, "is in use by another emulated reader"));
    std::filesystem::path temporary = file;
    temporary += ".new";
    Descriptor fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (fd.get() < 0) throw CardFileError(describe(temporary, "cannot be created: " + systemError()));
    const auto head = headOf(*this);
    bool ok = writeAll(fd.get(), head.data(), head.size(), 0);
    const std::vector<std::uint8_t> erased(blockBytes(), 0xFF);
    for (std::size_t b = 0; ok && b < blockCount(); ++b) {
        const std::uint8_t* data = blocks_[b] ? blocks_[b].get() : erased.data();
        ok = writeAll(fd.get(), data, blockBytes(), static_cast<off_t>(kHeadBytes + b * blockBytes()));
    }
    ok = ok && ::fsync(fd.get()) == 0;
    const std::string why = systemError();
    ::close(fd.release());
    if (!ok || std::rename(temporary.c_str(), file.c_str()) != 0) {
        std::filesystem::remove(temporary, ec);
        throw CardFileError(describe(file, "cannot be written: " + why));
    }
}

std::shared_ptr<Card> Card::open(const std::filesystem::path& file, std::uint8_t chipForNewCard) {
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) Card(chipForNewCard).save(file);
    Descriptor fd(::open(file.c_str(), O_RDWR | O_CLOEXEC));
    if (fd.get() < 0) throw CardFileError(describe(file, "cannot be opened: " + systemError()));
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
        throw CardFileError(describe(file, "is in use by another emulated reader"));
    std::array<std::uint8_t, kHeadBytes> head{};
    if (!readAll(fd.get(), head.data(), head.size(), 0) || std::memcmp(head.data(), kMagic, sizeof kMagic) != 0)
        throw CardFileError(describe(file, "does not hold an emulated memory card"));
    auto card = std::make_shared<Card>(head[8], head[9]);
    if (headOf(*card) != head) throw CardFileError(describe(file, "is damaged: its head does not match its chips"));
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 ||
        static_cast<std::size_t>(st.st_size) != kHeadBytes + card->sizeBytes())
        throw CardFileError(describe(file, "is damaged: its size does not match its chips"));
    card->loadFrom(fd.get(), file);
    card->fd_ = fd.release();
    card->file_ = file;
    return card;
}

void Card::loadFrom(int fd, const std::filesystem::path& file) {
    std::vector<std::uint8_t> buffer(blockBytes());
    for (std::size_t b = 0; b < blockCount(); ++b) {
        if (!readAll(fd, buffer.data(), buffer.size(), static_cast<off_t>(kHeadBytes + b * blockBytes())))
            throw CardFileError(describe(file, "cannot be read: " + systemError()));
        if (std::all_of(buffer.begin(), buffer.end(), [](std::uint8_t v) { return v == 0xFF; })) continue;
        blocks_[b] = std::make_unique<std::uint8_t[]>(blockBytes());
        std::memcpy(blocks_[b].get(), buffer.data(), buffer.size());
    }
}

}  // namespace emulator
