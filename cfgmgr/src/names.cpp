// The process-wide table of interned property names.
//
// Why one table for the whole process: names are shared by pointer between
// objects, and an object may take a property (and so its name) from any
// other object, loaded by any thread. A table per thread or per tree would
// force a copy (and a lookup) whenever a name crossed from one to another;
// one table makes every share a count increment. The table is touched only
// when a name is first seen or last released, so one mutex is enough.
#include "names.h"
#include "immortal.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

namespace Vantor_cfgmgr::detail {

namespace {

// Stored just before the text of each interned name.
struct NameHeader {
    std::atomic<uint32_t> holders;
    uint32_t hash;
};
static_assert(sizeof(NameHeader) == 8, "the text must follow the header without padding");

NameHeader* headerOf(const char* name)
{
    return reinterpret_cast<NameHeader*>(const_cast<char*>(name)) - 1;
}

const char* textOf(const NameHeader* header) { return reinterpret_cast<const char*>(header + 1); }

// FNV-1a: short names, good spread, no state.
uint32_t hashOf(const char* text, size_t length)
{
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < length; ++i) {
        h = (h ^ static_cast<unsigned char>(text[i])) * 16777619u;
    }
    return h;
}

// Open addressing with linear probing, at most half full; removal shifts the
// following entries back, so no tombstones accumulate.
class NameTable {
public:
    NameTable() : slots_(kInitialSlots, nullptr) {}

    const char* Intern(const char* text, size_t length)
    {
        const uint32_t hash = hashOf(text, length);
        std::lock_guard<std::mutex> lock(mutex_);
        size_t mask = slots_.size() - 1;
        size_t i = hash & mask;
        for (; slots_[i] != nullptr; i = (i + 1) & mask) {
            NameHeader* h = slots_[i];
            if (h->hash == hash && std::strncmp(textOf(h), text, length) == 0 && textOf(h)[length] == '\0') {
                h->holders.fetch_add(1, std::memory_order_relaxed);
                return textOf(h);
            }
        }
        if ((used_ + 1) * 2 > slots_.size()) {
            Grow();
            mask = slots_.size() - 1;
            for (i = hash & mask; slots_[i] != nullptr; i = (i + 1) & mask) {
            }
        }
        void* block = std::malloc(sizeof(NameHeader) + length + 1);
        if (block == nullptr) {
            throw std::bad_alloc();
        }
        auto* h = new (block) NameHeader{{1}, hash};
        char* stored = reinterpret_cast<char*>(h + 1);
        std::memcpy(stored, text, length);
        stored[length] = '\0';
        slots_[i] = h;
        ++used_;
        return stored;
    }

    // The holder that may be the last: decided under the lock, because
    // Intern may hand the name out again in the meantime.
    void ReleaseLast(NameHeader* h)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (h->holders.fetch_sub(1, std::memory_order_acq_rel) != 1) {
            return;
        }
        Erase(h);
        h->~NameHeader();
        std::free(h);
    }

private:
    static constexpr size_t kInitialSlots = 1024;

    void Grow()
    {
        std::vector<NameHeader*> bigger(slots_.size() * 2, nullptr);
        const size_t mask = bigger.size() - 1;
        for (NameHeader* h : slots_) {
            if (h != nullptr) {
                size_t i = h->hash & mask;
                while (bigger[i] != nullptr) {
                    i = (i + 1) & mask;
                }
                bigger[i] = h;
            }
        }
        slots_.swap(bigger);
    }

    void Erase(NameHeader* h)
    {
        const size_t mask = slots_.size() - 1;
        size_t hole = h->hash & mask;
        while (slots_[hole] != h) {
            hole = (hole + 1) & mask;
        }
        // Move back every following entry of the run whose home slot does
        // not lie between the hole and its own place.
        for (size_t j = (hole + 1) & mask; slots_[j] != nullptr; j = (j + 1) & mask) {
            const size_t home = slots_[j]->hash & mask;
            const bool staysPut = hole <= j ? (hole < home && home <= j) : (hole < home || home <= j);
            if (!staysPut) {
                slots_[hole] = slots_[j];
                hole = j;
            }
        }
        slots_[hole] = nullptr;
        --used_;
    }

    std::mutex mutex_;
    std::vector<NameHeader*> slots_; // size a power of two
    size_t used_ = 0;
};

NameTable& table()
{
    static Immortal<NameTable> instance;
    return instance.Get();
}

} // namespace

const char* InternName(const char* text, size_t length) { return table().Intern(text, length); }

const char* InternName(const char* text) { return InternName(text, std::strlen(text)); }

const char* ShareName(const char* name)
{
    // The caller holds the name, so it cannot vanish meanwhile.
    headerOf(name)->holders.fetch_add(1, std::memory_order_relaxed);
    return name;
}

void ReleaseName(const char* name)
{
    NameHeader* h = headerOf(name);
    uint32_t n = h->holders.load(std::memory_order_relaxed);
    while (n > 1) {
        if (h->holders.compare_exchange_weak(n, n - 1, std::memory_order_acq_rel, std::memory_order_relaxed)) {
            return;
        }
    }
    table().ReleaseLast(h);
}

const char* InternCached(const char** cache, size_t slots, const char* text, size_t length)
{
    const uint32_t hash = hashOf(text, length);
    const char*& slot = cache[(hash >> 7) & (slots - 1)];
    if (slot != nullptr && headerOf(slot)->hash == hash && std::strncmp(slot, text, length) == 0 &&
        slot[length] == '\0') {
        return ShareName(slot);
    }
    const char* name = table().Intern(text, length);
    if (slot != nullptr) {
        ReleaseName(slot);
    }
    slot = ShareName(name);
    return name;
}

void ReleaseCachedNames(const char** cache, size_t slots)
{
    for (size_t i = 0; i < slots; ++i) {
        if (cache[i] != nullptr) {
            ReleaseName(cache[i]);
            cache[i] = nullptr;
        }
    }
}

} // namespace Vantor_cfgmgr::detail
