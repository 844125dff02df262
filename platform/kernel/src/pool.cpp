#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

#include "kernel/irql.h"
#include "kernel/pool.h"

namespace kernel {
namespace {

constexpr std::uint64_t liveMagic = 0x4C4F4F50'4556494CULL;  // "LIVEPOOL"
constexpr std::uint64_t deadMagic = 0x4C4F4F50'44414544ULL;  // "DEADPOOL"

struct alignas(16) BlockHeader {
    std::uint64_t magic;
    std::uint32_t tag;
    std::uint32_t type;
    std::size_t size;
};

struct FailurePlan {
    int skip = 0;
    int count = 0;
};

struct Pool {
    std::mutex mutex;
    std::map<std::uint32_t, pool::TagUsage> tags;
    std::map<std::uint32_t, FailurePlan> failures;
};

Pool& thePool() {
    static Pool p;
    return p;
}

// Consumes one step of a failure plan; true when this allocation must fail.
bool plannedFailure(Pool& p, std::uint32_t tag) {
    auto it = p.failures.find(tag);
    if (it == p.failures.end()) return false;
    if (it->second.skip > 0) {
        --it->second.skip;
        return false;
    }
    if (--it->second.count <= 0) p.failures.erase(it);
    return true;
}

}  // namespace

void* ExAllocatePoolWithTag(PoolType type, std::size_t size, std::uint32_t tag) {
    if (type == PagedPool) hostAssert(KeGetCurrentIrql() < DISPATCH_LEVEL, "paged pool at dispatch level");
    Pool& p = thePool();
    {
        std::lock_guard lock(p.mutex);
        if (plannedFailure(p, tag)) return nullptr;
        auto& u = p.tags[tag];
        u.tag = tag;
        ++u.allocations;
        ++u.total;
        u.bytes += size;
    }
    auto* header = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + size));
    if (!header) std::abort();
    header->magic = liveMagic;
    header->tag = tag;
    header->type = static_cast<std::uint32_t>(type);
    header->size = size;
    // Pool memory is not zeroed: a pattern makes a missing initialisation visible.
    std::memset(header + 1, 0xCD, size);
    return header + 1;
}

void ExFreePoolWithTag(void* block, std::uint32_t tag) {
    if (!block) {
        assertionFailed("free of a null pool block");
        return;
    }
    auto* header = static_cast<BlockHeader*>(block) - 1;
    if (header->magic != liveMagic) {
        assertionFailed("free of a block that is not a live pool block");
        return;
    }
    if (tag != 0 && tag != header->tag) assertionFailed("pool block freed with another tag");
    Pool& p = thePool();
    {
        std::lock_guard lock(p.mutex);
        auto& u = p.tags[header->tag];
        --u.allocations;
        u.bytes -= header->size;
    }
    header->magic = deadMagic;
    std::memset(block, 0xDD, header->size);
    std::free(header);
}

void ExFreePool(void* block) { ExFreePoolWithTag(block, 0); }

namespace pool {

TagUsage usage(std::uint32_t tag) {
    Pool& p = thePool();
    std::lock_guard lock(p.mutex);
    auto it = p.tags.find(tag);
    if (it == p.tags.end()) return TagUsage{tag, 0, 0, 0};
    return it->second;
}

std::vector<TagUsage> report() {
    Pool& p = thePool();
    std::lock_guard lock(p.mutex);
    std::vector<TagUsage> out;
    for (auto& [tag, u] : p.tags)
        if (u.allocations) out.push_back(u);
    return out;
}

void failAllocations(std::uint32_t tag, int skip, int count) {
    Pool& p = thePool();
    std::lock_guard lock(p.mutex);
    p.failures[tag] = FailurePlan{skip, count};
}

void clearFailures() {
    Pool& p = thePool();
    std::lock_guard lock(p.mutex);
    p.failures.clear();
}

}  // namespace pool
}  // namespace kernel
