// The supernodal sparse Cholesky of Tarvel::Direct (CSupernodalCholesky) side by side with
// CHOLMOD's default (its own choice of ordering, supernodal) on the larger problems of
// direct_problem_names(), both on the same BLAS; and the one-core dgemm rate the numeric
// factorizations are measured against.
//
// Figures, each for method "tarvel" and "cholmod" (one thread, the BLAS on one thread):
//   sn-solve/...     analysis + factorization + one solve, the matrix already stored
//   sn-refactor/...  factorization of new values on the analysed pattern
//   sn-solve100/...  a solve with 100 right-hand sides from the factor
//   sn-refactor-2t/... the refactorization on two threads (CSupernodalCholesky::SetThreads(2);
//                    CHOLMOD through two BLAS threads), timed by wall-clock time
//   dgemm/openblas/2000  C = A B, 2000 x 2000, one thread
// Counters: the backward error ||A x - b||_inf / (||A||_inf ||x||_inf + ||b||_inf) ("berr"), the
// factor's entries ("factor": structural non-zeros of L, diagonal included, for both), the
// multiply-adds of the factorization ("madds"; CHOLMOD's flop count is halved to match), and
// the CPU seconds of each phase of sn-solve ("analyze_s", "factor_s", "solve_s").
#include "BenchSupport.h"

#include <tarvel/Tarvel.h>

#include <algorithm>
#include <ctime>
#include <map>
#include <memory>
#include <random>

#ifdef TARVEL_BENCH_DIRECT
#include <tarvel-direct/SupernodalCholesky.h>
#endif
#ifdef TARVEL_BENCH_CHOLMOD
#include <cholmod.h>
#endif

#ifdef TARVEL_BENCH_LAPACK
extern "C" void dgemm_(const char* transa, const char* transb, const int* m, const int* n,
                       const int* k, const double* alpha, const double* a, const int* lda,
                       const double* b, const int* ldb, const double* beta, double* c,
                       const int* ldc);
#endif

