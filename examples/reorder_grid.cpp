// Reorders the degree-of-freedom graph of a structured mesh of four-node elements with every
// reordering of CReorderMat and prints, per reordering, the wall time, the bandwidth and the
// envelope of the result. The reorderings' reports are printed as they come.
//
// Usage: reorder_grid [nx [ny [script-path]]]   (defaults: 100 100 Reord.m)
#include "fem/Roads.h"

#include <tarvel/Tarvel.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace
{

// Count pass, Init, fill pass over the elements of an nx-by-ny grid (node (i, j) is j(nx+1)+i).
void build_grid(CReorderMat& g, int nx, int ny)
{
    const long w = nx + 1;
    std::vector<long> element(4);
    g.Alloc(static_cast<int>(w * (ny + 1)));
    for (int mode : {0, 1})
    {
        if (mode == 1) g.Init();
        for (long j = 0; j < ny; ++j)
            for (long i = 0; i < nx; ++i)
            {
                element = {j * w + i, j * w + i + 1, (j + 1) * w + i + 1, (j + 1) * w + i};
                g.InsertDOFs(element.data(), mode, 4);
            }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const int nx = argc > 1 ? std::atoi(argv[1]) : 100;
    const int ny = argc > 2 ? std::atoi(argv[2]) : nx;
    if (argc > 3) CReorderMat::SetScriptPath(argv[3]);
    AfxSetMessageBoxHandler(
        [](const CString& text, UINT)
        {
            std::printf("    report: %s", text.GetString());
            return IDOK;
        });

    CReorderMat grid(1);
    build_grid(grid, nx, ny);
    int row = 0;
    std::printf("%d x %d elements, %d DOFs: bandwidth %d, envelope %lld\n", nx, ny, grid.GetRows(),
                grid.GetB(row), grid.Env64(nullptr));

    for (const tarvel_fem::NamedReordering& r : tarvel_fem::reorderings())
    {
        CReorderMat g(grid);
        std::printf("%s\n", r.name);
        const auto start = std::chrono::steady_clock::now();
        r.run(g);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        std::printf("  %.3f s, bandwidth %d, envelope %lld\n", took.count(), g.GetB(row),
                    g.Env64(nullptr));
    }
    return 0;
}
