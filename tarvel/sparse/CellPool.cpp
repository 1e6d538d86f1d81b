// Allocation of CSparseMatrix cells: per-thread pools of equal slots.
//
// A factorization makes one cell per fill-in entry, millions for a large problem, and the
// general heap spends more time and memory on them (a 32-byte chunk for a 24-byte cell) than
// the arithmetic does. Each thread keeps a free list of released slots and carves new slots
// from 2 MiB blocks; a slot released on another thread joins that thread's list. Blocks are
// never returned: they stay registered in one process-wide list (so they remain reachable)
// and their slots are reused by later cells. On Linux the blocks are offered to the kernel
// as huge pages: a large factorization then takes one page fault per block instead of one
// per 4 KiB of fresh cells.
//
// With AddressSanitizer the cells use the global heap instead, so that use-after-free, double
// release and leaks of single cells stay detectable.
#include <tarvel/sparse/SparseMatrix.h>

#include <cstdlib>
#include <mutex>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
#define TARVEL_CELLS_FROM_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TARVEL_CELLS_FROM_HEAP 1
#endif
#endif

namespace
{

#ifndef TARVEL_CELLS_FROM_HEAP

struct FreeSlot
{
    FreeSlot* next;
};

constexpr std::size_t kSlot = sizeof(CSparseMatrix::cell);
constexpr std::size_t kBlockBytes = std::size_t(2) << 20;  // one huge page
constexpr std::size_t kSlotsPerBlock = kBlockBytes / kSlot;
static_assert(kSlot >= sizeof(FreeSlot) && kSlot % alignof(CSparseMatrix::cell) == 0,
              "a cell slot must hold a free-list link");

struct ThreadPool
{
    FreeSlot* free = nullptr;  // released slots
    char* next = nullptr;      // first never-used slot of the current block
    char* end = nullptr;
};

#if defined(__GNUC__)
thread_local ThreadPool tPool __attribute__((tls_model("initial-exec")));
#else
thread_local ThreadPool tPool;
#endif

// A new block, registered for the life of the process; null when the heap is exhausted.
char* new_block()
{
    static std::mutex* const guard = new std::mutex;
    static std::vector<void*>* const blocks = new std::vector<void*>;
    void* block = std::aligned_alloc(kBlockBytes, kBlockBytes);
    if (!block) return nullptr;
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    madvise(block, kBlockBytes, MADV_HUGEPAGE);  // a hint: failure changes nothing
#endif
    try
    {
        const std::lock_guard<std::mutex> lock(*guard);
        blocks->push_back(block);
    }
    catch (...)
    {
        std::free(block);
        return nullptr;
    }
    return static_cast<char*>(block);
}

void* take_slot() noexcept
{
    ThreadPool& pool = tPool;
    if (FreeSlot* slot = pool.free)
    {
        pool.free = slot->next;
        return slot;
    }
    if (pool.next == pool.end)
    {
        char* block = new_block();
        if (!block) return nullptr;
        pool.next = block;
        pool.end = block + kSlot * kSlotsPerBlock;
    }
    void* slot = pool.next;
    pool.next += kSlot;
    return slot;
}

void give_slot(void* p) noexcept
{
    ThreadPool& pool = tPool;
    FreeSlot* slot = static_cast<FreeSlot*>(p);
    slot->next = pool.free;
    pool.free = slot;
}

#endif

}  // namespace

// A structure derived from cell (larger than a slot) is served by the global heap.
void* CSparseMatrix::cell::operator new(std::size_t size)
{
#ifndef TARVEL_CELLS_FROM_HEAP
    if (size == kSlot)
    {
        if (void* slot = take_slot()) return slot;
        throw std::bad_alloc();
    }
#endif
    return ::operator new(size);
}

void* CSparseMatrix::cell::operator new(std::size_t size, const std::nothrow_t& tag) noexcept
{
#ifndef TARVEL_CELLS_FROM_HEAP
    if (size == kSlot) return take_slot();
#endif
    return ::operator new(size, tag);
}

void CSparseMatrix::cell::operator delete(void* p, std::size_t size) noexcept
{
#ifndef TARVEL_CELLS_FROM_HEAP
    if (size == kSlot)
    {
        if (p) give_slot(p);
        return;
    }
#else
    (void)size;
#endif
    ::operator delete(p);
}

// Called only when the initialization of a cell made by new (std::nothrow) throws, which a
// cell's cannot.
void CSparseMatrix::cell::operator delete(void* p, const std::nothrow_t&) noexcept
{
    CSparseMatrix::cell::operator delete(p, sizeof(CSparseMatrix::cell));
}
