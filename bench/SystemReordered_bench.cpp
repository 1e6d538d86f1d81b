// The system-matrix road after a minimum-degree labelling: the DOFs are relabelled by one of the
// library's minimum-degree reorderings (the DOF graph of the free DOFs, PostReorder), the
// elements assembled into CSystSpMat under the labels, the prescribed DOFs imposed with
// SymUnifyAndZero, and Cholesky_Solve run. Timed: the whole road, reordering included. Counter
// "factor": the entries the factor holds (cells after the factorization), against which the
// natural numbering's fill is read.
#include "BenchSupport.h"
#include "TarvelRoads.h"
#include "fem/TarvelInput.h"

#include <tarvel/Tarvel.h>

namespace tarvel_bench
{
namespace
{

const std::vector<std::string>& minimum_degree_methods()
{
    static const std::vector<std::string> methods = {"natural", "MinDegReorder2", "MinDegReorder3",
                                                     "MinDegReorder4"};
    return methods;
}

struct ReorderedSolve
{
    std::unique_ptr<CReorderMat> graph;
    CMatrix B;        // the solution, rows in label order
    long factor = 0;  // cells of the factor
};

ReorderedSolve solve_reordered(tarvel_fem::FemProblem& p, const std::string& method)
{
    ReorderedSolve s;
    s.graph = build_graph(p, method);
    const CReorderMat& g = *s.graph;
    const int n = static_cast<int>(p.num_dofs), k = p.dofs_per_element;
    CVirtMat::m_bSym = true;
    CSystSpMat K(n);
    std::vector<long> labels(static_cast<std::size_t>(k));
    for (long e = 0; e < p.num_elements(); ++e)
    {
        const long* dofs = p.dofs(e);
        for (int a = 0; a < k; ++a) labels[a] = g.f_v(static_cast<int>(dofs[a]));
        K.AddValues(labels.data(), p.matrix(e), k);
    }
    s.B = CMatrix(n, 1, true, 0.0);
    for (int d = 0; d < n; ++d) s.B(g.f_v(d), 0) = p.load[d];
    CVector fixed, values;
    tarvel_fem::prescribed_vectors(p, fixed, values);
    for (int t = 0; t < fixed.GetSize(); ++t) fixed[t] = g.f_v(static_cast<int>(fixed[t]));
    K.SymUnifyAndZero(fixed, values, &s.B);
    double seconds = 0.0;
    K.Cholesky_Solve(&s.B, seconds);
    for (CSparseMatrix::row* r = K.GetFirstRow(); r; r = r->m_pNextRow)
        for (CSparseMatrix::cell* c = r->m_pFirstCell; c; c = c->m_pNext) ++s.factor;
    return s;
}

void add_reordered_cases(const std::string& name)
{
    for (const std::string& method : minimum_degree_methods())
        add_case({"system-reordered", "tarvel-" + method, name, [name] { problem(name); },
                  [name, method](benchmark::State& st)
                  {
                      tarvel_fem::FemProblem& p = problem(name);
                      ReorderedSolve s;
                      for (auto _ : st) s = solve_reordered(p, method);
                      std::vector<double> u(static_cast<std::size_t>(p.num_dofs));
                      for (long d = 0; d < p.num_dofs; ++d)
                          u[d] = s.B(s.graph->f_v(static_cast<int>(d)), 0);
                      st.counters["relres"] = check_residual(name, u.data());
                      st.counters["factor"] = static_cast<double>(s.factor);
                  },
                  [name, method] { solve_reordered(problem(name), method); }});
}

}  // namespace

void register_system_reordered_cases()
{
    // Not on the largest grid: MinDegReorder4 alone takes about 7 s of CPU time there, and the
    // three reorderings would dominate the whole run.
    for (const std::string& name : problem_names())
        if (name != "poisson2d-200") add_reordered_cases(name);
}

}  // namespace tarvel_bench
