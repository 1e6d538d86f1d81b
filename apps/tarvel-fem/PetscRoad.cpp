// The petsc road on the plate (choices in PetscRoad.h).
#include "PetscRoad.h"

#include "Demo.h"
#include "Print.h"
#include "fem/Elements.h"
#include "fem/Problems.h"

#include <algorithm>
#include <sstream>
#include <sys/resource.h>
#include <tarvel-petsc/PetscSystMat.h>

namespace tarvel_demo
{
namespace
{

using tarvel_fem::Point2;

// The plate's grid without storing it: node (i, j) is j * (nx + 1) + i (Mesh.h G1), at
// (L i / nx, H j / ny) as make_quad_grid places it; DOF 2 * node + c.
struct PlateGrid
{
    int nx, ny;
    tarvel_fem::PlateData data;
    long node(int i, int j) const { return static_cast<long>(j) * (nx + 1) + i; }
    Point2 at(int i, int j) const { return {data.length * i / nx, data.height * j / ny}; }
    // Element (i, j) has the lower-left node (i, j); corners counter-clockwise (G3).
    void dofs(int i, int j, long* d) const
    {
        const long n[4] = {node(i, j), node(i + 1, j), node(i + 1, j + 1), node(i, j + 1)};
        for (int a = 0; a < 4; ++a) d[2 * a] = 2 * n[a], d[2 * a + 1] = 2 * n[a] + 1;
    }
};

// The block's grid likewise: node (i, j, k) = (k (ny + 1) + j) (nx + 1) + i (Mesh.h G1), DOF
// 3 * node + c; element (i, j, k) has its corners in the order of G3, corner 0 its lowest node.
struct BlockGrid
{
    int nx, ny, nz;
    tarvel_fem::BlockData data;
    long node(int i, int j, int k) const
    {
        return (static_cast<long>(k) * (ny + 1) + j) * (nx + 1) + i;
    }
    tarvel_fem::Point3 at(int i, int j, int k) const
    {
        return {data.length * i / nx, data.width * j / ny, data.height * k / nz};
    }
    void dofs(int i, int j, int k, long* d) const
    {
        const long n[8] = {node(i, j, k),
                           node(i + 1, j, k),
                           node(i + 1, j + 1, k),
                           node(i, j + 1, k),
                           node(i, j, k + 1),
                           node(i + 1, j, k + 1),
                           node(i + 1, j + 1, k + 1),
                           node(i, j + 1, k + 1)};
        for (int a = 0; a < 8; ++a)
            for (int c = 0; c < 3; ++c) d[3 * a + c] = 3 * n[a] + c;
    }
};

double slowest(double seconds)
{
    double worst = 0.0;
    MPI_Allreduce(&seconds, &worst, 1, MPI_DOUBLE, MPI_MAX, MPI_COMM_WORLD);
    return worst;
}

// The prescribed values imposed and the owned nodes' coordinates given (dim per node), the phase
// printed on rank 0 from start; false, with the run's failure, when this or an earlier step
// (ok false) failed.
bool impose(CPetscSystMat& K, bool ok, const std::vector<long>& fixed,
            const std::vector<double>& values, const std::vector<double>& coordinates, int dim,
            double start, PetscPlateRun& run, std::ostream& out)
{
    ok = ok && K.SymUnifyAndZero(fixed.data(), values.data(), static_cast<long>(fixed.size()));
    ok = ok && K.SetCoordinates(coordinates.data(), dim);
    run.imposeSeconds = slowest(MPI_Wtime() - start);
    int rank = 0;
    MPI_Comm_rank(MPI_COMM_WORLD, &rank);
    if (rank == 0)
        phase(out, "SymUnifyAndZero, coordinates", run.imposeSeconds,
              format("%zu prescribed DOFs", fixed.size()));
    if (!ok) run.failure = "PETSc failed while assembling (its message is above)";
    return ok;
}

// Solves, prints the KSP phases on rank 0, and fills the run's figures: the tip value (DOF
// tipDof), the whole solution on rank 0 when gather, the largest peak memory of any rank.
void solve_and_measure(CPetscSystMat& K, long tipDof, bool gather, PetscPlateRun& run,
                       std::ostream& out)
{
    int rank = 0;
    MPI_Comm_rank(MPI_COMM_WORLD, &rank);
    run.iterations = K.Solve(run.residual);
    run.setupSeconds = slowest(K.GetSetupSeconds());
    run.solveSeconds = slowest(K.GetSolveSeconds());
    run.ksp = K.GetKspType();
    run.pc = K.GetPcType();
    if (rank == 0)
    {
        phase(out, "KSPSetUp (" + run.pc + ")", run.setupSeconds);
        phase(out, "KSPSolve (" + run.ksp + ")", run.solveSeconds,
              format("%d iterations, converged reason %d", run.iterations, K.GetReason()));
    }
    run.solved = run.iterations >= 0;
    if (!run.solved) run.failure = format("the solver did not converge (reason %d)", K.GetReason());
    double tip = 0.0;
    if (K.IsOwned(tipDof)) tip = K.LocalSolution()[tipDof - K.GetFirstRow()];
    MPI_Allreduce(&tip, &run.tip, 1, MPI_DOUBLE, MPI_SUM, MPI_COMM_WORLD);
    if (gather) run.u = K.GatherSolution(0);
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    const double mine = static_cast<double>(usage.ru_maxrss) / 1024.0;
    MPI_Allreduce(&mine, &run.peakMiB, 1, MPI_DOUBLE, MPI_MAX, MPI_COMM_WORLD);
}

}  // namespace

bool petsc_built_in() { return true; }

PetscPlateRun petsc_plate(int nx, int ny, bool gather, std::ostream& out)
{
    PetscPlateRun run;
    int rank = 0;
    MPI_Comm_rank(MPI_COMM_WORLD, &rank);
    MPI_Comm_size(MPI_COMM_WORLD, &run.ranks);
    const PlateGrid g{nx, ny, {}};
    run.dofs = 2 * g.node(nx, ny) + 2;
    CVirtMat::m_bSym = true;
    CPetscSystMat K(MPI_COMM_WORLD, run.dofs, 2);
    const long firstNode = K.GetFirstRow() / 2, lastNode = K.GetLastRow() / 2;

    // -- 1. Preallocation: the element rows touching the owned nodes --
    double start = MPI_Wtime();
    const int rowLow = std::max(0L, firstNode / (nx + 1) - 1);
    const int rowHigh = lastNode > firstNode
                            ? std::min<int>(ny - 1, static_cast<int>((lastNode - 1) / (nx + 1)))
                            : rowLow - 1;
    std::vector<long> near;
    for (int j = rowLow; j <= rowHigh; ++j)
        for (int i = 0; i < nx; ++i)
        {
            near.resize(near.size() + 8);
            g.dofs(i, j, near.data() + near.size() - 8);
        }
    bool ok = K.Preallocate(near.data(), static_cast<long>(near.size() / 8), 8);

    // -- 2. This rank's strip: elements and traction segments whose lowest node it owns --
    long dofs[8];
    for (std::size_t e = 0; ok && e < near.size() / 8; ++e)
    {
        const long* d = near.data() + 8 * e;
        if (!K.IsOwned(d[0])) continue;
        const long node = d[0] / 2;
        const int i = static_cast<int>(node % (nx + 1)), j = static_cast<int>(node / (nx + 1));
        auto ke = tarvel_fem::q4_plane_stress(
            {g.at(i, j), g.at(i + 1, j), g.at(i + 1, j + 1), g.at(i, j + 1)}, g.data.young,
            g.data.poisson, g.data.thickness);
        std::copy(d, d + 8, dofs);
        ok = K.AddValues(dofs, ke.data(), 8);
    }
    for (int j = 0; ok && j < ny; ++j)
    {
        const long a = g.node(nx, j), b = g.node(nx, j + 1);
        if (!K.IsOwned(2 * a)) continue;
        auto fe = tarvel_fem::edge_traction(g.at(nx, j), g.at(nx, j + 1), 0.0, g.data.traction,
                                            g.data.thickness);
        long d[4] = {2 * a, 2 * a + 1, 2 * b, 2 * b + 1};
        ok = K.AddLoad(d, fe.data(), 4);
    }
    ok = ok && K.Assemble();
    run.assembleSeconds = slowest(MPI_Wtime() - start);
    if (rank == 0)
        phase(out, "Preallocate, AddValues", run.assembleSeconds,
              format("%d ranks, %ld rows on rank 0", run.ranks, K.GetLastRow() - K.GetFirstRow()));

    // -- 3. Clamped edge and prop, then the rigid-body modes of the owned nodes --
    start = MPI_Wtime();
    std::vector<long> fixed;
    std::vector<double> values;
    for (int j = 0; j <= ny; ++j)
        for (int c = 0; c < 2; ++c) fixed.push_back(2 * g.node(0, j) + c);
    values.assign(fixed.size(), 0.0);
    fixed.push_back(2 * g.node(nx / 2, 0) + 1);
    values.push_back(g.data.prop);
    std::vector<double> xy;
    for (long n = firstNode; n < lastNode; ++n)
    {
        const Point2 p = g.at(static_cast<int>(n % (nx + 1)), static_cast<int>(n / (nx + 1)));
        xy.push_back(p.x);
        xy.push_back(p.y);
    }
    if (!impose(K, ok, fixed, values, xy, 2, start, run, out)) return run;

    solve_and_measure(K, 2 * g.node(nx, ny / 2) + 1, gather, run, out);
    return run;
}

PetscPlateRun petsc_block(int nx, int ny, int nz, bool gather, std::ostream& out)
{
    PetscPlateRun run;
    int rank = 0;
    MPI_Comm_rank(MPI_COMM_WORLD, &rank);
    MPI_Comm_size(MPI_COMM_WORLD, &run.ranks);
    const BlockGrid g{nx, ny, nz, {}};
    const long plane = (nx + 1L) * (ny + 1L);
    run.dofs = 3 * g.node(nx, ny, nz) + 3;
    CVirtMat::m_bSym = true;
    CPetscSystMat K(MPI_COMM_WORLD, run.dofs, 3);
    const long firstNode = K.GetFirstRow() / 3, lastNode = K.GetLastRow() / 3;

    // -- 1. Preallocation: the element layers touching the owned nodes (slabs along z) --
    double start = MPI_Wtime();
    const int layerLow = static_cast<int>(std::max(0L, firstNode / plane - 1));
    const int layerHigh = lastNode > firstNode
                              ? static_cast<int>(std::min<long>(nz - 1, (lastNode - 1) / plane))
                              : layerLow - 1;
    std::vector<long> near;
    for (int k = layerLow; k <= layerHigh; ++k)
        for (int j = 0; j < ny; ++j)
            for (int i = 0; i < nx; ++i)
            {
                near.resize(near.size() + 24);
                g.dofs(i, j, k, near.data() + near.size() - 24);
            }
    bool ok = K.Preallocate(near.data(), static_cast<long>(near.size() / 24), 24);

    // -- 2. This rank's slab: elements and loaded faces whose lowest node it owns --
    auto ke =
        tarvel_fem::hex8_elasticity({g.at(0, 0, 0), g.at(1, 0, 0), g.at(1, 1, 0), g.at(0, 1, 0),
                                     g.at(0, 0, 1), g.at(1, 0, 1), g.at(1, 1, 1), g.at(0, 1, 1)},
                                    g.data.young, g.data.poisson);  // every box alike
    long dofs[24];
    for (std::size_t e = 0; ok && e < near.size() / 24; ++e)
    {
        if (!K.IsOwned(near[24 * e])) continue;
        std::copy(near.begin() + 24 * e, near.begin() + 24 * e + 24, dofs);
        ok = K.AddValues(dofs, ke.data(), 24);
    }
    for (int k = 0; ok && k < nz; ++k)
        for (int j = 0; ok && j < ny; ++j)
        {
            const long f[4] = {g.node(nx, j, k), g.node(nx, j + 1, k), g.node(nx, j + 1, k + 1),
                               g.node(nx, j, k + 1)};
            if (!K.IsOwned(3 * f[0])) continue;
            auto fe = tarvel_fem::quad_face_traction(
                {g.at(nx, j, k), g.at(nx, j + 1, k), g.at(nx, j + 1, k + 1), g.at(nx, j, k + 1)},
                {0.0, 0.0, g.data.traction});
            long d[12];
            for (int a = 0; a < 4; ++a)
                for (int c = 0; c < 3; ++c) d[3 * a + c] = 3 * f[a] + c;
            ok = K.AddLoad(d, fe.data(), 12);
        }
    ok = ok && K.Assemble();
    run.assembleSeconds = slowest(MPI_Wtime() - start);
    if (rank == 0)
        phase(out, "Preallocate, AddValues", run.assembleSeconds,
              format("%d ranks, %ld rows on rank 0", run.ranks, K.GetLastRow() - K.GetFirstRow()));

    // -- 3. Clamped face, then the rigid-body modes of the owned nodes --
    start = MPI_Wtime();
    std::vector<long> fixed;
    for (int k = 0; k <= nz; ++k)
        for (int j = 0; j <= ny; ++j)
            for (int c = 0; c < 3; ++c) fixed.push_back(3 * g.node(0, j, k) + c);
    const std::vector<double> values(fixed.size(), 0.0);
    std::vector<double> xyz;
    for (long n = firstNode; n < lastNode; ++n)
    {
        const tarvel_fem::Point3 p =
            g.at(static_cast<int>(n % (nx + 1)), static_cast<int>(n / (nx + 1) % (ny + 1)),
                 static_cast<int>(n / plane));
        xyz.insert(xyz.end(), {p.x, p.y, p.z});
    }
    if (!impose(K, ok, fixed, values, xyz, 3, start, run, out)) return run;
    solve_and_measure(K, 3 * g.node(nx, ny / 2, nz / 2) + 2, gather, run, out);
    return run;
}

int run_petsc_road(const Options& o, int argc, const char* const* argv, std::ostream& out,
                   std::ostream& err)
{
    const bool block = o.physics == tarvel_fem::Physics::Solid;
    const long long nodes =
        block ? (o.nx + 1LL) * (o.ny + 1LL) * (o.nz + 1LL) : (o.nx + 1LL) * (o.ny + 1LL);
    const int dpn = block ? 3 : 2;
    if (dpn * nodes > kMaxDofs)
    {
        err << "tarvel-fem: "
            << (block ? format("a block of %d x %d x %d elements has %lld DOFs; at most %ld are "
                               "taken",
                               o.nx, o.ny, o.nz, dpn * nodes, kMaxDofs)
                      : format("a grid of %d x %d elements has %lld DOFs; at most %ld are taken",
                               o.nx, o.ny, dpn * nodes, kMaxDofs))
            << '\n';
        return 2;
    }
    PetscBool initialised = PETSC_FALSE;
    PetscInitialized(&initialised);
    std::vector<char*> args;  // PetscInitialize takes a writable argv
    for (int i = 0; i < argc; ++i) args.push_back(const_cast<char*>(argv[i]));
    args.push_back(nullptr);
    int count = argc;
    char** pointer = args.data();
    if (!initialised && PetscInitialize(&count, &pointer, nullptr, nullptr) != 0) return 1;
    int rank = 0;
    MPI_Comm_rank(MPI_COMM_WORLD, &rank);
    std::ostringstream quiet;
    std::ostream& log = rank == 0 ? out : quiet;
    const bool saved = CVirtMat::m_bSym;
    if (block)
    {
        const tarvel_fem::BlockData data;
        log << format("tarvel-fem: 3-D elasticity, cantilever block %g m x %g m x %g m, %d x %d x "
                      "%d eight-node hexahedra\n",
                      data.length, data.width, data.height, o.nx, o.ny, o.nz)
            << format("  %lld nodes, %ld elements, %lld DOFs (%lld prescribed, 0 of them "
                      "non-zero)\n\n",
                      nodes, static_cast<long>(o.nx) * o.ny * o.nz, 3 * nodes,
                      3 * (o.ny + 1LL) * (o.nz + 1LL));
    }
    else
    {
        const tarvel_fem::PlateData plate;
        log << format("tarvel-fem: plane stress, cantilever plate %g m x %g m, %d x %d four-node "
                      "elements\n",
                      plate.length, plate.height, o.nx, o.ny)
            << format("  %lld nodes, %ld elements, %lld DOFs (%d prescribed, 1 of them "
                      "non-zero)\n\n",
                      nodes, static_cast<long>(o.nx) * o.ny, 2 * nodes, 2 * (o.ny + 1) + 1);
    }
    log << "petsc road: CPetscSystMat (MPIAIJ, m_bSym = true), SymUnifyAndZero, KSPSolve\n";
    const PetscPlateRun run =
        block ? petsc_block(o.nx, o.ny, o.nz, false, log) : petsc_plate(o.nx, o.ny, false, log);
    CVirtMat::m_bSym = saved;
    const bool pass = run.solved && run.residual <= kResidualLimit;
    const char component = block ? 'z' : 'y';
    if (run.solved)
        log << format("  ||K u - f|| / ||f|| = %.3e, tip u_%c = %.9e m\n", run.residual, component,
                      run.tip)
            << format("  peak memory per rank %.1f MiB\n\n", run.peakMiB);
    else
        log << "  FAILED: " << run.failure << "\n\n";
    log << "summary\n"
        << format("  %-8s tip u_%c (m)        %s\n", "road", component, "||K u - f|| / ||f||");
    if (run.solved)
        log << format("  %-8s %-18.9e %.3e%s\n", "petsc", run.tip, run.residual,
                      pass ? "" : "   above 1e-8");
    else
        log << format("  %-8s %-18s %s\n", "petsc", "-", "no solution");
    if (block && run.solved)
        log << format("  beam theory (Timoshenko): tip u_z = %.6e m; the petsc road differs by "
                      "%+.2f%%\n",
                      tarvel_fem::block_tip_deflection(),
                      100.0 * (run.tip / tarvel_fem::block_tip_deflection() - 1.0));
    log << (pass ? "OK: every residual is at most 1e-8\n"
                 : "FAILED: a road has no solution or a residual above 1e-8\n");
    if (!initialised) PetscFinalize();
    return pass ? 0 : 1;
}

}  // namespace tarvel_demo
