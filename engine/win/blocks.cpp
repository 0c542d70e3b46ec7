// The engine library's operator new and delete: large blocks are kept for
// reuse instead of going back to the system at once.
//
// The heap hands every block of about 500 KiB or more its own mapping and
// unmaps it when the block is freed. Each staged file needs the delta
// decoder's 2.3 MiB model, its literal tables (2 x 256 KiB and up) and
// 1 MiB stream buffers, and each hashed file a
// 1 MiB buffer, so without reuse every file paid for fresh pages, faulted
// in one by one and zeroed by the kernel, then unmapped again: about a third
// of a 275-file apply under Wine, most of it system time.
//
// What is kept is bounded: at most kSlots blocks of at most kLargest bytes,
// and a block only serves a request that needs at least half of it.
// Every block carries its size in a header in front of what the caller gets.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <new>

namespace {

constexpr size_t kSmallest = 256 * 1024;  // smaller blocks the heap reuses itself
constexpr size_t kLargest = 4u << 20;     // larger blocks (an entry table) go back at once
constexpr int kSlots = 6;
constexpr size_t kHeader = 16;  // a multiple of malloc's alignment, which the caller keeps

struct Slot {
    void* block = nullptr;
    size_t size = 0;
};

Slot g_slots[kSlots];
SRWLOCK g_lock = SRWLOCK_INIT;

bool Kept(size_t size) { return size >= kSmallest && size <= kLargest; }

// A kept block of at least n bytes that n fills at least half of, or null.
void* TakeKept(size_t n) {
    void* found = nullptr;
    ::AcquireSRWLockExclusive(&g_lock);
    for (Slot& s : g_slots) {
        if (s.block != nullptr && s.size >= n && s.size / 2 <= n) {
            found = s.block;
            s.block = nullptr;
            break;
        }
    }
    ::ReleaseSRWLockExclusive(&g_lock);
    return found;
}

// False when every slot is taken; the caller then frees the block.
bool Keep(void* block, size_t size) {
    bool kept = false;
    ::AcquireSRWLockExclusive(&g_lock);
    for (Slot& s : g_slots) {
        if (s.block == nullptr) {
            s.block = block;
            s.size = size;
            kept = true;
            break;
        }
    }
    ::ReleaseSRWLockExclusive(&g_lock);
    return kept;
}

}  // namespace

void* operator new(size_t n) {
    void* block = Kept(n) ? TakeKept(n) : nullptr;
    if (block == nullptr) {
        if (n > SIZE_MAX - kHeader) throw std::bad_alloc();
        block = std::malloc(n + kHeader);
        if (block == nullptr) throw std::bad_alloc();
        *static_cast<size_t*>(block) = n;
    }
    // A reused block keeps its own, larger size in the header.
    return static_cast<char*>(block) + kHeader;
}

void operator delete(void* p) noexcept {
    if (p == nullptr) return;
    void* block = static_cast<char*>(p) - kHeader;
    size_t size = *static_cast<size_t*>(block);
    if (Kept(size) && Keep(block, size)) return;
    std::free(block);
}

void operator delete(void* p, size_t) noexcept { operator delete(p); }
