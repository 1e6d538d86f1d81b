// Cells across threads: the pools give memory back. Slots released on another thread return to
// their block, blocks of ended threads are reused, empty blocks go back to the system, and the
// resident set stays flat over many rounds of a thread per task and of a producer handing its
// matrices to a consumer (each round's solve checked against the known solution).
#include "support/GlobalState.h"
#include "support/Problems.h"

#include <tarvel/Tarvel.h>
#include <tarvel/sparse/detail/CellPool.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

using namespace tarvel_test;
using CellPoolThreads = GlobalStateTest;
using Cell = CSparseMatrix::cell;

namespace
{

// ThreadSanitizer's shadow memory grows with every address touched: the resident set then says
// nothing about the pools (the block count still does).
#if defined(__SANITIZE_THREAD__)
constexpr bool kShadowMemory = true;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
constexpr bool kShadowMemory = true;
#else
constexpr bool kShadowMemory = false;
#endif
#else
constexpr bool kShadowMemory = false;
#endif

// Resident pages of this process (the second field of /proc/self/statm), 0 when unreadable.
long resident_pages()
{
    long size = 0, resident = 0;
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f) return 0;
    if (std::fscanf(f, "%ld %ld", &size, &resident) != 2) resident = 0;
    std::fclose(f);
    return resident;
}

// The 14 x 14 grid Laplacian (196 unknowns) in upper storage, and b = A * (1, ..., 1).
struct Task
{
    Mesh mesh = GridLaplacian(14, 14);
    CMatrix b{mesh.n, 1};
    Task()
    {
        const CMatrix A = mesh.Dense();
        for (int i = 0; i < mesh.n; ++i) b.m_pData[i] = 0.0;
        for (int i = 0; i < mesh.n; ++i)
            for (int j = 0; j < mesh.n; ++j) b.m_pData[i] += A.m_pData[i * mesh.n + j];
    }
    std::unique_ptr<CSystSpMat> Assemble() const
    {
        auto K = std::make_unique<CSystSpMat>(mesh.n);
        mesh.AssembleInto(*K);
        return K;
    }
    // max |x_i - 1| of the Cholesky solve, or 1.0 when it fails.
    double SolveError(CSystSpMat& K) const
    {
        CMatrix x(b);
        double seconds = 0.0;
        if (K.Cholesky_Solve(&x, seconds) != 1) return 1.0;
        double error = 0.0;
        for (int i = 0; i < mesh.n; ++i) error = std::max(error, std::fabs(x.m_pData[i] - 1.0));
        return error;
    }
};

}  // namespace

// 1,000 rounds of each pattern; after 100 rounds of warm-up the resident set may not grow by
// more than 10 % and no block may be added (before the reserve and the remote lists, each round
// kept at least one new block).
TEST_F(CellPoolThreads, MemoryStaysFlatOverAThousandRounds)
{
    CVirtMat::m_bSym = true;  // set before any thread starts; only read on the threads
    const Task task;
    const auto threadPerTask = [&task](int rounds, double& worst)
    {
        for (int round = 0; round < rounds; ++round)
        {
            std::unique_ptr<CSystSpMat> handed;
            std::thread worker(
                [&]
                {
                    auto K = task.Assemble();
                    worst = std::max(worst, task.SolveError(*K));
                    if (round % 2) handed = std::move(K);  // destroyed here after the join
                });
            worker.join();
            handed.reset();
        }
    };
    const auto producerConsumer = [&task](int rounds, double& worst)
    {
        std::mutex m;
        std::condition_variable cv;
        std::unique_ptr<CSystSpMat> slot;  // the hand-over: one matrix at a time
        std::thread producer(
            [&]
            {
                for (int round = 0; round < rounds; ++round)
                {
                    auto K = task.Assemble();
                    std::unique_lock<std::mutex> lock(m);
                    cv.wait(lock, [&] { return !slot; });
                    slot = std::move(K);
                    cv.notify_all();
                }
            });
        for (int round = 0; round < rounds; ++round)
        {
            std::unique_ptr<CSystSpMat> K;
            {
                std::unique_lock<std::mutex> lock(m);
                cv.wait(lock, [&] { return slot != nullptr; });
                K = std::move(slot);
                cv.notify_all();
            }
            worst = std::max(worst, task.SolveError(*K));
        }
        producer.join();
    };
    const std::pair<const char*, std::function<void(int, double&)>> patterns[] = {
        {"producer and consumer", producerConsumer}, {"a thread per task", threadPerTask}};
    const bool pooled = tarvel::detail::cells_reused_in_address_order();
    for (const auto& [name, run] : patterns)
    {
        SCOPED_TRACE(name);
        double worst = 0.0;
        run(100, worst);
        const long warm = resident_pages();
        const std::size_t blocks = tarvel::detail::cell_blocks_mapped();
        run(900, worst);
        EXPECT_LE(worst, 1e-12);  // 196 unknowns, condition number about 80
        if (!pooled) continue;    // sanitizer builds take cells from the heap
        ASSERT_GT(warm, 0);
        if (!kShadowMemory)
        {
            EXPECT_LE(resident_pages(), warm + warm / 10);
        }
        EXPECT_LE(tarvel::detail::cell_blocks_mapped(), blocks);
    }
}

