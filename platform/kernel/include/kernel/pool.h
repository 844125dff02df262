#pragma once
// The executive pool: tagged allocations with accounting per tag, so that a test can
// check that a driver freed everything it allocated.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kernel {

enum PoolType { NonPagedPool = 0, PagedPool = 1, NonPagedPoolNx = 512 };

// A pool tag reads as its four characters in a memory dump: makeTag("PDRV").
constexpr std::uint32_t makeTag(const char (&text)[5]) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(text[0])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(text[1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(text[2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(text[3])) << 24;
}

void* ExAllocatePoolWithTag(PoolType type, std::size_t size, std::uint32_t tag);
void ExFreePoolWithTag(void* block, std::uint32_t tag);
void ExFreePool(void* block);

namespace pool {

struct TagUsage {
    std::uint32_t tag = 0;
    std::size_t allocations = 0;  // outstanding blocks
    std::size_t bytes = 0;        // outstanding bytes
    std::size_t total = 0;        // blocks ever allocated
};

TagUsage usage(std::uint32_t tag);
std::vector<TagUsage> report();  // every tag with outstanding blocks

// The next `count` allocations with `tag`, after `skip` successful ones, fail.
void failAllocations(std::uint32_t tag, int skip, int count);
void clearFailures();

}  // namespace pool
}  // namespace kernel
