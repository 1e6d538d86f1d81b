// The typical road of a finite-element solve with the system matrix, taken twice on a
// plane-stress plate meshed with four-node elements: clamped along x = 0, loaded by a shear
// traction on x = L, and pushed by a prop that prescribes a non-zero vertical displacement.
//
//   Road 1: m_bSym = true (upper triangle), AddValues per element, SymUnifyAndZero, Cholesky_Solve
//   Road 2: m_bSym = false (full storage), AddValues per element, UnifyAndZero2, LU_Solve
//
// For each road it prints the processor time of each step, the solver's own time, and the
// relative residual of the solution against the assembled matrix kept aside before the
// boundary conditions were imposed: with u the solution (prescribed values in place) and F the
// free (not prescribed) DOFs,
//     ||K u - f||_F / ||f||_F = sqrt(sum_{i in F} ((K u)_i - f_i)^2) / sqrt(sum_{i in F} f_i^2),
// and the largest |u_d - g_d| over the prescribed DOFs d (0 when each holds its value exactly).
//
// Usage: fem_roads [nx ny]   (elements along the plate and across it; default 200 50)
// Exit status 0 when both roads solve, every prescribed DOF holds its value exactly, and the
// residuals and the difference between the roads stay below 1e-8 (the plate's stiffness matrix
// is ill-conditioned: a backward-stable solve leaves a residual of about 1e-10 here), else 1.
#include "fem/Problems.h"

#include <tarvel/Tarvel.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
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

long stored_entries(const CSystSpMat& K)
{
    long count = 0;
    for (int i = 0; i < K.m_nRowArraySize; ++i)
        for (const CSparseMatrix::cell* c = K.m_pRowArray[i].m_pFirstCell; c; c = c->m_pNext)
            ++count;
    return count;
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
                stored_entries(K));
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
                upperOnly ? "Cholesky_Solve" : "LU_Solve", solveSeconds, stored_entries(K));
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
    std::printf("%s\n", ok ? "OK" : "FAILED");
    return ok ? 0 : 1;
}