// Cells made on one thread and released on another come back to the thread that made them;
// cells of an ended thread, released here, are reused by the next thread. 50 rounds of 20,000
// cells (about a quarter of a block) each: without reuse they would take 12 blocks.
TEST_F(CellPoolThreads, SlotsReleasedElsewhereComeBack)
{
    if (!tarvel::detail::cells_reused_in_address_order()) GTEST_SKIP() << "cells from the heap";
    const auto make = [](std::vector<Cell*>& cells)
    {
        for (int k = 0; k < 20000; ++k) cells.push_back(new Cell{nullptr, 1.0, k});
    };
    const auto release = [](std::vector<Cell*>& cells)
    {
        for (Cell* c : cells) delete c;
        cells.clear();
    };
    std::vector<Cell*> cells;
    std::size_t before = tarvel::detail::cell_blocks_mapped();
    std::thread maker(
        [&]
        {
            for (int round = 0; round < 50; ++round)
            {
                make(cells);
                std::thread(release, std::ref(cells)).join();
            }
        });
    maker.join();
    EXPECT_LE(tarvel::detail::cell_blocks_mapped(), before + 2);

    before = tarvel::detail::cell_blocks_mapped();
    for (int round = 0; round < 50; ++round)
    {
        std::thread(make, std::ref(cells)).join();
        release(cells);
    }
    EXPECT_LE(tarvel::detail::cell_blocks_mapped(), before + 2);
}

// A thread that made 60 MB of cells and released them keeps only a small reserve mapped (at most
// 24 MiB: the header's counts of kept empty blocks), and its resident set shrinks accordingly.
TEST_F(CellPoolThreads, EmptyBlocksGoBackToTheSystem)
{
    if (!tarvel::detail::cells_reused_in_address_order()) GTEST_SKIP() << "cells from the heap";
    const std::size_t before = tarvel::detail::cell_blocks_mapped();
    std::size_t during = 0, after = 0;
    long residentDuring = 0, residentAfter = 0;
    std::thread(
        [&]
        {
            std::vector<Cell*> cells(2500000);
            for (Cell*& c : cells) c = new Cell{nullptr, 1.0, 0};
            during = tarvel::detail::cell_blocks_mapped();
            residentDuring = resident_pages();
            for (Cell* c : cells) delete c;
            after = tarvel::detail::cell_blocks_mapped();
            residentAfter = resident_pages();
        })
        .join();
    EXPECT_GE(during, before + 28);  // 60 MB in 2 MiB blocks
    EXPECT_LE(after, before + 12);
    EXPECT_LE(tarvel::detail::cell_blocks_mapped(), before + 12);
    EXPECT_LT(residentAfter, residentDuring - 30 * (1 << 20) / 4096);
}
