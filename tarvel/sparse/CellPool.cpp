// Allocation of CSparseMatrix cells: per-thread pools of equal slots, reused in address order.
//
// A factorization makes one cell per fill-in entry, millions for a large problem, and the
// general heap spends more time and memory on them (a 32-byte chunk for a 24-byte cell) than
// the arithmetic does. Each thread carves slots from 2 MiB blocks of its own (aligned to their
// size, so a slot finds its block by masking its address). A block starts with a header that
// marks its free slots in a bitmap, summarized twice (words with a free slot, groups of 64
// words with one), so that the lowest free slot of a block is found in three steps.
//
// Invariants:
//  P1  a slot is free exactly when its bit is set in its block's bitmap, or when it is on the
//      foreign list of some thread (never both); only the owning thread reads or writes a
//      block's header
//  P2  the summaries are exact: a word bit is set iff that bitmap word is not zero, a group
//      bit iff that group of words has a set word bit; freeCount counts the set bitmap bits
//  P3  the owned blocks are chained in creation order; no block before pool.lowest has a free
//      slot (null: none known)
//  P4  every slot of a block at or above its frontier is free
//
// A new cell takes the lowest free slot of the first owned block that has one, then a slot of
// the foreign list, then a new block. So cells are handed out in address order whatever the
// order they were released in: after a factorization frees a matrix, the next one assembled
// gets its cells packed from the bottom of the pool, the cells of one row close together, as
// from a fresh pool (a LIFO free list would scatter them over every block). A chain of cells
// asked for at once (a row of a factor) takes consecutive slots at a block's frontier (P4),
// so that walking the row, in either direction through the rows, streams through memory. A
// slot released on a thread that does not own its block joins that thread's foreign list (P1).
// Blocks are never returned: they stay registered in one process-wide list (so they remain
// reachable).
// On Linux the blocks are offered to the kernel as huge pages: a large factorization then takes
// one page fault per block instead of one per 4 KiB of fresh cells.
//
// With AddressSanitizer the cells use the global heap instead, so that use-after-free, double
// release and leaks of single cells stay detectable.
#include <tarvel/sparse/SparseMatrix.h>
#include <tarvel/sparse/detail/CellPool.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
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
constexpr std::size_t kMaxWords = (kBlockBytes / kSlot + 63) / 64;
constexpr std::size_t kGroups = (kMaxWords + 63) / 64;
static_assert(kGroups <= 64, "one word must summarize the groups");
static_assert(kSlot >= sizeof(FreeSlot) && kSlot % alignof(CSparseMatrix::cell) == 0,
              "a cell slot must hold a free-list link");

struct BlockHeader
{
    std::uint64_t owner;                // the pool that hands out this block's slots
    BlockHeader* next;                  // the owner's next block, in creation order (P3)
    std::uint64_t sequence;             // creation number within the owner's chain
    std::uint64_t freeCount;            // set bits of freeBits (P2)
    std::uint64_t frontier;             // P4: every slot from here on is free
    std::uint64_t groups;               // bit g: words 64 g .. 64 g + 63 hold a free slot
    std::uint64_t words[kGroups];       // bit w of words[g]: freeBits[64 g + w] is not zero
    std::uint64_t freeBits[kMaxWords];  // bit s of freeBits[w]: slot 64 w + s is free
};

constexpr std::size_t kHeaderBytes = (sizeof(BlockHeader) + alignof(CSparseMatrix::cell) - 1) /
                                     alignof(CSparseMatrix::cell) * alignof(CSparseMatrix::cell);
constexpr std::size_t kSlots = (kBlockBytes - kHeaderBytes) / kSlot;
constexpr std::size_t kWords = (kSlots + 63) / 64;
static_assert(kWords <= kMaxWords, "the bitmap covers every slot");

