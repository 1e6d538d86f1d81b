// One road of a large finite-element solve, measured: the time of each step, the peak resident
// memory of the process, the stored entries and the resident bytes they took. Run by
// scripts/scale.sh once per problem, size and road (one process each, so that the peaks are the
// road's own).
//
//   square N : -div grad u = 1 on the unit square, N x N four-node elements, (N+1)^2 DOFs
//   plate N  : the plane-stress cantilever plate, 2N x N four-node elements, 2 DOFs per node
//   cube N   : -div grad u = 1 on the unit cube, N^3 eight-node elements, (N+1)^3 DOFs
//
// Roads:
//   cg NAME       CSystSpMat (m_bSym = true), AddValues, SymUnifyAndZero, ConjGradient2 (scaled);
//                 NAME is ignored
//   skyline NAME  the graph of the free DOFs, the reordering NAME (or none), PostReorder,
//                 CSkylineMatrix::Allocate(graph), AddValues by labels, Cholesky_Solve. When the
//                 profile would need more than TARVEL_SCALE_LIMIT_MB (default 4096) MiB, the road
//                 stops after the reordering and says so.
//   reorder NAME  only the graph and the reordering NAME (for the growth of its time with n)
//
// Usage: scale_roads square|plate|cube N cg|skyline|reorder [NAME]
// Output: one line of key=value fields; exit status 0 when the road ran (and, for the solves,
// the relative residual against an independent assembly is below 1e-6), else 1.
#include "fem/Problems.h"
#include "fem/Reference.h"
#include "fem/Roads.h"
#include "fem/TarvelInput.h"

#include <tarvel/Tarvel.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace
{

using Clock = std::chrono::steady_clock;

double since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Resident bytes now (/proc/self/statm), and the peak of the process: the larger of what
// getrusage reports and the highest resident size read here after each step (on one machine
// the kernel's high-water mark stayed far below a profile of several gigabytes that was
// resident at the time).
double g_residentPeak = 0.0;
double resident_bytes()
{
    long size = 0, resident = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r"))
    {
        if (std::fscanf(f, "%ld %ld", &size, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    const double bytes = static_cast<double>(resident) * 4096.0;
    g_residentPeak = std::max(g_residentPeak, bytes);
    return bytes;
}

double peak_bytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    resident_bytes();
    return std::max(static_cast<double>(usage.ru_maxrss) * 1024.0, g_residentPeak);
}

const tarvel_fem::NamedReordering* find_reordering(const std::string& name)
{
    for (const auto& r : tarvel_fem::reorderings())
        if (name == r.name) return &r;
    return nullptr;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4)
    {
        std::fprintf(stderr, "usage: scale_roads square|plate|cube N cg|skyline|reorder [NAME]\n");
        return 2;
    }
    const std::string kind = argv[1], road = argv[3], name = argc > 4 ? argv[4] : "none";
    const int N = std::atoi(argv[2]);
    AfxSetMessageBoxHandler([](const CString&, UINT) { return IDOK; });  // reports: quiet
    // The reorderings write their script beside the working directory's other files.
    CReorderMat::SetScriptPath("scale_Reord.m");

    auto t = Clock::now();
    tarvel_fem::FemProblem p = kind == "cube"    ? tarvel_fem::poisson_3d(N)
                               : kind == "plate" ? tarvel_fem::cantilever_plate(2 * N, N)
                                                 : tarvel_fem::poisson_2d(N);
    const double tProblem = since(t);
    const long n = p.num_dofs;
    std::printf("problem=%s N=%d dofs=%ld road=%s reordering=%s elements_s=%.2f", kind.c_str(), N,
                n, road.c_str(), name.c_str(), tProblem);
    const double base = resident_bytes();
    std::vector<double> u;

    if (road == "cg")
    {
        CVirtMat::m_bSym = true;
        CSystSpMat K(static_cast<int>(n));
        t = Clock::now();
        tarvel_fem::assemble(K, p);
        CMatrix B = tarvel_fem::load_matrix(p);
        CVector dofs, values;
        tarvel_fem::prescribed_vectors(p, dofs, values);
        K.SymUnifyAndZero(dofs, values, &B);
        const double tAssemble = since(t);
        const long entries = tarvel_fem::stored_entries(K);
        const double assembled = resident_bytes() - base;
        double res = 0.0;
        CVector times;
        const int maxIter = static_cast<int>(std::min<long>(2 * n, 200000));
        t = Clock::now();
        const int iterations = K.ConjGradient2(B, res, maxIter, 1e-24, &times, true);
        const double tSolve = since(t);
        resident_bytes();  // the factor in place: the profile's high-water mark
        std::printf(" assemble_s=%.2f solve_s=%.2f iterations=%d entries=%ld bytes_per_entry=%.1f",
                    tAssemble, tSolve, iterations, entries, assembled / entries);
        u.assign(B.m_pData, B.m_pData + n);
    }
    else if (road == "skyline" || road == "reorder")
    {
        const tarvel_fem::NamedReordering* r = find_reordering(name);
        if (!r && name != "none")
        {
            std::printf(" error=unknown-reordering\n");
            return 1;
        }
        CReorderMat g(0);
        t = Clock::now();
        tarvel_fem::build_free_graph(g, p);
        const double tGraph = since(t);
        t = Clock::now();
        if (r) r->run(g);
        g.PostReorder();
        const double tReorder = since(t);
        double values = 0.0, work = 0.0;
        tarvel_fem::profile_of(g, values, work);
        std::printf(" graph_s=%.2f reorder_s=%.2f profile=%.0f", tGraph, tReorder, values);
        if (road == "reorder")
        {
            std::printf(" peak_mb=%.0f\n", peak_bytes() / 1048576.0);
            return 0;
        }
        const char* limitText = std::getenv("TARVEL_SCALE_LIMIT_MB");
        const double limit = (limitText ? std::atof(limitText) : 4096.0) * 1048576.0;
        if (values * 8.0 > limit)
        {
            std::printf(" skipped=profile-needs-%.0f-MiB peak_mb=%.0f\n", values * 8.0 / 1048576.0,
                        peak_bytes() / 1048576.0);
            return 0;
        }
        CSkylineMatrix K;
        CMatrix B;
        const double before = resident_bytes();
        t = Clock::now();
        if (!tarvel_fem::assemble_skyline(K, B, p, g))
        {
            std::printf(" error=profile-not-allocated\n");
            return 1;
        }
        const double tAssemble = since(t);
        const double assembled = resident_bytes() - before;
        double seconds = 0.0;
        t = Clock::now();
        const int status = K.Cholesky_Solve(&B, seconds);
        const double tSolve = since(t);
        resident_bytes();  // the factor in place: the profile's high-water mark
        std::printf(" assemble_s=%.2f solve_s=%.2f status=%d entries=%d bytes_per_entry=%.1f",
                    tAssemble, tSolve, status, K.m_nValues, assembled / K.m_nValues);
        u = tarvel_fem::solution_by_dof(B, g);
    }
    else
    {
        std::printf(" error=unknown-road\n");
        return 1;
    }

    const tarvel_fem::ReducedSystem reduced = tarvel_fem::reduce(p);
    const double residual = tarvel_fem::relative_residual(reduced.K, u.data(), reduced.b);
    std::printf(" residual=%.2e peak_mb=%.0f\n", residual, peak_bytes() / 1048576.0);
    return residual < 1e-6 ? 0 : 1;
}