namespace tarvel_bench
{
namespace
{

constexpr int kRhs = 100;  // right-hand sides of sn-solve100

// Problems of 3 10^5 DOFs and more take seconds to minutes per factorization: three
// repetitions each.
int repetitions_of(const std::string& name)
{
    return name == "plate-447x112" || name == "elastic-32" ? 0 : 3;
}

// CPU seconds of the whole process (all its threads).
double cpu_seconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// What every method of a problem starts from, beside its reduced system: the same system with
// new values (the diagonal raised by a tenth: the pattern kept, still positive definite) and
// kRhs right-hand sides, column-major: the load, then seeded random columns.
struct DirectInput
{
    std::vector<double> new_values;
    std::vector<double> rhs;  // n x kRhs, column-major
};

const DirectInput& direct_input(const std::string& name)
{
    static std::map<std::string, DirectInput> built;
    auto it = built.find(name);
    if (it != built.end()) return it->second;
    const UpperSystem& s = reduced_system(name);
    DirectInput in;
    in.new_values = s.val;
    for (int i = 0; i < s.n; ++i) in.new_values[s.row_start[i]] *= 1.1;  // the row's diagonal
    in.rhs.resize(static_cast<std::size_t>(s.n) * kRhs);
    std::copy(s.rhs.begin(), s.rhs.end(), in.rhs.begin());
    std::mt19937 gen(20261206);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (std::size_t q = s.rhs.size(); q < in.rhs.size(); ++q) in.rhs[q] = u(gen);
    return built.emplace(name, std::move(in)).first->second;
}

// The largest backward error over the kRhs columns of x (column-major, as the right-hand sides).
double backward_error_of_columns(const std::string& name, const double* x)
{
    const UpperSystem& s = reduced_system(name);
    const double* b = direct_input(name).rhs.data();
    double worst = 0.0;
    for (std::size_t j = 0; j < kRhs; ++j)
        worst = std::max(worst, backward_error(s, x + j * s.n, b + j * s.n));
    return worst;
}

#ifdef TARVEL_BENCH_DIRECT

// The reduced system as a CSparseMatrix holding the upper triangle (values: s.val, or the new
// values), built once per problem.
const CSparseMatrix& tarvel_matrix(const std::string& name, bool new_values)
{
    static std::map<std::string, std::unique_ptr<CSparseMatrix>> built;
    auto& slot = built[name + (new_values ? "/new" : "")];
    if (!slot)
    {
        const UpperSystem& s = reduced_system(name);
        const std::vector<double>& val = new_values ? direct_input(name).new_values : s.val;
        slot = std::make_unique<CSparseMatrix>();
        CSparseMatrix::row* r = nullptr;
        for (int i = 0; i < s.n; ++i)
        {
            CSparseMatrix::cell* c = nullptr;  // the cursor walks one row
            for (int q = s.row_start[i]; q < s.row_start[i + 1]; ++q)
                slot->Add(i, s.col[q], val[q], r, c);
        }
    }
    return *slot;
}

// One analysis + factorization + solve of the load on one thread, in a new solver.
struct TarvelSolve
{
    bool ok = false;
    CString failure;
    std::vector<double> x;
    double seconds[3] = {0.0, 0.0, 0.0};  // CPU time of Analyze, Factorize, Solve
    LONGLONG factor = 0;
    double madds = 0.0;
};

TarvelSolve tarvel_solve(const std::string& name)
{
    const UpperSystem& s = reduced_system(name);
    const CSparseMatrix& A = tarvel_matrix(name, false);
    TarvelSolve out;
    CVector b(s.n);
    std::copy(s.rhs.begin(), s.rhs.end(), b.m_pData);
    CSupernodalCholesky chol;
    const double t0 = cpu_seconds();
    if (chol.Analyze(A) != 1)
    {
        out.failure = chol.LastFailure();
        return out;
    }
    const double t1 = cpu_seconds();
    if (chol.Factorize(A) != 1)
    {
        out.failure = chol.LastFailure();
        return out;
    }
    const double t2 = cpu_seconds();
    if (chol.Solve(b) != 1)
    {
        out.failure = chol.LastFailure();
        return out;
    }
    out.seconds[0] = t1 - t0;
    out.seconds[1] = t2 - t1;
    out.seconds[2] = cpu_seconds() - t2;
    out.factor = chol.FactorEntries();
    out.madds = chol.FactorFlops();
    out.x.assign(b.m_pData, b.m_pData + s.n);
    out.ok = true;
    return out;
}

void add_tarvel_cases(const std::string& name)
{
    const int reps = repetitions_of(name);
    auto prepare = [name]
    {
        tarvel_matrix(name, false);
        tarvel_matrix(name, true);
    };

    // -- Analysis + factorization + one solve --
    Case solve{"sn-solve",
               "tarvel",
               name,
               prepare,
               [name](benchmark::State& st)
               {
                   set_blas_threads(1);
                   TarvelSolve run;
                   double phase[3] = {0.0, 0.0, 0.0};
                   for (auto _ : st)
                   {
                       run = tarvel_solve(name);
                       if (!run.ok)
                       {
                           st.SkipWithError(run.failure.GetString());
                           return;
                       }
                       for (int k = 0; k < 3; ++k) phase[k] += run.seconds[k];
                   }
                   const double it = static_cast<double>(st.iterations());
                   const UpperSystem& s = reduced_system(name);
                   st.counters["analyze_s"] = phase[0] / it;
                   st.counters["factor_s"] = phase[1] / it;
                   st.counters["solve_s"] = phase[2] / it;
                   st.counters["factor"] = static_cast<double>(run.factor);
                   st.counters["madds"] = run.madds;
                   st.counters["dofs"] = s.n;
                   st.counters["entries"] = static_cast<double>(s.val.size());
                   st.counters["berr"] = backward_error(s, run.x.data(), s.rhs.data());
               },
               [name] { tarvel_solve(name); }};
    solve.repetitions = reps;
    solve.process_cpu = true;
    add_case(solve);

    // -- Refactorization with new values, on one and on two threads --
    for (int threads : {1, 2})
    {
        Case refactor{threads == 1 ? "sn-refactor" : "sn-refactor-2t",
                      "tarvel",
                      name,
                      prepare,
                      [name, threads](benchmark::State& st)
                      {
                          set_blas_threads(threads);
                          CSupernodalCholesky chol;
                          chol.SetThreads(threads);
                          const CSparseMatrix& A2 = tarvel_matrix(name, true);
                          if (chol.Analyze(tarvel_matrix(name, false)) != 1 ||
                              chol.Factorize(tarvel_matrix(name, false)) != 1)
                          {
                              st.SkipWithError(chol.LastFailure().GetString());
                              return;
                          }
                          for (auto _ : st)
                              if (chol.Factorize(A2) != 1)
                              {
                                  st.SkipWithError(chol.LastFailure().GetString());
                                  return;
                              }
                          // The new values' solution, against the new values.
                          UpperSystem s2 = reduced_system(name);
                          s2.val = direct_input(name).new_values;
                          CVector b(s2.n);
                          std::copy(s2.rhs.begin(), s2.rhs.end(), b.m_pData);
                          chol.Solve(b);
                          st.counters["berr"] = backward_error(s2, b.m_pData, s2.rhs.data());
                      },
                      {}};
        refactor.repetitions = reps;
        refactor.process_cpu = true;
        refactor.wall_clock = threads > 1;
        add_case(refactor);
    }

    // -- 100 right-hand sides from the factor --
    Case many{"sn-solve100",
              "tarvel",
              name,
              prepare,
              [name](benchmark::State& st)
              {
                  set_blas_threads(1);
                  CSupernodalCholesky chol;
                  const CSparseMatrix& A = tarvel_matrix(name, false);
                  if (chol.Analyze(A) != 1 || chol.Factorize(A) != 1)
                  {
                      st.SkipWithError(chol.LastFailure().GetString());
                      return;
                  }
                  const std::vector<double>& rhs = direct_input(name).rhs;
                  const int n = reduced_system(name).n;
                  CMatrix B(n, kRhs);
                  for (auto _ : st)
                  {
                      st.PauseTiming();
                      for (int i = 0; i < n; ++i)  // row-major from column-major
                          for (int j = 0; j < kRhs; ++j)
                              B.m_pData[static_cast<std::size_t>(i) * kRhs + j] =
                                  rhs[static_cast<std::size_t>(j) * n + i];
                      st.ResumeTiming();
                      if (chol.Solve(B) != 1)
                      {
                          st.SkipWithError(chol.LastFailure().GetString());
                          return;
                      }
                  }
                  std::vector<double> x(rhs.size());
                  for (int i = 0; i < n; ++i)
                      for (int j = 0; j < kRhs; ++j)
                          x[static_cast<std::size_t>(j) * n + i] =
                              B.m_pData[static_cast<std::size_t>(i) * kRhs + j];
                  st.counters["berr"] = backward_error_of_columns(name, x.data());
              },
              {}};
    many.repetitions = reps;
    many.process_cpu = true;
    add_case(many);
}

#endif  // TARVEL_BENCH_DIRECT

#ifdef TARVEL_BENCH_CHOLMOD

// CHOLMOD's handles on one problem: its common block (default ordering choice, supernodal
// forced, which its automatic choice also takes on these problems) and the matrix, the lower
// triangle read from the upper-triangle rows (stype -1). Freed at the end of the scope.
struct CholmodRun
{
    cholmod_common c;
    cholmod_sparse* A = nullptr;
    cholmod_factor* L = nullptr;

