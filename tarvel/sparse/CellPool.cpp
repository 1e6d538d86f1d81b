// Allocation of CSparseMatrix cells: per-thread pools of equal slots, reused in address order,
// given back when a thread ends or a block empties.
//
// A factorization makes one cell per fill-in entry, millions for a large problem, and the
// general heap spends more time and memory on them (a 32-byte chunk for a 24-byte cell) than
// the arithmetic does. Each thread carves slots from 2 MiB blocks of its own (aligned to their
// size, so a slot finds its block by masking its address). A block starts with a header that
// marks its free slots in a bitmap, summarized twice (words with a free slot, groups of 64
// words with one), so that the lowest free slot of a block is found in three steps.
//
// Invariants (checked by TARVEL_ASSERT where they are touched):
//  P1  a slot is free exactly when its bit is set in its block's bitmap, or when it is on its
//      block's remote list (never both); only the owning thread reads or writes a block's
//      bitmap, summaries and links; a block without an owner (owner 0) is in the reserve
//  P2  the summaries are exact: a word bit is set iff that bitmap word is not zero, a group
//      bit iff that group of words has a set word bit; freeCount counts the set bitmap bits
//  P3  the owned blocks are chained in the order the thread took them; no block before
//      pool.lowest has a free slot in its bitmap (null: none known)
//  P4  every slot of a block at or above its frontier is free; the slot just below the
//      frontier is not (so a block with every slot free has frontier 0 and a pristine header)
//  P5  pool.empty counts the owned blocks whose slots are all free
//
// A new cell takes the lowest free slot of the first owned block that has one; when there is
// none, the slots other threads released into the owned blocks are taken back first, then a
// block of the reserve, then a new block. So cells are handed out in address order whatever the
// order they were released in: after a factorization frees a matrix, the next one assembled
// gets its cells packed from the bottom of the pool, the cells of one row close together, as
// from a fresh pool (a LIFO free list would scatter them over every block). A chain of cells
// asked for at once (a row of a factor) takes consecutive slots at a block's frontier (P4),
// so that walking the row, in either direction through the rows, streams through memory.
//
// Giving memory back. A slot released on a thread that does not own its block is pushed on the
// block's remote list (one compare-and-swap, lock-free); its owner folds the list into the
// bitmap when it runs out of free slots, so a producer thread whose matrices a consumer
// destroys reuses its own memory. When a thread ends, its blocks go to a process-wide reserve
// that any thread takes blocks from before it maps new ones (blocks whose slots are all free
// beyond kSpareBlocks go back to the system). A block whose slots all become free while its
// thread owns more than kKeptEmpty such blocks goes to the reserve at once. A thread that makes
// cells in the destructor of another thread-local object after its pool was handed over starts
// a new pool that stays with it until the process ends.
//
// On Linux the blocks are mapped directly and offered to the kernel as huge pages: a large
// factorization then takes one page fault per block instead of one per 4 KiB of fresh cells,
// and an unmapped block leaves the resident set at once.
//
// With AddressSanitizer the cells use the global heap instead, so that use-after-free, double
// release and leaks of single cells stay detectable.
#include <tarvel/platform/Assert.h>
#include <tarvel/sparse/SparseMatrix.h>
#include <tarvel/sparse/detail/CellPool.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <new>

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
constexpr std::size_t kKeptEmpty = 4;    // empty blocks a thread keeps for its next cells
constexpr std::size_t kSpareBlocks = 8;  // empty blocks the reserve keeps for any thread
static_assert(kGroups <= 64, "one word must summarize the groups");
static_assert(kSlot >= sizeof(FreeSlot) && kSlot % alignof(CSparseMatrix::cell) == 0,
              "a cell slot must hold a free-list link");

struct BlockHeader
{
    std::atomic<std::uint64_t> owner;  // the pool that hands out this block's slots; 0: none
    std::atomic<FreeSlot*> remote;     // P1: slots released on other threads, not yet folded
    BlockHeader* prev;                 // the owner's chain (P3), or the reserve's list
    BlockHeader* next;
    std::uint64_t sequence;             // position in the owner's chain, ascending along it
    std::uint64_t freeCount;            // set bits of freeBits (P2)
    std::uint64_t frontier;             // P4
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
    std::uint64_t id = 0;          // 0 until the thread takes its first block, again at its end
    BlockHeader* first = nullptr;  // owned blocks, in the order taken (P3)
    BlockHeader* last = nullptr;
    BlockHeader* lowest = nullptr;  // P3
    BlockHeader* runs = nullptr;    // the block of the latest run of consecutive slots
    std::size_t empty = 0;          // P5
};