struct ThreadPool
{
    std::uint64_t id = 0;          // 0 until the thread makes its first block
    BlockHeader* first = nullptr;  // owned blocks, creation order (P3)
    BlockHeader* last = nullptr;
    BlockHeader* lowest = nullptr;  // P3
    BlockHeader* runs = nullptr;    // the block of the latest run of consecutive slots
    FreeSlot* foreign = nullptr;    // released slots of blocks owned by other pools
};

#if defined(__GNUC__)
thread_local ThreadPool tPool __attribute__((tls_model("initial-exec")));
#else
thread_local ThreadPool tPool;
#endif

std::atomic<std::uint64_t> gNextPoolId{1};

BlockHeader* header_of(void* slot)
{
    return reinterpret_cast<BlockHeader*>(reinterpret_cast<std::uintptr_t>(slot) &
                                          ~static_cast<std::uintptr_t>(kBlockBytes - 1));
}

char* slot_at(BlockHeader* b, std::size_t s)
{
    return reinterpret_cast<char*>(b) + kHeaderBytes + s * kSlot;
}

// A new block owned by `pool`, every slot free, chained last; null when the heap is exhausted.
BlockHeader* new_block(ThreadPool& pool)
{
    static std::mutex* const guard = new std::mutex;
    static std::vector<void*>* const blocks = new std::vector<void*>;
    void* memory = std::aligned_alloc(kBlockBytes, kBlockBytes);
    if (!memory) return nullptr;
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    madvise(memory, kBlockBytes, MADV_HUGEPAGE);  // a hint: failure changes nothing
#endif
    try
    {
        const std::lock_guard<std::mutex> lock(*guard);
        blocks->push_back(memory);
    }
    catch (...)
    {
        std::free(memory);
        return nullptr;
    }
    if (pool.id == 0) pool.id = gNextPoolId.fetch_add(1, std::memory_order_relaxed);
    BlockHeader* b = static_cast<BlockHeader*>(memory);
    b->owner = pool.id;
    b->next = nullptr;
    b->sequence = pool.last ? pool.last->sequence + 1 : 0;
    b->freeCount = kSlots;
    b->frontier = 0;
    for (std::size_t w = 0; w < kMaxWords; ++w)
        b->freeBits[w] = w + 1 < kWords    ? ~0ull
                         : w + 1 == kWords ? ~0ull >> (64 * kWords - kSlots)
                                           : 0;
    for (std::size_t g = 0; g < kGroups; ++g)
    {
        const std::size_t begin = 64 * g;
        const std::size_t count = kWords > begin ? std::min<std::size_t>(64, kWords - begin) : 0;
        b->words[g] = count == 64 ? ~0ull : (1ull << count) - 1;
    }
    b->groups = kGroups == 64 ? ~0ull : (1ull << ((kWords + 63) / 64)) - 1;
    if (pool.last)
        pool.last->next = b;
    else
        pool.first = b;
    pool.last = b;
    return b;
}

// The lowest free slot of b (which has one), taken (P2 kept).
void* take_from(BlockHeader* b)
{
    const std::size_t g = static_cast<std::size_t>(__builtin_ctzll(b->groups));
    const std::size_t w = 64 * g + static_cast<std::size_t>(__builtin_ctzll(b->words[g]));
    std::uint64_t bits = b->freeBits[w];
    const std::size_t s = 64 * w + static_cast<std::size_t>(__builtin_ctzll(bits));
    bits &= bits - 1;
    b->freeBits[w] = bits;
    if (!bits)
    {
        b->words[g] &= ~(1ull << (w & 63));
        if (!b->words[g]) b->groups &= ~(1ull << g);
    }
    --b->freeCount;
    if (s >= b->frontier) b->frontier = s + 1;  // P4: s was the lowest free slot
    return slot_at(b, s);
}

bool is_free(const BlockHeader* b, std::size_t s) { return (b->freeBits[s / 64] >> (s & 63)) & 1; }

