// CHOLMOD's cases on the reduced system: analyse, factorize and solve, once with the natural
// ordering (the library's fill) and once with CHOLMOD's own choice of ordering and method.
#include "BenchSupport.h"

#ifdef TARVEL_BENCH_CHOLMOD

#include <cholmod.h>

namespace tarvel_bench
{
namespace
{

// Runs one analyse-factorize-solve on a CHOLMOD copy of the system and returns x (n values).
// The upper-triangle rows of UpperSystem are, read as columns, the lower triangle: stype -1.
std::vector<double> cholmod_solve(const UpperSystem& s, bool natural, bool& ok)
{
    cholmod_common c;
    cholmod_start(&c);
    if (natural)
    {
        c.nmethods = 1;
        c.method[0].ordering = CHOLMOD_NATURAL;
        c.postorder = 0;
    }
    const std::size_t nnz = s.val.size();
    cholmod_sparse* A = cholmod_allocate_sparse(s.n, s.n, nnz, 1, 1, -1, CHOLMOD_REAL, &c);
    std::copy(s.row_start.begin(), s.row_start.end(), static_cast<int*>(A->p));
    std::copy(s.col.begin(), s.col.end(), static_cast<int*>(A->i));
    std::copy(s.val.begin(), s.val.end(), static_cast<double*>(A->x));
    cholmod_dense* b = cholmod_allocate_dense(s.n, 1, s.n, CHOLMOD_REAL, &c);
    std::copy(s.rhs.begin(), s.rhs.end(), static_cast<double*>(b->x));

    cholmod_factor* L = cholmod_analyze(A, &c);
    ok = cholmod_factorize(A, L, &c) && c.status == CHOLMOD_OK;
    cholmod_dense* x = cholmod_solve(CHOLMOD_A, L, b, &c);
    std::vector<double> out(static_cast<const double*>(x->x),
                            static_cast<const double*>(x->x) + s.n);
    cholmod_free_dense(&x, &c);
    cholmod_free_factor(&L, &c);
    cholmod_free_dense(&b, &c);
    cholmod_free_sparse(&A, &c);
    cholmod_finish(&c);
    return out;
}

void add_cholmod_cases(const std::string& name)
{
    for (bool natural : {true, false})
        add_case({"direct", natural ? "cholmod-natural" : "cholmod-default", name,
                  [name] { reduced_system(name); },
                  [name, natural](benchmark::State& st)
                  {
                      std::vector<double> x;
                      bool ok = true;
                      for (auto _ : st) x = cholmod_solve(reduced_system(name), natural, ok);
                      if (!ok) st.SkipWithError("factorization failed");
                      st.counters["relres"] = check_residual(name, x.data());
                  },
                  [name, natural]
                  {
                      bool ok = true;
                      cholmod_solve(reduced_system(name), natural, ok);
                  }});
}

}  // namespace

void register_cholmod_cases()
{
    for (const std::string& name : problem_names()) add_cholmod_cases(name);
}

}  // namespace tarvel_bench

#else

void tarvel_bench::register_cholmod_cases() {}

#endif