#if defined(__GNUC__)
thread_local ThreadPool tPool __attribute__((tls_model("initial-exec")));
#else
thread_local ThreadPool tPool;
#endif

std::atomic<std::uint64_t> gNextPoolId{1};
std::atomic<std::size_t> gMappedBlocks{0};

// Blocks no thread owns: those of ended threads that still hold cells, and empty ones.
struct Reserve
{
    std::mutex guard;
    BlockHeader* holding = nullptr;  // chained through next
    BlockHeader* spare = nullptr;    // every slot free, at most kSpareBlocks of them
    std::size_t spareCount = 0;
};

// Made once and never destroyed: threads may end while the process runs its static destructors.
Reserve& reserve()
{
    static Reserve* const r = new Reserve;
    return *r;
}

BlockHeader* header_of(void* slot)
{
    return reinterpret_cast<BlockHeader*>(reinterpret_cast<std::uintptr_t>(slot) &
                                          ~static_cast<std::uintptr_t>(kBlockBytes - 1));
}

char* slot_at(BlockHeader* b, std::size_t s)
{
    return reinterpret_cast<char*>(b) + kHeaderBytes + s * kSlot;
}

std::size_t slot_index(BlockHeader* b, void* p)
{
    const std::size_t offset = static_cast<std::size_t>(static_cast<char*>(p) - slot_at(b, 0));
    TARVEL_ASSERT(static_cast<char*>(p) >= slot_at(b, 0) && offset % kSlot == 0 &&
                      offset / kSlot < kSlots,
                  "CSparseMatrix::cell::operator delete: not a cell of the pool");
    return offset / kSlot;
}

bool is_free(const BlockHeader* b, std::size_t s) { return (b->freeBits[s / 64] >> (s & 63)) & 1; }

bool all_free(const BlockHeader* b) { return b->freeCount == kSlots; }

// 2 MiB of fresh memory aligned to 2 MiB, or null.
void* map_block()
{
#if defined(__linux__)
    const std::size_t span = 2 * kBlockBytes;
    void* raw = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + kBlockBytes - 1) & ~std::uintptr_t(kBlockBytes - 1);
    if (aligned > start) munmap(raw, aligned - start);
    if (start + span > aligned + kBlockBytes)
        munmap(reinterpret_cast<void*>(aligned + kBlockBytes),
               start + span - aligned - kBlockBytes);
    void* memory = reinterpret_cast<void*>(aligned);
#if defined(MADV_HUGEPAGE)
    madvise(memory, kBlockBytes, MADV_HUGEPAGE);  // a hint: failure changes nothing
#endif
    return memory;
#else
    return std::aligned_alloc(kBlockBytes, kBlockBytes);
#endif
}

void unmap_block(BlockHeader* b)
{
    b->~BlockHeader();
    gMappedBlocks.fetch_sub(1, std::memory_order_relaxed);
#if defined(__linux__)
    munmap(b, kBlockBytes);
#else
    std::free(b);
#endif
}

// A new block, every slot free, owned by nobody yet; null when memory is exhausted.
BlockHeader* new_block()
{
    void* memory = map_block();
    if (!memory) return nullptr;
    gMappedBlocks.fetch_add(1, std::memory_order_relaxed);
    BlockHeader* b = ::new (memory) BlockHeader;
    b->owner.store(0, std::memory_order_relaxed);
    b->remote.store(nullptr, std::memory_order_relaxed);
    b->prev = b->next = nullptr;
    b->sequence = 0;
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
    return b;
}

// Hands b (owned by nobody, no remote list pending) to the reserve, or back to the system when
// it is empty and the reserve has its spares.
void to_reserve(BlockHeader* b)
{
    b->owner.store(0, std::memory_order_relaxed);
    Reserve& r = reserve();
    {
        const std::lock_guard<std::mutex> lock(r.guard);
        if (!all_free(b))
        {
            b->next = r.holding;
            r.holding = b;
            return;
        }
        if (r.spareCount < kSpareBlocks)
        {
            TARVEL_ASSERT(b->frontier == 0, "cell pool: an empty block with a frontier");
            b->next = r.spare;
            r.spare = b;
            ++r.spareCount;
            return;
        }
    }
    unmap_block(b);
}