// Slots [first, first + n) of b, all free, taken (P2 kept).
void take_range(BlockHeader* b, std::size_t first, std::size_t n)
{
    for (std::size_t s = first; s < first + n;)
    {
        const std::size_t w = s / 64;
        const std::size_t lo = s & 63;
        const std::size_t count = std::min<std::size_t>(64 - lo, first + n - s);
        const std::uint64_t mask = (count == 64 ? ~0ull : ((1ull << count) - 1)) << lo;
        b->freeBits[w] &= ~mask;
        if (!b->freeBits[w])
        {
            b->words[w / 64] &= ~(1ull << (w & 63));
            if (!b->words[w / 64]) b->groups &= ~(1ull << (w / 64));
        }
        s += count;
    }
    b->freeCount -= n;
}

// n consecutive slots at a block's frontier (P4): the block of the latest run, else the first
// block with room, else a new block; null when n exceeds a block or the heap is exhausted.
char* take_run(ThreadPool& pool, std::size_t n)
{
    if (n == 0 || n > kSlots) return nullptr;
    BlockHeader* b = pool.runs;
    if (!b || kSlots - b->frontier < n)
    {
        for (b = pool.first; b && kSlots - b->frontier < n;) b = b->next;
        if (!b)
        {
            b = new_block(pool);
            if (!b) return nullptr;
            if (!pool.lowest) pool.lowest = b;
        }
        pool.runs = b;
    }
    const std::size_t first = b->frontier;
    take_range(b, first, n);
    b->frontier = first + n;
    return slot_at(b, first);
}

void* take_slot() noexcept
{
    ThreadPool& pool = tPool;
    BlockHeader* b = pool.lowest;
    while (b && b->freeCount == 0) b = b->next;
    pool.lowest = b;
    if (b) return take_from(b);
    if (FreeSlot* slot = pool.foreign)
    {
        pool.foreign = slot->next;
        return slot;
    }
    b = new_block(pool);
    if (!b) return nullptr;
    pool.lowest = b;
    return take_from(b);
}

void give_slot(void* p) noexcept
{
    ThreadPool& pool = tPool;
    BlockHeader* b = header_of(p);
    if (pool.id == 0 || b->owner != pool.id)
    {
        FreeSlot* slot = static_cast<FreeSlot*>(p);
        slot->next = pool.foreign;
        pool.foreign = slot;
        return;
    }
    const std::size_t s = static_cast<std::size_t>(static_cast<char*>(p) - slot_at(b, 0)) / kSlot;
    const std::size_t w = s / 64;
    b->freeBits[w] |= 1ull << (s & 63);
    b->words[w / 64] |= 1ull << (w & 63);
    b->groups |= 1ull << (w / 64);
    ++b->freeCount;
    if (s + 1 == b->frontier)  // P4: lower the frontier over the free slots below it
        while (b->frontier > 0 && is_free(b, b->frontier - 1)) --b->frontier;
    if (!pool.lowest || b->sequence < pool.lowest->sequence) pool.lowest = b;
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

CSparseMatrix::cell* tarvel::detail::new_cell_chain(std::size_t n) noexcept
{
    using Cell = CSparseMatrix::cell;
    if (n == 0) return nullptr;
#ifndef TARVEL_CELLS_FROM_HEAP
    if (char* run = take_run(tPool, n))
    {
        Cell* cells = reinterpret_cast<Cell*>(run);
        for (std::size_t t = 0; t < n; ++t)
            ::new (cells + t) Cell{t + 1 < n ? cells + t + 1 : nullptr, 0.0, 0};
        return cells;
    }
#endif
    Cell* head = nullptr;  // one cell at a time, made from the last to the first
    for (std::size_t t = 0; t < n; ++t)
    {
        Cell* made = new (std::nothrow) Cell{head, 0.0, 0};
        if (!made)
        {
            while (head)
            {
                Cell* next = head->m_pNext;
                delete head;
                head = next;
            }
            return nullptr;
        }
        head = made;
    }
    return head;
}

bool tarvel::detail::cells_reused_in_address_order()
{
#ifndef TARVEL_CELLS_FROM_HEAP
    return true;
#else
    return false;
#endif
}
