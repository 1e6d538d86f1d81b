// The typical road of a finite-element solve with the system matrix, taken twice on a
// plane-stress plate meshed with four-node elements: clamped along x = 0, loaded by a shear
// traction on x = L, and pushed by a prop that prescribes a non-zero vertical displacement.
//
//   Road 1: m_bSym = true (upper triangle), AddValues per element, SymUnifyAndZero, Cholesky_Solve
//   Road 2: m_bSym = false (full storage), AddValues per element, UnifyAndZero2, LU_Solve
//
// Then the skyline road, on the same plate:
//   Road 3: the DOF graph under the identity labelling, CSkylineMatrix::Allocate(graph),
//           AddValues with each element's DOFs translated through f_v, Cholesky_Solve, the
//           solution read back through the labels;
//   Road 4: the DOF numbers scrambled at random, then relabelled by each reordering of the
//           library (bandwidth and envelope before and after), and solved as road 3.
// The prescribed DOFs are left out of the graph (-1 in the element lists), their diagonal set
// to 1 and their values eliminated from the load. Each skyline solution is compared with
// road 1's.
//
// For each road it prints the processor time of each step, the solver's own time, and the
// relative residual of the solution against the assembled matrix kept aside before the
// boundary conditions were imposed: with u the solution (prescribed values in place) and F the
// free (not prescribed) DOFs,
//     ||K u - f||_F / ||f||_F = sqrt(sum_{i in F} ((K u)_i - f_i)^2) / sqrt(sum_{i in F} f_i^2),
// and the largest |u_d - g_d| over the prescribed DOFs d (0 when each holds its value exactly).
//
// Usage: fem_roads [nx ny]   (elements along the plate and across it; default 200 50)
// The reorderings write their script file Reord.m into the system's temporary directory.
// Exit status 0 when both roads solve, every prescribed DOF holds its value exactly, and the
// residuals and the differences between the roads stay below 1e-8 (the plate's stiffness matrix
// is ill-conditioned: a backward-stable solve leaves a residual of about 1e-10 here), else 1.
#include "fem/Problems.h"
#include "fem/Roads.h"