// A block of the reserve (one holding cells first, so that its free slots are used), or null.
BlockHeader* from_reserve()
{
    Reserve& r = reserve();
    const std::lock_guard<std::mutex> lock(r.guard);
    BlockHeader* b = r.holding;
    if (b)
        r.holding = b->next;
    else if ((b = r.spare) != nullptr)
    {
        r.spare = b->next;
        --r.spareCount;
    }
    return b;
}

void unlink(ThreadPool& pool, BlockHeader* b)
{
    (b->prev ? b->prev->next : pool.first) = b->next;
    (b->next ? b->next->prev : pool.last) = b->prev;
    if (pool.lowest == b) pool.lowest = b->next;  // P3: no block before b had a free slot
    if (pool.runs == b) pool.runs = nullptr;
    if (all_free(b)) --pool.empty;
    b->prev = b->next = nullptr;
}

// Marks slot s of b (owned by pool, not free) free again (P2, P4, P5 kept); a block that becomes
// empty while the thread keeps enough empty ones goes to the reserve when mayHandOver.
void release_slot(ThreadPool& pool, BlockHeader* b, std::size_t s, bool mayHandOver)
{
    const std::size_t w = s / 64;
    TARVEL_ASSERT(!is_free(b, s), "CSparseMatrix::cell::operator delete: cell released twice");
    b->freeBits[w] |= 1ull << (s & 63);
    b->words[w / 64] |= 1ull << (w & 63);
    b->groups |= 1ull << (w / 64);
    ++b->freeCount;
    if (s + 1 == b->frontier)  // P4: lower the frontier over the free slots below it
        while (b->frontier > 0 && is_free(b, b->frontier - 1)) --b->frontier;
    if (!pool.lowest || b->sequence < pool.lowest->sequence) pool.lowest = b;
    if (all_free(b))
    {
        TARVEL_ASSERT(b->frontier == 0, "cell pool: an empty block with a frontier");
        if (++pool.empty > kKeptEmpty && mayHandOver)
        {
            unlink(pool, b);
            to_reserve(b);
        }
    }
}

// Folds b's remote list into its bitmap (b owned by pool); true when it held slots.
bool fold_remote(ThreadPool& pool, BlockHeader* b)
{
    if (!b->remote.load(std::memory_order_relaxed)) return false;
    FreeSlot* slot = b->remote.exchange(nullptr, std::memory_order_acquire);
    while (slot)
    {
        FreeSlot* next = slot->next;
        release_slot(pool, b, slot_index(b, slot), false);
        slot = next;
    }
    return true;
}

// Folds every owned block's remote list; true when any held slots.
bool fold_all_remote(ThreadPool& pool)
{
    bool any = false;
    for (BlockHeader* b = pool.first; b; b = b->next) any |= fold_remote(pool, b);
    return any;
}

void retire_pool(ThreadPool& pool);

// Hands the thread's blocks to the reserve when the thread ends.
struct PoolRetirement
{
    ~PoolRetirement() { retire_pool(tPool); }
};

// A block taken from the reserve or made, owned by pool and chained last (P3); null when memory
// is exhausted.
BlockHeader* acquire_block(ThreadPool& pool)
{
    BlockHeader* b = from_reserve();
    if (!b && !(b = new_block())) return nullptr;
    if (pool.id == 0)
    {
        static thread_local PoolRetirement retirement;
        (void)retirement;
        pool.id = gNextPoolId.fetch_add(1, std::memory_order_relaxed);
    }
    b->owner.store(pool.id, std::memory_order_relaxed);
    b->sequence = pool.last ? pool.last->sequence + 1 : 0;
    b->prev = pool.last;
    b->next = nullptr;
    (pool.last ? pool.last->next : pool.first) = b;
    pool.last = b;
    if (all_free(b)) ++pool.empty;
    fold_remote(pool, b);
    if (!pool.lowest && b->freeCount > 0) pool.lowest = b;
    return b;
}

void retire_pool(ThreadPool& pool)
{
    fold_all_remote(pool);
    while (BlockHeader* b = pool.first)
    {
        unlink(pool, b);
        to_reserve(b);
    }
    pool = ThreadPool{};
}

