// Reorders the degree-of-freedom graph of a structured mesh of four-node elements with every
// reordering of CReorderMat and prints, per reordering, the wall and processor time (script
// writing included), the bandwidth and the envelope of the result. The reorderings' reports are printed as they come.
//
// Usage: reorder_grid [nx [ny [script-path [dofs-per-node [name...]]]]]
//        (defaults: 100 100 Reord.m 1, every reordering; names pick some of them)
#include "fem/Roads.h"

#include <tarvel/Tarvel.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace
{

// Count pass, Init, fill pass over the elements of an nx-by-ny grid (node (i, j) is j(nx+1)+i,
// its DOFs node * dofs .. node * dofs + dofs - 1).
void build_grid(CReorderMat& g, int nx, int ny, int dofs)
{
    const long w = nx + 1;
    std::vector<long> element(4 * static_cast<size_t>(dofs));
    g.Alloc(static_cast<int>(w * (ny + 1) * dofs));
    for (int mode : {0, 1})
    {
        if (mode == 1) g.Init();
        for (long j = 0; j < ny; ++j)
            for (long i = 0; i < nx; ++i)
            {
                const long nodes[4] = {j * w + i, j * w + i + 1, (j + 1) * w + i + 1,
                                       (j + 1) * w + i};
                for (int a = 0; a < 4; ++a)
                    for (int d = 0; d < dofs; ++d) element[a * dofs + d] = nodes[a] * dofs + d;
                g.InsertDOFs(element.data(), mode, 4 * dofs);
            }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const int nx = argc > 1 ? std::atoi(argv[1]) : 100;
    const int ny = argc > 2 ? std::atoi(argv[2]) : nx;
    if (argc > 3) CReorderMat::SetScriptPath(argv[3]);
    const int dofs = argc > 4 ? std::max(1, std::atoi(argv[4])) : 1;
    std::vector<std::string> names(argv + std::min(argc, 5), argv + argc);
    AfxSetMessageBoxHandler(
        [](const CString& text, UINT)
        {
            std::printf("    report: %s", text.GetString());
            return IDOK;
        });

    CReorderMat grid(1);
    build_grid(grid, nx, ny, dofs);
    int row = 0;
    std::printf("%d x %d elements, %d DOFs: bandwidth %d, envelope %lld\n", nx, ny, grid.GetRows(),
                grid.GetB(row), grid.Env64(nullptr));

    for (const tarvel_fem::NamedReordering& r : tarvel_fem::reorderings())
    {
        if (!names.empty() && std::find(names.begin(), names.end(), r.name) == names.end())
            continue;
        CReorderMat g(grid);
        std::printf("%s\n", r.name);
        const auto start = std::chrono::steady_clock::now();
        const std::clock_t cpuStart = std::clock();
        r.run(g);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        const double cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
        std::printf("  %.3f s (processor %.3f s), bandwidth %d, envelope %lld\n", took.count(), cpu,
                    g.GetB(row), g.Env64(nullptr));
    }
    return 0;
}
