// The direct road on the plane-stress cantilever plate (clamped along x = 0, a shear traction on
// x = L, a prop prescribing a vertical displacement): the system matrix assembled as for
// Cholesky_Solve (m_bSym = true, AddValues per element, SymUnifyAndZero), then solved by the
// supernodal Cholesky of Tarvel::Direct:
//
//   CSupernodalCholesky chol;            // orderAuto: AMD or METIS, whichever fills less
//   chol.SetThreads(threads);
//   chol.Analyze(K);                      // ordering and symbolic factorization, once per pattern
//   chol.Factorize(K);                    // numeric factorization, again for new values
//   chol.Solve(B);                        // B overwritten by the solution
//
// It prints the size of the factor, the processor time of each step and the relative residual
// ||K u - b|| / ||b|| of the solution against the independent assembly of examples/fem
// (fem/Reference.h), boundary conditions imposed by elimination.
//
// Usage: direct_solve [nx ny [threads]]   (elements along and across; default 200 50, 1 thread)
// Exit status 0 when every step succeeds and the residual is below 1e-8 (the plate's stiffness
// matrix is ill-conditioned: a backward-stable solve leaves about 1e-10), else 1.
#include "fem/Problems.h"
#include "fem/Reference.h"
#include "fem/TarvelInput.h"

#include <tarvel/Tarvel.h>

#include <cstdio>
#include <cstdlib>
#include <tarvel-direct/SupernodalCholesky.h>

namespace
{

double seconds_since(long start) { return static_cast<double>(TarvelClock() - start) * 0.001; }

}  // namespace

int main(int argc, char** argv)
{
    const int nx = argc > 2 ? std::atoi(argv[1]) : tarvel_fem::kDemoPlateNx;
    const int ny = argc > 2 ? std::atoi(argv[2]) : tarvel_fem::kDemoPlateNy;
    const int threads = argc > 3 ? std::atoi(argv[3]) : 1;
    if (nx < 2 || ny < 1)
    {
        std::fprintf(stderr, "usage: direct_solve [nx ny [threads]] with nx >= 2, ny >= 1\n");
        return 1;
    }
    tarvel_fem::FemProblem p = tarvel_fem::cantilever_plate(nx, ny);
    std::printf("plate %d x %d elements, %ld DOFs, %d thread(s)\n", nx, ny, p.num_dofs, threads);

    // -- The system matrix: upper triangle, prescribed DOFs imposed --
    long start = TarvelClock();
    CVirtMat::m_bSym = true;
    CSystSpMat K(static_cast<int>(p.num_dofs));
    tarvel_fem::assemble(K, p);
    CMatrix B = tarvel_fem::load_matrix(p);
    CVector dofs, values;
    tarvel_fem::prescribed_vectors(p, dofs, values);
    K.SymUnifyAndZero(dofs, values, &B);
    std::printf("assembly          %8.3f s\n", seconds_since(start));

    // -- The direct solver: analysis, factorization, solve --
    AfxSetMessageBoxHandler([](const CString&, UINT) { return IDOK; });  // its timing report
    CSupernodalCholesky chol;
    chol.SetThreads(threads);
    start = TarvelClock();
    if (chol.Analyze(K) != 1)
    {
        std::printf("Analyze failed: %s\n", chol.LastFailure().GetString());
        return 1;
    }
    std::printf("analysis          %8.3f s  (factor: %lld entries, %.3g multiply-adds)\n",
                seconds_since(start), static_cast<long long>(chol.FactorEntries()),
                chol.FactorFlops());
    start = TarvelClock();
    if (chol.Factorize(K) != 1)
    {
        std::printf("Factorize failed: %s\n", chol.LastFailure().GetString());
        return 1;
    }
    std::printf("factorization     %8.3f s\n", seconds_since(start));
    start = TarvelClock();
    if (chol.Solve(B) != 1)
    {
        std::printf("Solve failed: %s\n", chol.LastFailure().GetString());
        return 1;
    }
    std::printf("solve             %8.3f s\n", seconds_since(start));

    // -- The residual against the reference assembly --
    const tarvel_fem::ReducedSystem ref = tarvel_fem::reduce(p);
    const double residual = tarvel_fem::relative_residual(ref.K, B.m_pData, ref.b);
    std::printf("tip deflection    %.6e m\n", B(static_cast<int>(p.probe_dof), 0));
    std::printf("relative residual %.3e\n", residual);
    return residual < 1e-8 ? 0 : 1;
}