    explicit CholmodRun(const std::string& name, bool new_values = false)
    {
        cholmod_start(&c);
        c.supernodal = CHOLMOD_SUPERNODAL;
        const UpperSystem& s = reduced_system(name);
        const std::vector<double>& val = new_values ? direct_input(name).new_values : s.val;
        A = cholmod_allocate_sparse(s.n, s.n, val.size(), 1, 1, -1, CHOLMOD_REAL, &c);
        std::copy(s.row_start.begin(), s.row_start.end(), static_cast<int*>(A->p));
        std::copy(s.col.begin(), s.col.end(), static_cast<int*>(A->i));
        std::copy(val.begin(), val.end(), static_cast<double*>(A->x));
    }
    ~CholmodRun()
    {
        cholmod_free_factor(&L, &c);
        cholmod_free_sparse(&A, &c);
        cholmod_finish(&c);
    }
    CholmodRun(const CholmodRun&) = delete;
    CholmodRun& operator=(const CholmodRun&) = delete;

    bool analyze_and_factorize()
    {
        cholmod_free_factor(&L, &c);
        L = cholmod_analyze(A, &c);
        return L && cholmod_factorize(A, L, &c) && c.status == CHOLMOD_OK;
    }
    // Solves for the n x k column-major b into x (n x k); false when CHOLMOD fails.
    bool solve(const double* b, int k, std::vector<double>& x)
    {
        const std::size_t n = A->nrow;
        cholmod_dense* B = cholmod_allocate_dense(n, k, n, CHOLMOD_REAL, &c);
        std::copy(b, b + n * k, static_cast<double*>(B->x));
        cholmod_dense* X = cholmod_solve(CHOLMOD_A, L, B, &c);
        if (X) x.assign(static_cast<double*>(X->x), static_cast<double*>(X->x) + n * k);
        cholmod_free_dense(&X, &c);
        cholmod_free_dense(&B, &c);
        return !x.empty();
    }
};

void add_cholmod_direct_cases(const std::string& name)
{
    const int reps = repetitions_of(name);
    auto prepare = [name] { direct_input(name); };

    // -- Analysis + factorization + one solve --
    Case solve{"sn-solve",
               "cholmod",
               name,
               prepare,
               [name](benchmark::State& st)
               {
                   set_blas_threads(1);
                   CholmodRun run(name);
                   const UpperSystem& s = reduced_system(name);
                   cholmod_dense* b = cholmod_allocate_dense(s.n, 1, s.n, CHOLMOD_REAL, &run.c);
                   std::copy(s.rhs.begin(), s.rhs.end(), static_cast<double*>(b->x));
                   double phase[3] = {0.0, 0.0, 0.0};
                   std::vector<double> x;
                   bool ok = true;
                   for (auto _ : st)
                   {
                       const double t0 = cpu_seconds();
                       cholmod_factor* L = cholmod_analyze(run.A, &run.c);
                       const double t1 = cpu_seconds();
                       ok = L && cholmod_factorize(run.A, L, &run.c) && run.c.status == CHOLMOD_OK;
                       const double t2 = cpu_seconds();
                       cholmod_dense* X = ok ? cholmod_solve(CHOLMOD_A, L, b, &run.c) : nullptr;
                       phase[0] += t1 - t0;
                       phase[1] += t2 - t1;
                       phase[2] += cpu_seconds() - t2;
                       st.PauseTiming();
                       if (X)
                           x.assign(static_cast<double*>(X->x), static_cast<double*>(X->x) + s.n);
                       if (L && L->is_super) st.counters["stored"] = static_cast<double>(L->xsize);
                       st.ResumeTiming();
                       cholmod_free_dense(&X, &run.c);
                       cholmod_free_factor(&L, &run.c);
                       if (!ok) break;
                   }
                   cholmod_free_dense(&b, &run.c);
                   if (!ok || x.empty())
                   {
                       st.SkipWithError("CHOLMOD failed");
                       return;
                   }
                   const double it = static_cast<double>(st.iterations());
                   st.counters["analyze_s"] = phase[0] / it;
                   st.counters["factor_s"] = phase[1] / it;
                   st.counters["solve_s"] = phase[2] / it;
                   st.counters["factor"] = run.c.lnz;
                   st.counters["madds"] = run.c.fl / 2.0;  // its flop count: a multiply, an add
                   st.counters["ordering"] = run.c.method[run.c.selected].ordering;
                   st.counters["dofs"] = s.n;
                   st.counters["entries"] = static_cast<double>(s.val.size());
                   st.counters["berr"] = backward_error(s, x.data(), s.rhs.data());
               },
               [name]
               {
                   CholmodRun run(name);
                   std::vector<double> x;
                   if (run.analyze_and_factorize())
                       run.solve(reduced_system(name).rhs.data(), 1, x);
               }};
    solve.repetitions = reps;
    solve.process_cpu = true;
    add_case(solve);

    // -- Refactorization with new values, on one and on two BLAS threads --
    for (int threads : {1, 2})
    {
        Case refactor{threads == 1 ? "sn-refactor" : "sn-refactor-2t",
                      "cholmod",
                      name,
                      prepare,
                      [name, threads](benchmark::State& st)
                      {
                          set_blas_threads(threads);
                          CholmodRun run(name);
                          CholmodRun next(name, true);  // its matrix: the new values
                          if (!run.analyze_and_factorize())
                          {
                              st.SkipWithError("CHOLMOD failed");
                              return;
                          }
                          for (auto _ : st)
                              if (!cholmod_factorize(next.A, run.L, &run.c) ||
                                  run.c.status != CHOLMOD_OK)
                              {
                                  st.SkipWithError("CHOLMOD failed");
                                  return;
                              }
                          UpperSystem s2 = reduced_system(name);
                          s2.val = direct_input(name).new_values;
                          std::vector<double> x;
                          run.solve(s2.rhs.data(), 1, x);
                          st.counters["berr"] = backward_error(s2, x.data(), s2.rhs.data());
                      },
                      {}};
        refactor.repetitions = reps;
        refactor.process_cpu = true;
        refactor.wall_clock = threads > 1;
        add_case(refactor);
    }

    // -- 100 right-hand sides from the factor --
    Case many{"sn-solve100",
              "cholmod",
              name,
              prepare,
              [name](benchmark::State& st)
              {
                  set_blas_threads(1);
                  CholmodRun run(name);
                  if (!run.analyze_and_factorize())
                  {
                      st.SkipWithError("CHOLMOD failed");
                      return;
                  }
                  const std::vector<double>& rhs = direct_input(name).rhs;
                  const std::size_t n = run.A->nrow;
                  cholmod_dense* B = cholmod_allocate_dense(n, kRhs, n, CHOLMOD_REAL, &run.c);
                  std::copy(rhs.begin(), rhs.end(), static_cast<double*>(B->x));
                  std::vector<double> x;
                  for (auto _ : st)
                  {
                      cholmod_dense* X = cholmod_solve(CHOLMOD_A, run.L, B, &run.c);
                      st.PauseTiming();
                      if (X)
                          x.assign(static_cast<double*>(X->x),
                                   static_cast<double*>(X->x) + n * kRhs);
                      cholmod_free_dense(&X, &run.c);
                      st.ResumeTiming();
                  }
                  cholmod_free_dense(&B, &run.c);
                  if (x.empty())
                  {
                      st.SkipWithError("CHOLMOD failed");
                      return;
                  }
                  st.counters["berr"] = backward_error_of_columns(name, x.data());
              },
              {}};
    many.repetitions = reps;
    many.process_cpu = true;
    add_case(many);
}

#endif  // TARVEL_BENCH_CHOLMOD

#ifdef TARVEL_BENCH_LAPACK

// The one-core rate of the BLAS's best kernel: C = A B, 2000 x 2000 (2 n^3 flops).
void add_dgemm_case()
{
    add_case({"dgemm",
              "openblas",
              "2000",
              [] {},
              [](benchmark::State& st)
              {
                  set_blas_threads(1);
                  const int n = 2000;
                  const double one = 1.0, zero = 0.0;
                  std::vector<double> a(static_cast<std::size_t>(n) * n), b(a.size()), c(a.size());
                  std::mt19937 gen(1);
                  std::uniform_real_distribution<double> u(-1.0, 1.0);
                  for (double& v : a) v = u(gen);
                  for (double& v : b) v = u(gen);
                  for (auto _ : st)
                  {
                      dgemm_("N", "N", &n, &n, &n, &one, a.data(), &n, b.data(), &n, &zero,
                             c.data(), &n);
                      benchmark::DoNotOptimize(c.data());
                  }
                  st.counters["flops"] = 2.0 * n * n * static_cast<double>(n);
              },
              {}});
}

#endif

}  // namespace

void register_supernodal_cases()
{
#ifdef TARVEL_BENCH_LAPACK
    add_dgemm_case();
#endif
    for (const std::string& name : direct_problem_names())
    {
#ifdef TARVEL_BENCH_DIRECT
        add_tarvel_cases(name);
#endif
#ifdef TARVEL_BENCH_CHOLMOD
        add_cholmod_direct_cases(name);
#endif
        (void)name;
    }
}

}  // namespace tarvel_bench
