// Tarvel's skyline cases: CSkylineMatrix::Cholesky_Solve on the profile of each labelling.
#include "BenchSupport.h"
#include "TarvelRoads.h"
#include "fem/TarvelInput.h"

#include <tarvel/Tarvel.h>

namespace tarvel_bench
{
namespace
{

// A skyline matrix sized from the graph and assembled with labels: the fixed DOFs are left out
// (-1), their diagonal set to 1, their values eliminated from the load element by element; B
// receives the labelled load.
std::unique_ptr<CSkylineMatrix> assemble_skyline(tarvel_fem::FemProblem& p, CReorderMat& graph,
                                                 CMatrix& B)
{
    auto S = std::make_unique<CSkylineMatrix>();
    S->Allocate(graph);
    const int k = p.dofs_per_element;
    std::vector<long> labels(static_cast<std::size_t>(k));
    for (long e = 0; e < p.num_elements(); ++e)
    {
        p.free_dofs(e, labels.data());
        for (long& d : labels) d = d < 0 ? -1 : graph.f_v(static_cast<int>(d));
        S->AddValues(labels.data(), p.matrix(e), k);
    }
    for (long d : p.fixed_dofs)
    {
        const int l = graph.f_v(static_cast<int>(d));
        (*S)(l, l) = 1.0;  // a unit row: the solve returns the prescribed value itself
    }
    const std::vector<double> b = tarvel_fem::eliminated_load(p);
    B = CMatrix(static_cast<int>(p.num_dofs), 1, true, 0.0);
    for (long d = 0; d < p.num_dofs; ++d) B(graph.f_v(static_cast<int>(d)), 0) = b[d];
    return S;
}

void add_skyline_cases(const std::string& name)
{
    // -- Skyline: Cholesky_Solve of the profile matrix under each labelling --
    for (const std::string& method : labelling_methods())
        add_case({skyline_figure(method), "tarvel", name,
                  [name, method] { labelling(name, method); },
                  [name, method](benchmark::State& st)
                  {
                      tarvel_fem::FemProblem& p = problem(name);
                      CReorderMat& graph = benchmark_graph(name, method);
                      CMatrix B;
                      for (auto _ : st)
                      {
                          st.PauseTiming();
                          auto S = assemble_skyline(p, graph, B);
                          st.ResumeTiming();
                          double seconds = 0.0;
                          S->Cholesky_Solve(&B, seconds);
                          st.PauseTiming();
                          S.reset();
                          st.ResumeTiming();
                      }
                      std::vector<double> u(static_cast<std::size_t>(p.num_dofs));
                      for (long d = 0; d < p.num_dofs; ++d)
                          u[d] = B(graph.f_v(static_cast<int>(d)), 0);
                      st.counters["relres"] = check_residual(name, u.data());
                  },
                  [name, method]
                  {
                      CMatrix B;
                      auto S = assemble_skyline(problem(name), benchmark_graph(name, method), B);
                      double seconds = 0.0;
                      S->Cholesky_Solve(&B, seconds);
                  }});
}

// -- Time to solution: the whole skyline road from the element lists (graph, reordering,
// PostReorder, Allocate, assembly with labels, Cholesky_Solve), and the system-matrix road
// (assembly, SymUnifyAndZero, Cholesky_Solve) --
void add_solution_cases(const std::string& name)
{
    for (const std::string& method : solution_methods())
    {
        auto road = [name, method](CMatrix& B) -> std::unique_ptr<CReorderMat>
        {
            tarvel_fem::FemProblem& p = problem(name);
            std::unique_ptr<CReorderMat> graph = build_graph(p, method);
            auto S = assemble_skyline(p, *graph, B);
            double seconds = 0.0;
            S->Cholesky_Solve(&B, seconds);
            return graph;
        };
        add_case({"solution", "tarvel-skyline-" + method, name, [name] { problem(name); },
                  [name, road](benchmark::State& st)
                  {
                      CMatrix B;
                      std::unique_ptr<CReorderMat> graph;
                      for (auto _ : st) graph = road(B);
                      const tarvel_fem::FemProblem& p = problem(name);
                      std::vector<double> u(static_cast<std::size_t>(p.num_dofs));
                      for (long d = 0; d < p.num_dofs; ++d)
                          u[d] = B(graph->f_v(static_cast<int>(d)), 0);
                      st.counters["relres"] = check_residual(name, u.data());
                  },
                  [road]
                  {
                      CMatrix B;
                      road(B);
                  }});
    }
    auto system_road = [name](CMatrix& B)
    {
        tarvel_fem::FemProblem& p = problem(name);
        auto K = assemble_system(p);
        B = tarvel_fem::load_matrix(p);
        impose_prescribed(p, *K, B);
        double seconds = 0.0;
        K->Cholesky_Solve(&B, seconds);
    };
    add_case({"solution", "tarvel-system", name, [name] { problem(name); },
              [name, system_road](benchmark::State& st)
              {
                  CMatrix B;
                  for (auto _ : st) system_road(B);
                  st.counters["relres"] = check_residual(name, B.m_pData);
              },
              [system_road]
              {
                  CMatrix B;
                  system_road(B);
              }});
}

}  // namespace

void register_tarvel_skyline_cases()
{
    for (const std::string& name : problem_names()) add_skyline_cases(name);
    for (const std::string& name : problem_names()) add_solution_cases(name);
}

}  // namespace tarvel_bench
