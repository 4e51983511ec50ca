// The process-wide slab pool behind values and value texts. One pool for
// the process because a value may be made by one thread and released by
// another; each size class has its own lock, held for a few instructions.
#include "slab.h"
#include "immortal.h"

#include <array>
#include <cstdlib>
#include <mutex>
#include <new>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VANTOR_CFGMGR_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define VANTOR_CFGMGR_ASAN 1
#endif

namespace Vantor_cfgmgr::detail {

namespace {

constexpr size_t kGranule = 8;
constexpr size_t kLargestSlot = 64;
constexpr size_t kSlabBytes = 64 * 1024;

[[maybe_unused]] size_t classOf(size_t size) { return (size + kGranule - 1) / kGranule - 1; }

class SizeClass {
public:
    void* Take(size_t slotBytes)
    {
        std::lock_guard<std::mutex> lock(lock_);
        if (free_ != nullptr) {
            FreeSlot* slot = free_;
            free_ = slot->next;
            return slot;
        }
        if (static_cast<size_t>(end_ - next_) < slotBytes) {
            void* slab = std::malloc(kSlabBytes);
            if (slab == nullptr) {
                throw std::bad_alloc();
            }
            next_ = static_cast<char*>(slab);
            end_ = next_ + kSlabBytes;
        }
        void* block = next_;
        next_ += slotBytes;
        return block;
    }

    void Give(void* block) noexcept
    {
        auto* slot = static_cast<FreeSlot*>(block);
        std::lock_guard<std::mutex> lock(lock_);
        slot->next = free_;
        free_ = slot;
    }

private:
    struct FreeSlot {
        FreeSlot* next;
    };

    std::mutex lock_;
    FreeSlot* free_ = nullptr;
    char* next_ = nullptr; // the unused rest of the newest slab
    char* end_ = nullptr;
};

using Pool = std::array<SizeClass, kLargestSlot / kGranule>;

[[maybe_unused]] Pool& pool()
{
    static Immortal<Pool> instance;
    return instance.Get();
}

} // namespace

void* SlabAllocate(size_t size)
{
#ifndef VANTOR_CFGMGR_ASAN
    if (size != 0 && size <= kLargestSlot) {
        const size_t c = classOf(size);
        return pool()[c].Take((c + 1) * kGranule);
    }
#endif
    return ::operator new(size);
}

void SlabFree(void* block, [[maybe_unused]] size_t size) noexcept
{
    if (block == nullptr) {
        return;
    }
#ifndef VANTOR_CFGMGR_ASAN
    if (size != 0 && size <= kLargestSlot) {
        pool()[classOf(size)].Give(block);
        return;
    }
#endif
    ::operator delete(block);
}

} // namespace Vantor_cfgmgr::detail