// The lowest free slot of b (which has one), taken (P2, P5 kept).
void* take_from(ThreadPool& pool, BlockHeader* b)
{
    if (all_free(b)) --pool.empty;
    const std::size_t g = static_cast<std::size_t>(__builtin_ctzll(b->groups));
    const std::size_t w = 64 * g + static_cast<std::size_t>(__builtin_ctzll(b->words[g]));
    std::uint64_t bits = b->freeBits[w];
    const std::size_t s = 64 * w + static_cast<std::size_t>(__builtin_ctzll(bits));
    TARVEL_ASSERT(s < kSlots, "cell pool: a free bit beyond the block");
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

// Slots [first, first + n) of b, all free, taken (P2, P5 kept).
void take_range(ThreadPool& pool, BlockHeader* b, std::size_t first, std::size_t n)
{
    if (all_free(b)) --pool.empty;
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

BlockHeader* block_with_room(ThreadPool& pool, std::size_t n)
{
    BlockHeader* b = pool.first;
    while (b && kSlots - b->frontier < n) b = b->next;
    return b;
}

// n consecutive slots at a block's frontier (P4): the block of the latest run, else the first
// block with room (after taking back the slots other threads released), else one from the
// reserve or a new one; null when n exceeds a block or memory is exhausted.
char* take_run(ThreadPool& pool, std::size_t n)
{
    if (n == 0 || n > kSlots) return nullptr;
    BlockHeader* b = pool.runs;
    if (!b || kSlots - b->frontier < n)
    {
        b = block_with_room(pool, n);
        if (!b && fold_all_remote(pool)) b = block_with_room(pool, n);
        while (!b)
        {
            if (!(b = acquire_block(pool))) return nullptr;
            if (kSlots - b->frontier < n) b = nullptr;
        }
        pool.runs = b;
    }
    const std::size_t first = b->frontier;
    take_range(pool, b, first, n);
    b->frontier = first + n;
    return slot_at(b, first);
}

void* take_slot() noexcept
{
    ThreadPool& pool = tPool;
    for (;;)
    {
        BlockHeader* b = pool.lowest;
        while (b && b->freeCount == 0) b = b->next;
        pool.lowest = b;
        if (b) return take_from(pool, b);
        if (!fold_all_remote(pool) && !acquire_block(pool)) return nullptr;
    }
}

void give_slot(void* p) noexcept
{
    ThreadPool& pool = tPool;
    BlockHeader* b = header_of(p);
    if (pool.id != 0 && b->owner.load(std::memory_order_relaxed) == pool.id)
    {
        release_slot(pool, b, slot_index(b, p), true);
        return;
    }
    // P1: the owner (or the thread that takes the block from the reserve) folds it in.
    FreeSlot* slot = static_cast<FreeSlot*>(p);
    FreeSlot* head = b->remote.load(std::memory_order_relaxed);
    do slot->next = head;
    while (!b->remote.compare_exchange_weak(head, slot, std::memory_order_release,
                                            std::memory_order_relaxed));
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

namespace
{

// n cells chained in order, in consecutive slots with the pools; with Cleared, each holds 0.0
// at column 0, else only the links are written.
template <bool Cleared> CSparseMatrix::cell* chain_of(std::size_t n) noexcept
{
    using Cell = CSparseMatrix::cell;
    if (n == 0) return nullptr;
#ifndef TARVEL_CELLS_FROM_HEAP
    if (char* run = take_run(tPool, n))
    {
        Cell* cells = reinterpret_cast<Cell*>(run);
        for (std::size_t t = 0; t < n; ++t)
        {
            Cell* next = t + 1 < n ? cells + t + 1 : nullptr;
            if (Cleared)
                ::new (cells + t) Cell{next, 0.0, 0};
            else
                (::new (cells + t) Cell)->m_pNext = next;
        }
        return cells;
    }
#endif
    Cell* head = nullptr;  // one cell at a time, made from the last to the first
    for (std::size_t t = 0; t < n; ++t)
    {
        Cell* made = Cleared ? new (std::nothrow) Cell{head, 0.0, 0} : new (std::nothrow) Cell;
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
        made->m_pNext = head;
        head = made;
    }
    return head;
}

}  // namespace

CSparseMatrix::cell* tarvel::detail::new_cell_chain(std::size_t n) noexcept
{
    return chain_of<true>(n);
}

CSparseMatrix::cell* tarvel::detail::new_cell_run(std::size_t n) noexcept
{
    return chain_of<false>(n);
}

bool tarvel::detail::cells_reused_in_address_order()
{
#ifndef TARVEL_CELLS_FROM_HEAP
    return true;
#else
    return false;
#endif
}

std::size_t tarvel::detail::cell_blocks_mapped()
{
#ifndef TARVEL_CELLS_FROM_HEAP
    return gMappedBlocks.load(std::memory_order_relaxed);
#else
    return 0;
#endif
}
