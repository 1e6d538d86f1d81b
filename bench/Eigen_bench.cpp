// Eigen's cases: triplet assembly, SimplicialLDLT with natural ordering (the fill of the
// library's system-matrix Cholesky), and ConjugateGradient with the library's stopping test.
#include "BenchSupport.h"

#ifdef TARVEL_BENCH_EIGEN

#include <Eigen/IterativeLinearSolvers>
#include <Eigen/OrderingMethods>
#include <Eigen/SparseCholesky>
#include <Eigen/SparseCore>

namespace tarvel_bench
{
namespace
{

using ColMatrix = Eigen::SparseMatrix<double, Eigen::ColMajor, int>;
using RowMatrix = Eigen::SparseMatrix<double, Eigen::RowMajor, int>;
using Vector = Eigen::VectorXd;

// The element matrices' upper triangle in global numbering (what the library's AddValues keeps
// with m_bSym), summed by setFromTriplets.
ColMatrix assemble_triplets(const tarvel_fem::FemProblem& p)
{
    const int k = p.dofs_per_element;
    std::vector<Eigen::Triplet<double, int>> t;
    t.reserve(static_cast<std::size_t>(p.num_elements()) * k * (k + 1) / 2);
    for (long e = 0; e < p.num_elements(); ++e)
    {
        const long* d = p.dofs(e);
        const double* ke = p.matrix(e);
        for (int a = 0; a < k; ++a)
            for (int b = 0; b < k; ++b)
                if (d[a] <= d[b])
                    t.emplace_back(static_cast<int>(d[a]), static_cast<int>(d[b]), ke[a * k + b]);
    }
    ColMatrix K(static_cast<int>(p.num_dofs), static_cast<int>(p.num_dofs));
    K.setFromTriplets(t.begin(), t.end());
    return K;
}

// The reduced system as Eigen matrices: its upper triangle, or both triangles.
template <class Matrix> Matrix from_upper(const UpperSystem& s, bool both)
{
    std::vector<Eigen::Triplet<double, int>> t;
    t.reserve(s.val.size() * (both ? 2 : 1));
    for (int i = 0; i < s.n; ++i)
        for (int q = s.row_start[i]; q < s.row_start[i + 1]; ++q)
        {
            t.emplace_back(i, s.col[q], s.val[q]);
            if (both && s.col[q] != i) t.emplace_back(s.col[q], i, s.val[q]);
        }
    Matrix A(s.n, s.n);
    A.setFromTriplets(t.begin(), t.end());
    return A;
}

Vector rhs_of(const UpperSystem& s) { return Eigen::Map<const Vector>(s.rhs.data(), s.n); }

using NaturalLDLT = Eigen::SimplicialLDLT<ColMatrix, Eigen::Upper, Eigen::NaturalOrdering<int>>;

// Eigen's test is ||r|| < tol ||b||: tol = kCgRelative is the library's ||r||^2 / ||b||^2 <
// kCgRelative^2. Both count iterations from zero and stop in the one that meets the test.
template <class Solver, class Matrix>
void run_cg(benchmark::State& st, const std::string& name, const Matrix& A)
{
    const Vector b = rhs_of(reduced_system(name));
    Vector x;
    long products = 0;
    for (auto _ : st)
    {
        Solver cg;
        cg.setTolerance(kCgRelative);
        cg.setMaxIterations(kCgMaxIter);
        cg.compute(A);
        x = cg.solve(b);
        products = cg.iterations() < kCgMaxIter ? cg.iterations() + 1 : kCgMaxIter;
    }
    st.counters["products"] = static_cast<double>(products);
    st.counters["relres"] = check_residual(name, x.data());
}

void add_eigen_cases(const std::string& name)
{
    add_case({"assembly", "eigen-triplets", name, [name] { problem(name); },
              [name](benchmark::State& st)
              {
                  for (auto _ : st)
                  {
                      ColMatrix K = assemble_triplets(problem(name));
                      benchmark::DoNotOptimize(K.valuePtr());
                      st.PauseTiming();
                      K = ColMatrix();
                      st.ResumeTiming();
                  }
              },
              [name] { ColMatrix K = assemble_triplets(problem(name)); }});

    add_case({"direct", "eigen-ldlt-natural", name, [name] { reduced_system(name); },
              [name](benchmark::State& st)
              {
                  const UpperSystem& s = reduced_system(name);
                  const ColMatrix A = from_upper<ColMatrix>(s, false);
                  const Vector b = rhs_of(s);
                  Vector x;
                  for (auto _ : st)
                  {
                      NaturalLDLT ldlt;
                      ldlt.compute(A);
                      if (ldlt.info() != Eigen::Success) st.SkipWithError("not SPD");
                      x = ldlt.solve(b);
                  }
                  st.counters["relres"] = check_residual(name, x.data());
              },
              [name]
              {
                  const UpperSystem& s = reduced_system(name);
                  const ColMatrix A = from_upper<ColMatrix>(s, false);
                  NaturalLDLT ldlt(A);
                  Vector x = ldlt.solve(rhs_of(s));
              }});

    using Identity = Eigen::IdentityPreconditioner;
    using Jacobi = Eigen::DiagonalPreconditioner<double>;
    using CgUpper = Eigen::ConjugateGradient<ColMatrix, Eigen::Upper, Identity>;
    using CgFull = Eigen::ConjugateGradient<RowMatrix, Eigen::Lower | Eigen::Upper, Identity>;
    using CgJacobi = Eigen::ConjugateGradient<RowMatrix, Eigen::Lower | Eigen::Upper, Jacobi>;

    add_case({"cg", "eigen-cg-upper", name, [name] { reduced_system(name); },
              [name](benchmark::State& st)
              { run_cg<CgUpper>(st, name, from_upper<ColMatrix>(reduced_system(name), false)); },
              [name]
              {
                  const UpperSystem& s = reduced_system(name);
                  const ColMatrix A = from_upper<ColMatrix>(s, false);
                  CgUpper cg;
                  cg.setTolerance(kCgRelative);
                  cg.setMaxIterations(kCgMaxIter);
                  Vector x = cg.compute(A).solve(rhs_of(s));
              }});
    add_case({"cg", "eigen-cg-full", name, [name] { reduced_system(name); },
              [name](benchmark::State& st)
              { run_cg<CgFull>(st, name, from_upper<RowMatrix>(reduced_system(name), true)); },
              [name]
              {
                  const UpperSystem& s = reduced_system(name);
                  const RowMatrix A = from_upper<RowMatrix>(s, true);
                  CgFull cg;
                  cg.setTolerance(kCgRelative);
                  cg.setMaxIterations(kCgMaxIter);
                  Vector x = cg.compute(A).solve(rhs_of(s));
              }});
    add_case({"cg-scaled", "eigen-cg-jacobi", name, [name] { reduced_system(name); },
              [name](benchmark::State& st)
              { run_cg<CgJacobi>(st, name, from_upper<RowMatrix>(reduced_system(name), true)); },
              [name]
              {
                  const UpperSystem& s = reduced_system(name);
                  const RowMatrix A = from_upper<RowMatrix>(s, true);
                  CgJacobi cg;
                  cg.setTolerance(kCgRelative);
                  cg.setMaxIterations(kCgMaxIter);
                  Vector x = cg.compute(A).solve(rhs_of(s));
              }});
}

}  // namespace

void register_eigen_cases()
{
    for (const std::string& name : problem_names()) add_eigen_cases(name);
}

}  // namespace tarvel_bench

#else

void tarvel_bench::register_eigen_cases() {}

#endif
