// The system, skyline, cg and gs roads, phase by phase (choices in DemoRoads.h).
#include "DemoRoads.h"

#include "Print.h"
#include "fem/Roads.h"
#include "fem/TarvelInput.h"

#include <algorithm>
#include <cmath>

namespace tarvel_demo
{
namespace
{

using tarvel_fem::FemProblem;

std::vector<double> column(const CMatrix& B) { return {B.m_pData, B.m_pData + B.GetRows()}; }

// Counts the factor of K before it is made and prints it; "" when it fits under maxFactor
// entries, else why the road is not solved.
std::string check_factor_size(const CSystSpMat& K, long long maxFactor, std::ostream& out)
{
    const long start = TarvelClock();
    const LONGLONG entries = CholeskyFactorSize(K);
    if (entries < 0) return "not solved: no storage to count the factor's entries";
    const double megabytes = static_cast<double>(entries) * kFactorEntryBytes / 1048576.0;
    phase(out, "CholeskyFactorSize", seconds_since(start),
          format("%lld entries expected in the factor (%.0f MB)", entries, megabytes));
    if (entries <= maxFactor) return "";
    return format("not solved: the factor would hold %lld entries (%.0f MB), more than the "
                  "limit of %lld (--max-factor raises it)",
                  entries, megabytes, maxFactor);
}

}  // namespace

void prepare_system(CSystSpMat& K, CMatrix& B, FemProblem& p, std::ostream& out,
                    const CReorderMat* labels)
{
    CVirtMat::m_bSym = true;
    long start = TarvelClock();
    int dims[] = {static_cast<int>(p.num_dofs)};
    K.Allocate(dims, 1);
    auto label = [labels](long d) { return labels ? labels->f_v(static_cast<int>(d)) : d; };
    if (!labels) tarvel_fem::assemble(K, p);
    std::vector<long> rows(static_cast<std::size_t>(p.dofs_per_element));
    for (long e = 0; labels && e < p.num_elements(); ++e)
    {
        for (std::size_t a = 0; a < rows.size(); ++a) rows[a] = label(p.dofs(e)[a]);
        K.AddValues(rows.data(), p.matrix(e), p.dofs_per_element);
    }
    phase(out, "AddValues", seconds_since(start),
          format("%ld stored entries", tarvel_fem::stored_entries(K)));
    B = tarvel_fem::load_matrix(p);
    for (long d = 0; labels && d < p.num_dofs; ++d) B(label(d), 0) = p.load[d];
    CVector dofs, values;
    tarvel_fem::prescribed_vectors(p, dofs, values);
    for (int t = 0; t < dofs.GetSize(); ++t) dofs[t] = label(static_cast<long>(dofs[t]));
    start = TarvelClock();
    K.SymUnifyAndZero(dofs, values, &B);
    phase(out, "SymUnifyAndZero", seconds_since(start),
          format("%zu prescribed DOFs", p.fixed_dofs.size()));
}

void reorder_graph(const FemProblem& p, const std::string& reordering, ReorderedGraph& g,
                   std::ostream& out)
{
    g.reordering = reordering;
    long start = TarvelClock();
    tarvel_fem::build_free_graph(g.graph, p);
    long couplings = 0;
    for (int u = 0; u < g.graph.GetRows(); ++u) couplings += g.graph.m_pLength[u];
    phase(out, "InsertDOFs, Init, InsertDOFs", seconds_since(start),
          format("%ld free DOFs, %ld couplings",
                 p.num_dofs - static_cast<long>(p.fixed_dofs.size()), couplings / 2));
    int row = 0;
    double work = 0.0;
    g.bandwidthBefore = g.graph.GetB(row);
    g.envelopeBefore = g.graph.Env64(nullptr);
    tarvel_fem::profile_of(g.graph, g.profileBefore, work);

    start = TarvelClock();
    for (const auto& r : tarvel_fem::reorderings())
        if (reordering == r.name) r.run(g.graph);
    g.graph.PostReorder();
    if (reordering != "none") phase(out, reordering, seconds_since(start));
    g.bandwidthAfter = g.graph.GetB(row);
    g.envelopeAfter = g.graph.Env64(nullptr);
    tarvel_fem::profile_of(g.graph, g.profileAfter, g.workAfter);
    out << format("  %-24s bandwidth %d, envelope %lld, profile %.0f\n",
                  "mesh numbering:", g.bandwidthBefore, g.envelopeBefore, g.profileBefore)
        << format("  %-24s bandwidth %d, envelope %lld, profile %.0f\n",
                  (reordering == "none" ? "no reordering:" : "after " + reordering + ":").c_str(),
                  g.bandwidthAfter, g.envelopeAfter, g.profileAfter)
        << std::flush;
}

RoadOutcome system_road(FemProblem& p, std::ostream& out, long long maxFactor,
                        const CReorderMat* labels)
{
    out << "system road: CSystSpMat, m_bSym = true, SymUnifyAndZero, Cholesky_Solve"
        << (labels ? ", DOFs relabelled by the reordering\n" : "\n");
    RoadOutcome r;
    r.road = Road::System;
    CSystSpMat K;
    CMatrix B;
    prepare_system(K, B, p, out, labels);
    r.failure = check_factor_size(K, maxFactor, out);
    if (!r.failure.empty()) return r;
    double seconds = 0.0;
    const int status = K.Cholesky_Solve(&B, seconds);
    if (status != 1)
    {
        r.failure = format("Cholesky_Solve returned %d: %s", status,
                           K.LastFactorFailure() == CSparseMatrix::FactorFailure::OutOfMemory
                               ? "out of memory"
                               : "the matrix is not positive definite");
        return r;
    }
    phase(out, "Cholesky_Solve", seconds,
          format("%ld stored entries in the factor", tarvel_fem::stored_entries(K)));
    r.u = column(B);
    for (long d = 0; labels && d < p.num_dofs; ++d) r.u[d] = B(labels->f_v(static_cast<int>(d)), 0);
    return r;
}

RoadOutcome skyline_road(FemProblem& p, ReorderedGraph& g, std::ostream& out)
{
    RoadOutcome r;
    r.road = Road::Skyline;
    if (g.workAfter > kMaxSkylineWork)
    {
        r.failure = format("not solved: the profile of %.0f entries would take about %.1e "
                           "multiply-adds to factorize",
                           g.profileAfter, g.workAfter);
        return r;
    }
    const long start = TarvelClock();
    CSkylineMatrix K;
    CMatrix B;
    if (!tarvel_fem::assemble_skyline(K, B, p, g.graph))
    {
        r.failure = format("the profile of %.0f entries could not be allocated", g.profileAfter);
        return r;
    }
    phase(out, "Allocate(graph), AddValues", seconds_since(start),
          format("%d stored entries", K.m_nValues));
    double seconds = 0.0;
    const int status = K.Cholesky_Solve(&B, seconds);
    if (status != 1)
    {
        r.failure = format("Cholesky_Solve returned %d", status);
        return r;
    }
    phase(out, "Cholesky_Solve", seconds);
    r.u = tarvel_fem::solution_by_dof(B, g.graph);
    return r;
}

RoadOutcome cg_road(FemProblem& p, std::ostream& out)
{
    out << "cg road: CSystSpMat, m_bSym = true, SymUnifyAndZero, ConjGradient2\n";
    RoadOutcome r;
    r.road = Road::Cg;
    CSystSpMat K;
    CMatrix B;
    prepare_system(K, B, p, out);
    const int n = static_cast<int>(p.num_dofs);
    const int maxIter = 2 * n;
    const double tol = 1e-24;
    double res = 0.0;
    CVector times;
    const long start = TarvelClock();
    const int iterations = K.ConjGradient2(B, res, maxIter, tol, &times, true);
    phase(out, "ConjGradient2 (scaled)", seconds_since(start),
          format("%d iterations of at most %d", iterations, maxIter));
    if (iterations >= maxIter)
    {
        r.failure = format("ConjGradient2 did not converge in %d iterations", maxIter);
        return r;
    }
    r.u = column(B);
    return r;
}

RoadOutcome gs_road(FemProblem& p, int maxSweeps, std::ostream& out)
{
    out << "gs road: CSystSpMat, m_bSym = true, SymUnifyAndZero, GaussSeidel_Iter\n";
    RoadOutcome r;
    r.road = Road::Gs;
    CSystSpMat K;
    CMatrix B;
    prepare_system(K, B, p, out);
    const int n = static_cast<int>(p.num_dofs);
    CVector b(n, true, 0.0), x(n, true, 0.0);
    double scale = 0.0;  // the largest |b_i / K_ii|: the first cell of an upper row is K_ii
    for (int i = 0; i < n; ++i)
    {
        b[i] = B(i, 0);
        if (const CSparseMatrix::cell* d = K.m_pRowArray[i].m_pFirstCell)
            scale = std::max(scale, std::fabs(b[i] / d->m_dValue));
    }
    const double tol = 1e-12 * scale;
    out << format("  note: Gauss-Seidel converges slowly on large problems; it stops after %d "
                  "sweeps\n",
                  maxSweeps);
    const long start = TarvelClock();
    const int status = K.GaussSeidel_Iter(b, x, tol, maxSweeps);
    phase(out, "GaussSeidel_Iter", seconds_since(start),
          status == 1
              ? format("converged: no change above %.1e", tol)
              : format("stopped after %d sweeps, changes still above %.1e", maxSweeps, tol));
    r.u.assign(x.m_pData, x.m_pData + n);  // judged by its residual, converged or not
    if (status != 1) r.unfinished = format("stopped after %d sweeps, not converged", maxSweeps);
    return r;
}

}  // namespace tarvel_demo