#include <tarvel/Tarvel.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace
{

double seconds_since(long start) { return static_cast<double>(TarvelClock() - start) * 0.001; }

// y = K u from the rows of the system matrix; with upperOnly each stored entry right of the
// diagonal also stands for its mirror image.
std::vector<double> multiply(const CSystSpMat& K, const std::vector<double>& u, bool upperOnly)
{
    std::vector<double> y(u.size(), 0.0);
    for (int i = 0; i < K.m_nRowArraySize; ++i)
        for (const CSparseMatrix::cell* c = K.m_pRowArray[i].m_pFirstCell; c; c = c->m_pNext)
        {
            y[i] += c->m_dValue * u[c->m_nCol];
            if (upperOnly && c->m_nCol != i) y[c->m_nCol] += c->m_dValue * u[i];
        }
    return y;
}

// One road; returns the solution.
std::vector<double> take_road(tarvel_fem::FemProblem& p, bool upperOnly, bool& ok)
{
    const int n = static_cast<int>(p.num_dofs);
    const int k = p.dofs_per_element;
    std::printf("%s\n",
                upperOnly
                    ? "Road 1: upper triangle (m_bSym = true), SymUnifyAndZero, Cholesky_Solve"
                    : "Road 2: full storage (m_bSym = false), UnifyAndZero2, LU_Solve");

    // -- Assemble: one AddValues per element --
    CVirtMat::m_bSym = upperOnly;
    long start = TarvelClock();
    CSystSpMat K(n);
    for (long e = 0; e < p.num_elements(); ++e) K.AddValues(p.dofs(e), p.matrix(e), k);
    std::printf("  assembly (AddValues)      %8.3f s   %ld stored entries\n", seconds_since(start),
                tarvel_fem::stored_entries(K));
    const CSystSpMat assembled(K);  // kept aside for the residual

    // -- The right-hand side and the prescribed DOFs (index and value at equal positions) --
    CMatrix B(n, 1, true, 0.0);
    for (int i = 0; i < n; ++i) B(i, 0) = p.load[i];
    const int m = static_cast<int>(p.fixed_dofs.size());
    CVector dofs(m, true, 0.0), values(m, true, 0.0);
    for (int t = 0; t < m; ++t)
    {
        dofs[t] = static_cast<double>(p.fixed_dofs[t]);
        values[t] = p.fixed_values[t];
    }
    start = TarvelClock();
    if (upperOnly)
        K.SymUnifyAndZero(dofs, values, &B);
    else
        K.UnifyAndZero2(dofs, values, &B);
    std::printf("  boundary conditions       %8.3f s\n", seconds_since(start));

    // -- Solve; the solution replaces B --
    double solveSeconds = 0.0;
    const int status =
        upperOnly ? K.Cholesky_Solve(&B, solveSeconds) : K.LU_Solve(&B, solveSeconds);
    std::printf("  %-25s %8.3f s   %ld stored entries in the factors\n",
                upperOnly ? "Cholesky_Solve" : "LU_Solve", solveSeconds,
                tarvel_fem::stored_entries(K));
    std::vector<double> u(B.m_pData, B.m_pData + n);
    if (status != 1)
    {
        std::printf("  the factorization failed (%d)\n", status);
        ok = false;
        return u;
    }

    // -- Check against the assembled matrix --
    std::vector<char> prescribed(static_cast<size_t>(n), 0);
    double worstPrescribed = 0.0;
    for (int t = 0; t < m; ++t)
    {
        prescribed[p.fixed_dofs[t]] = 1;
        worstPrescribed =
            std::max(worstPrescribed, std::fabs(u[p.fixed_dofs[t]] - p.fixed_values[t]));
    }
    const std::vector<double> Ku = multiply(assembled, u, upperOnly);
    double rr = 0.0, ff = 0.0;
    for (int i = 0; i < n; ++i)
        if (!prescribed[i])
        {
            rr += (Ku[i] - p.load[i]) * (Ku[i] - p.load[i]);
            ff += p.load[i] * p.load[i];
        }
    const double residual = std::sqrt(rr / ff);
    std::printf("  ||K u - f|| / ||f|| on the %d free rows: %.3e\n", n - m, residual);
    std::printf("  largest |u_d - g_d| on the %d prescribed DOFs: %g\n", m, worstPrescribed);
    std::printf("  tip deflection u_y(L, H/2): %.9e m\n", u[p.probe_dof]);
    ok = ok && residual < 1e-8 && worstPrescribed == 0.0;
    return u;
}

// -- The skyline road --

// max |u - v| / max |v|
double relative_difference(const std::vector<double>& u, const std::vector<double>& v)
{
    double diff = 0.0, size = 0.0;
    for (size_t i = 0; i < u.size(); ++i)
    {
        diff = std::max(diff, std::fabs(u[i] - v[i]));
        size = std::max(size, std::fabs(v[i]));
    }
    return diff / size;
}

// Solves through the skyline matrix sized from g (PostReorder done), DOF d numbered number[d]
// and labelled g.f_v(number[d]); returns the solution by DOF (empty when it fails).
std::vector<double> skyline_solve(tarvel_fem::FemProblem& p, CReorderMat& g,
                                  const std::vector<long>& number)
{
    // -- Size and assemble by labels --
    const long start = TarvelClock();
    CSkylineMatrix K;
    CMatrix B;
    if (!tarvel_fem::assemble_skyline(K, B, p, g, number))
    {
        std::printf("  the profile could not be allocated\n");
        return {};
    }
    std::printf("  Allocate(graph), AddValues %8.3f s   %d stored entries\n", seconds_since(start),
                K.m_nValues);

    // -- Solve and read back through the labels --
    double seconds = 0.0;
    if (K.Cholesky_Solve(&B, seconds) != 1) return {};
    std::printf("  Cholesky_Solve            %8.3f s\n", seconds);
    return tarvel_fem::solution_by_dof(B, g, number);
}

// Solves through the skyline matrix and compares with road 1's solution u1.
void check_skyline(tarvel_fem::FemProblem& p, CReorderMat& g, const std::vector<long>& number,
                   const std::vector<double>& u1, bool& ok)
{
    const std::vector<double> u = skyline_solve(p, g, number);
    if (u.empty())
    {
        std::printf("  FAILED\n");
        ok = false;
        return;
    }
    const double diff = relative_difference(u, u1);
    std::printf("  agreement with road 1: max |u - u1| / max |u1| = %.3e\n", diff);
    ok = ok && diff < 1e-8;
}

void print_measures(const char* when, CReorderMat& g)
{
    int row = 0;
    std::printf("  %-7s bandwidth %6d, envelope %10d\n", when, g.GetB(row), g.Env(nullptr));
}

// Road 3 on the plate p, with road 1's solution u1.
void skyline_road(tarvel_fem::FemProblem& p, const std::vector<double>& u1, bool& ok)
{
    std::vector<long> number(static_cast<size_t>(p.num_dofs));
    for (long d = 0; d < p.num_dofs; ++d) number[d] = d;
    std::printf("Road 3: graph under the identity labelling, skyline matrix, Cholesky_Solve\n");
    CReorderMat identity(0);
    tarvel_fem::build_free_graph(identity, p, number);
    identity.PostReorder();
    print_measures("", identity);
    check_skyline(p, identity, number, u1, ok);
}

// Road 4 on the plate p, with road 1's solution u1.
void reordered_roads(tarvel_fem::FemProblem& p, const std::vector<double>& u1, bool& ok)
{
    const int n = static_cast<int>(p.num_dofs);
    std::vector<long> number(static_cast<size_t>(n));
    for (int d = 0; d < n; ++d) number[d] = d;

    // Scramble the DOF numbers: a Fisher-Yates shuffle drawn from the library's generator.
    TarvelSrand(2024);
    for (int i = n - 1; i > 0; --i)
    {
        const long draw = static_cast<long>(TarvelRand()) * (TARVEL_RAND_MAX + 1L) + TarvelRand();
        std::swap(number[i], number[draw % (i + 1)]);
    }
    CReorderMat scrambled(1);
    tarvel_fem::build_free_graph(scrambled, p, number);
    std::printf("\nThe DOF numbers scrambled, then each reordering\n");
    print_measures("before", scrambled);

    for (const tarvel_fem::NamedReordering& r : tarvel_fem::reorderings())
    {
        // TabuReorder2 only improves a labelling it is given: here it starts from Hager3's.
        const bool afterHager3 = std::string(r.name) == "TabuReorder2";
        std::printf("\n%s%s\n", afterHager3 ? "Hager3, then " : "", r.name);
        CReorderMat g(scrambled);
        const long start = TarvelClock();
        if (afterHager3) g.Hager3();
        r.run(g);
        g.PostReorder();
        std::printf("  reordering                %8.3f s\n", seconds_since(start));
        print_measures("after", g);
        double values = 0.0, work = 0.0;
        tarvel_fem::profile_of(g, values, work);
        if (work > 2e10)  // a minute of factorization or more: the profile is near full
        {
            std::printf("  profile of %.0f values, %.2g multiply-adds: solve skipped\n", values,
                        2.0 * work);
            continue;
        }
        check_skyline(p, g, number, u1, ok);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    int nx = tarvel_fem::kDemoPlateNx, ny = tarvel_fem::kDemoPlateNy;
    if (argc == 3)
    {
        nx = std::atoi(argv[1]);
        ny = std::atoi(argv[2]);
    }
    if (nx < 2 || ny < 1)
    {
        std::fprintf(stderr, "usage: fem_roads [nx ny]   (nx >= 2, ny >= 1 elements)\n");
        return 2;
    }
    // The library's timing reports (LU_Solve shows one) are printed in line with the rest.
    AfxSetMessageBoxHandler(
        [](const CString& text, UINT)
        {
            std::printf("  report:\n    ");
            for (const char* c = text.GetString(); *c; ++c)
                if (*c == '\n')
                    std::printf("\n    ");
                else if (*c != '\r')
                    std::putchar(*c);
            std::printf("\n");
            return IDOK;
        });

    tarvel_fem::FemProblem p = tarvel_fem::cantilever_plate(nx, ny);
    const int nonZero = static_cast<int>(std::count_if(p.fixed_values.begin(), p.fixed_values.end(),
                                                       [](double g) { return g != 0.0; }));
    std::printf("Plane-stress plate: %d x %d four-node elements, %ld DOFs, %zu prescribed "
                "(%d of them non-zero)\n\n",
                nx, ny, p.num_dofs, p.fixed_dofs.size(), nonZero);

    bool ok = true;
    const std::vector<double> u1 = take_road(p, true, ok);
    std::printf("\n");
    const std::vector<double> u2 = take_road(p, false, ok);
    double diff = 0.0, size = 0.0;
    for (size_t i = 0; i < u1.size(); ++i)
    {
        diff = std::max(diff, std::fabs(u1[i] - u2[i]));
        size = std::max(size, std::fabs(u1[i]));
    }
    std::printf("\nThe two roads agree to max |u1 - u2| / max |u1| = %.3e\n", diff / size);
    ok = ok && diff / size < 1e-8;

    const std::filesystem::path script = std::filesystem::temp_directory_path() / "Reord.m";
    CReorderMat::SetScriptPath(script.string().c_str());
    std::printf("\n");
    skyline_road(p, u1, ok);

    // Every reordering's labelling is solved, so road 4 takes a plate small enough for the
    // worst of them (a profile near full), after road 1 on it for reference.
    tarvel_fem::FemProblem q =
        tarvel_fem::cantilever_plate(std::max(2, nx / 4), std::max(1, ny / 4));
    std::printf("\nRoad 4: a plate of %d x %d elements, %ld DOFs, its DOF numbers scrambled; "
                "road 1 on it first\n",
                std::max(2, nx / 4), std::max(1, ny / 4), q.num_dofs);
    const std::vector<double> q1 = take_road(q, true, ok);
    reordered_roads(q, q1, ok);
    std::printf("%s\n", ok ? "OK" : "FAILED");
    return ok ? 0 : 1;
}
