// Tarvel's cases on the system matrix: assembly through AddValues, Cholesky_Solve and
// ConjGradient2; and the labellings, which come from the library's DOF graph.
#include "BenchSupport.h"
#include "TarvelRoads.h"
#include "fem/TarvelInput.h"

#include <tarvel/Tarvel.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <numeric>

namespace tarvel_bench
{

std::unique_ptr<CSystSpMat> assemble_system(tarvel_fem::FemProblem& p)
{
    CVirtMat::m_bSym = true;
    auto K = std::make_unique<CSystSpMat>(static_cast<int>(p.num_dofs));
    tarvel_fem::assemble(*K, p);
    return K;
}

void impose_prescribed(const tarvel_fem::FemProblem& p, CSystSpMat& K, CMatrix& B)
{
    CVector dofs, values;
    tarvel_fem::prescribed_vectors(p, dofs, values);
    K.SymUnifyAndZero(dofs, values, &B);
}

std::unique_ptr<CReorderMat> build_graph(const tarvel_fem::FemProblem& p, const std::string& method)
{
    static const std::string script =
        (std::filesystem::temp_directory_path() / "tarvel-bench-Reord.m").string();
    CReorderMat::SetScriptPath(script.c_str());
    auto g = std::make_unique<CReorderMat>(1);
    const int k = p.dofs_per_element;
    std::vector<long> dofs(static_cast<std::size_t>(k));
    g->Alloc(static_cast<int>(p.num_dofs));
    for (int pass : {0, 1})
    {
        for (long e = 0; e < p.num_elements(); ++e)
        {
            p.free_dofs(e, dofs.data());
            g->InsertDOFs(dofs.data(), pass, k);
        }
        if (pass == 0) g->Init();
    }
    if (method == "MinDegReorder2")
        g->MinDegReorder2();
    else if (method == "MinDegReorder3")
        g->MinDegReorder3();
    else if (method == "MinDegReorder4")
        g->MinDegReorder4();
    else if (method == "Hager1")
        g->Hager1();
    else if (method == "Hager2")
        g->Hager2();
    else if (method == "Hager3")
        g->Hager3();
    g->PostReorder();
    return g;
}

namespace
{

struct ReducedTarvel
{
    std::unique_ptr<CSystSpMat> K;
    CMatrix B;
};

// The system matrix after SymUnifyAndZero and its load column, built once per problem.
ReducedTarvel& reduced_tarvel(const std::string& name)
{
    static std::map<std::string, ReducedTarvel> built;
    auto it = built.find(name);
    if (it == built.end())
    {
        tarvel_fem::FemProblem& p = problem(name);
        ReducedTarvel r;
        r.K = assemble_system(p);
        r.B = tarvel_fem::load_matrix(p);
        impose_prescribed(p, *r.K, r.B);
        it = built.emplace(name, std::move(r)).first;
    }
    return it->second;
}

std::map<std::string, Labelling>& labellings()
{
    static std::map<std::string, Labelling> all;
    return all;
}

}  // namespace

CReorderMat& benchmark_graph(const std::string& name, const std::string& method)
{
    static std::map<std::string, std::unique_ptr<CReorderMat>> built;
    auto& g = built[name + "/" + method];
    if (!g)
    {
        const auto t0 = std::chrono::steady_clock::now();
        g = build_graph(problem(name), method);
        Labelling l;
        l.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        l.method = method;
        const int n = g->GetRows();
        l.label.resize(static_cast<std::size_t>(n));
        for (int d = 0; d < n; ++d) l.label[d] = g->f_v(d);
        int maxB = 0;
        l.envelope = g->Env(&maxB);
        l.bandwidth = maxB;
        // Column heights as the skyline matrix sizes them: column L reaches up to the lowest
        // label coupled with it.
        std::vector<int> peak(static_cast<std::size_t>(n));
        std::iota(peak.begin(), peak.end(), 0);  // the diagonal
        const UpperSystem& s = reduced_system(name);
        for (int i = 0; i < s.n; ++i)
            for (int q = s.row_start[i]; q < s.row_start[i + 1]; ++q)
            {
                const int a = l.label[i], b = l.label[s.col[q]];
                peak[std::max(a, b)] = std::min(peak[std::max(a, b)], std::min(a, b));
            }
        for (int L = 0; L < n; ++L) l.profile += L - peak[L] + 1;
        labellings()[name + "/" + method] = std::move(l);
    }
    return *g;
}

const Labelling& labelling(const std::string& name, const std::string& method)
{
    benchmark_graph(name, method);
    return labellings()[name + "/" + method];
}

namespace
{

void add_tarvel_cases(const std::string& name)
{
    // -- Assembly: CSystSpMat(n) and AddValues per element (upper triangle) --
    add_case({"assembly", "tarvel", name, [name] { problem(name); },
              [name](benchmark::State& st)
              {
                  for (auto _ : st)
                  {
                      auto K = assemble_system(problem(name));
                      benchmark::DoNotOptimize(K.get());
                      st.PauseTiming();
                      K.reset();
                      st.ResumeTiming();
                  }
              },
              [name] { auto K = assemble_system(problem(name)); }});

    // -- Direct: Cholesky_Solve on the reduced system matrix (factorize and solve) --
    add_case({"direct", "tarvel", name, [name] { problem(name); },
              [name](benchmark::State& st)
              {
                  tarvel_fem::FemProblem& p = problem(name);
                  CMatrix B;
                  for (auto _ : st)
                  {
                      st.PauseTiming();
                      auto K = assemble_system(p);
                      B = tarvel_fem::load_matrix(p);
                      impose_prescribed(p, *K, B);
                      st.ResumeTiming();
                      double seconds = 0.0;
                      if (K->Cholesky_Solve(&B, seconds) != 1) st.SkipWithError("not SPD");
                      st.PauseTiming();
                      K.reset();
                      st.ResumeTiming();
                  }
                  st.counters["relres"] = check_residual(name, B.m_pData);
              },
              [name]
              {
                  tarvel_fem::FemProblem& p = problem(name);
                  auto K = assemble_system(p);
                  CMatrix B = tarvel_fem::load_matrix(p);
                  impose_prescribed(p, *K, B);
                  double seconds = 0.0;
                  K->Cholesky_Solve(&B, seconds);
              }});

    // -- Conjugate gradients: ConjGradient2 from zero, plain and diagonally scaled --
    for (bool scale : {false, true})
    {
        add_case({scale ? "cg-scaled" : "cg", "tarvel", name, [name] { reduced_tarvel(name); },
                  [name, scale](benchmark::State& st)
                  {
                      ReducedTarvel& r = reduced_tarvel(name);
                      CMatrix B;
                      int k = 0;
                      for (auto _ : st)
                      {
                          st.PauseTiming();
                          B = r.B;
                          st.ResumeTiming();
                          double res = 0.0;
                          k = r.K->ConjGradient2(B, res, kCgMaxIter, kCgRelative * kCgRelative,
                                                 nullptr, scale);
                      }
                      // k is the zero-based iteration that met the test: k + 1 products.
                      st.counters["products"] = k < kCgMaxIter ? k + 1 : kCgMaxIter;
                      st.counters["relres"] = check_residual(name, B.m_pData);
                  },
                  [name, scale]
                  {
                      tarvel_fem::FemProblem& p = problem(name);
                      auto K = assemble_system(p);
                      CMatrix B = tarvel_fem::load_matrix(p);
                      impose_prescribed(p, *K, B);
                      double res = 0.0;
                      K->ConjGradient2(B, res, kCgMaxIter, kCgRelative * kCgRelative, nullptr,
                                       scale);
                  }});
    }
}

}  // namespace

void register_tarvel_cases()
{
    for (const std::string& name : problem_names()) add_tarvel_cases(name);
}

}  // namespace tarvel_bench
