// The direct road: the system road's matrix factorized by CSupernodalCholesky (Tarvel::Direct),
// its own fill-reducing ordering chosen by the solver; compiled when CMake finds the component.
#include "DemoRoads.h"
#include "Print.h"

#include <tarvel-direct/SupernodalCholesky.h>

namespace tarvel_demo
{
namespace
{

std::string failed(const char* step, const CSupernodalCholesky& solver)
{
    const std::string why = solver.LastFailure().GetString();
    return std::string(step) + " failed: " + (why.empty() ? "no reason given" : why);
}

}  // namespace

bool direct_built_in() { return true; }

RoadOutcome direct_road(tarvel_fem::FemProblem& p, std::ostream& out)
{
    out << "direct road: CSystSpMat, m_bSym = true, SymUnifyAndZero, CSupernodalCholesky\n";
    RoadOutcome r;
    r.road = Road::Direct;
    CSystSpMat K;
    CMatrix B;
    prepare_system(K, B, p, out);
    CSupernodalCholesky solver;
    long start = TarvelClock();
    if (solver.Analyze(K) != 1)
    {
        r.failure = failed("Analyze", solver);
        return r;
    }
    phase(out, "Analyze", seconds_since(start),
          format("%lld entries expected in the factor, %.2e multiply-adds", solver.FactorEntries(),
                 solver.FactorFlops()));
    start = TarvelClock();
    if (solver.Factorize(K) != 1)
    {
        r.failure = failed("Factorize", solver);
        return r;
    }
    phase(out, "Factorize", seconds_since(start));
    start = TarvelClock();
    if (solver.Solve(B) != 1)
    {
        r.failure = failed("Solve", solver);
        return r;
    }
    phase(out, "Solve", seconds_since(start));
    r.u.assign(B.m_pData, B.m_pData + B.GetRows());
    return r;
}

}  // namespace tarvel_demo
