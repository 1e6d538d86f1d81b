// Cells across threads: slots released on another thread return to their block, blocks of ended
// threads are reused, and empty blocks go back to the system (the block counts of the pools and
// the resident set show it).
#include "SparseTesting.h"

// Cells made on one thread and released on another come back to the thread that made them;
// cells of an ended thread, released here, are reused by the next thread. 50 rounds of 20,000
// cells (about a quarter of a block) each: without reuse they would take 12 blocks. Then a
// thread that made 60 MB of cells and released them keeps only a small reserve mapped (at most
// 24 MiB: the header's counts of kept empty blocks), and its resident set (the second field of
// /proc/self/statm, in pages) shrinks accordingly.
TEST_F(SparseMatrix, CellPoolsReuseBlocksAndGiveThemBack)
{
    if (!tarvel::detail::cells_reused_in_address_order()) GTEST_SKIP() << "cells from the heap";
    std::vector<Cell*> cells;
    const auto make = [&cells]
    {
        for (int k = 0; k < 20000; ++k) cells.push_back(new Cell{nullptr, 1.0, k});
    };
    const auto release = [&cells]
    {
        for (Cell* c : cells) delete c;
        cells.clear();
    };
    for (bool makeAside : {false, true})
    {
        const std::size_t before = cell_blocks_mapped();
        std::thread(
            [&]
            {
                for (int round = 0; round < 50; ++round)
                    makeAside ? (std::thread(make).join(), release())
                              : (make(), std::thread(release).join());
            })
            .join();
        EXPECT_LE(cell_blocks_mapped(), before + 2) << makeAside;
    }

    const std::size_t before = cell_blocks_mapped();
    std::size_t during = 0, after = 0;
    long resident[2] = {0, 0}, size = 0;  // during, after
    std::thread(
        [&]
        {
            cells.resize(2500000);
            for (Cell*& c : cells) c = new Cell{nullptr, 1.0, 0};
            during = cell_blocks_mapped();
            std::ifstream("/proc/self/statm") >> size >> resident[0];
            release();
            after = cell_blocks_mapped();
            std::ifstream("/proc/self/statm") >> size >> resident[1];
        })
        .join();
    EXPECT_GE(during, before + 28);  // 60 MB in 2 MiB blocks
    EXPECT_LE(after, before + 12);
    EXPECT_LE(cell_blocks_mapped(), before + 12);
    EXPECT_LT(resident[1], resident[0] - 30 * (1 << 20) / 4096);
}
