// LAPACK's case: the band Cholesky dpbtrf and its solve dpbtrs on the reduced system under the
// same labelling as the library's skyline matrix, the half-bandwidth kd being that labelling's
// bandwidth.
#include "BenchSupport.h"

#ifdef TARVEL_BENCH_LAPACK

#include <algorithm>
#include <cstddef>
#include <cstdlib>

extern "C"
{
    // Fortran interfaces; the trailing arguments are the hidden lengths of the character ones.
    void dpbtrf_(const char* uplo, const int* n, const int* kd, double* ab, const int* ldab,
                 int* info, std::size_t uplo_len);
    void dpbtrs_(const char* uplo, const int* n, const int* kd, const int* nrhs, const double* ab,
                 const int* ldab, double* b, const int* ldb, int* info, std::size_t uplo_len);
}

namespace tarvel_bench
{
namespace
{

// Upper band storage of LAPACK, column-major: A(i, j), i <= j <= i + kd, at
// ab[kd + i - j + j * (kd + 1)], with i and j labels.
struct Band
{
    int n = 0;
    int kd = 0;
    std::vector<double> ab;
    std::vector<double> b;
};

Band labelled_band(const UpperSystem& s, const Labelling& l)
{
    Band band;
    band.n = s.n;
    for (int i = 0; i < s.n; ++i)
        for (int q = s.row_start[i]; q < s.row_start[i + 1]; ++q)
            band.kd = std::max(band.kd, std::abs(l.label[i] - l.label[s.col[q]]));
    const int ld = band.kd + 1;
    band.ab.assign(static_cast<std::size_t>(ld) * s.n, 0.0);
    for (int i = 0; i < s.n; ++i)
        for (int q = s.row_start[i]; q < s.row_start[i + 1]; ++q)
        {
            const int a = l.label[i], c = l.label[s.col[q]];
            const int r = std::min(a, c), j = std::max(a, c);
            band.ab[static_cast<std::size_t>(band.kd + r - j) + static_cast<std::size_t>(j) * ld] =
                s.val[q];
        }
    band.b.resize(static_cast<std::size_t>(s.n));
    for (int i = 0; i < s.n; ++i) band.b[l.label[i]] = s.rhs[i];
    return band;
}

// Factorizes and solves in place; false when dpbtrf finds the matrix not positive definite.
bool band_solve(Band& band)
{
    const int ld = band.kd + 1, one = 1;
    int info = 0;
    dpbtrf_("U", &band.n, &band.kd, band.ab.data(), &ld, &info, 1);
    if (info != 0) return false;
    dpbtrs_("U", &band.n, &band.kd, &one, band.ab.data(), &ld, band.b.data(), &band.n, &info, 1);
    return info == 0;
}

// A band so wide that one factorization takes minutes (n kd^2 flops) is not run: the table
// shows no figure for it.
bool too_wide(const Labelling& l)
{
    return static_cast<double>(l.label.size()) * l.bandwidth * l.bandwidth > 2e10;
}

void add_lapack_cases(const std::string& name, const std::string& method)
{
    add_case({skyline_figure(method), "lapack-band", name,
              [name, method]
              {
                  reduced_system(name);
                  labelling(name, method);
              },
              [name, method](benchmark::State& st)
              {
                  const Labelling& l = labelling(name, method);
                  if (too_wide(l))
                  {
                      st.SkipWithError("band too wide to factorize in reasonable time");
                      for (auto _ : st)
                      {
                      }
                      return;
                  }
                  Band band;
                  for (auto _ : st)
                  {
                      st.PauseTiming();
                      band = labelled_band(reduced_system(name), l);
                      st.ResumeTiming();
                      if (!band_solve(band)) st.SkipWithError("dpbtrf failed");
                  }
                  std::vector<double> u(static_cast<std::size_t>(band.n));
                  for (int i = 0; i < band.n; ++i) u[i] = band.b[l.label[i]];
                  st.counters["relres"] = check_residual(name, u.data());
                  st.counters["kd"] = band.kd;
              },
              [name, method]
              {
                  if (too_wide(labelling(name, method))) return;
                  Band band = labelled_band(reduced_system(name), labelling(name, method));
                  band_solve(band);
              }});
}

}  // namespace

void register_lapack_cases()
{
    for (const std::string& method : labelling_methods())
        for (const std::string& name : problem_names()) add_lapack_cases(name, method);
}

}  // namespace tarvel_bench

#else

void tarvel_bench::register_lapack_cases() {}

#endif
