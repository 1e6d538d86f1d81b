// Shared machinery of the benchmark program: the problems, the systems every method starts
// from, the case registry and the peak-memory meter.
//
// A case is one figure of docs/performance.md: "<figure>/<method>/<problem>", e.g.
// "direct/tarvel/poisson2d-100". Its timed function is a Google Benchmark body; its road runs
// the whole method once (matrix storage, factor or iteration, solution) for the memory meter,
// after prepare has built the inputs that all methods share.
#pragma once

#include "fem/Problems.h"

#include <benchmark/benchmark.h>
#include <functional>
#include <string>
#include <vector>

namespace tarvel_bench
{

// Names of the benchmarked problems, in table order.
const std::vector<std::string>& problem_names();
// The larger problems of the sparse direct solvers (10^5 to 10^6 DOFs, 2-D and 3-D), in table
// order: the plate ("plate-<nx>x<ny>"), the Hex8 elastic block ("elastic-<n>", n^3 elements)
// and the 3-D Poisson cube ("poisson3d-<n>").
const std::vector<std::string>& direct_problem_names();
// The problem of that name, built once.
tarvel_fem::FemProblem& problem(const std::string& name);

// The reduced system (prescribed DOFs imposed) in DOF numbering, built without the library by
// the reference of examples/fem: upper triangle with the diagonal, columns ascending (row_start
// has n + 1 entries), exact zeros (the removed couplings to fixed DOFs) left out, and its
// right-hand side. It is the matrix the library's SymUnifyAndZero leaves; the peers start
// from it, and every method's answer is checked against it (check_residual).
struct UpperSystem
{
    int n = 0;
    std::vector<int> row_start;
    std::vector<int> col;
    std::vector<double> val;
    std::vector<double> rhs;
};
const UpperSystem& reduced_system(const std::string& name);

// Relative residual ||K u - b|| / ||b|| of a solution in DOF numbering against the independent
// reference of examples/fem (its own assembly and elimination).
double check_residual(const std::string& name, const double* u);

// Backward error ||A x - b||_inf / (||A||_inf ||x||_inf + ||b||_inf) of x for the symmetric
// matrix whose upper triangle s holds; b has s.n entries.
double backward_error(const UpperSystem& s, const double* x, const double* b);

// Sets the number of threads of the BLAS when it is OpenBLAS (found at run time); does nothing
// with another BLAS, whose threads the environment then sets.
void set_blas_threads(int n);

// A labelling of the DOF graph for the profile and band solvers: label[dof], and its measures.
// Three are benchmarked (labelling_methods): "natural", the mesh's own row-by-row numbering (the
// graph built and finished without a reordering), and "Hager2" and "Hager3", the library's two
// backward labellings by score.
struct Labelling
{
    std::string method;
    std::vector<int> label;
    long envelope = 0;   // the graph's Env: sum over DOFs of the distance to the farthest label
    int bandwidth = 0;   // kd: the largest such distance
    long profile = 0;    // entries a skyline matrix stores: sum of the column heights
    double seconds = 0;  // time the reordering took
};
const Labelling& labelling(const std::string& name, const std::string& method);
inline const std::vector<std::string>& labelling_methods()
{
    static const std::vector<std::string> methods = {"natural", "Hager2", "Hager3"};
    return methods;
}
// The skyline roads of the time-to-solution figure: the labellings above and the two profile
// reductions, whose reordering is cheap enough to pay for itself in one solve.
inline const std::vector<std::string>& solution_methods()
{
    static const std::vector<std::string> methods = []
    {
        std::vector<std::string> m = labelling_methods();
        m.insert(m.end(), {"RevCuthillMcKee", "Sloan"});
        return m;
    }();
    return methods;
}
// The figure of the profile-solver comparison under a labelling: "skyline" for the mesh
// order, "skyline-<method>" otherwise.
inline std::string skyline_figure(const std::string& method)
{
    return method == "natural" ? "skyline" : "skyline-" + method;
}

// Convergence test shared by both conjugate-gradient methods: ||r_k|| / ||b|| < kCgRelative,
// which the library states as ||r_k||^2 / ||b||^2 < kCgRelative^2.
constexpr double kCgRelative = 1e-6;
constexpr int kCgMaxIter = 5000;

struct Case
{
    std::string figure;
    std::string method;
    std::string problem;
    std::function<void()> prepare;
    std::function<void(benchmark::State&)> timed;
    std::function<void()> road;  // empty: no memory figure for this case
    int repetitions = 0;         // 0: the command line's --benchmark_repetitions
    bool process_cpu = false;    // CPU time of every thread of the process, not the caller's
    bool wall_clock = false;     // timed by wall-clock time (a case running several threads)

    std::string name() const { return figure + "/" + method + "/" + problem; }
};
void add_case(Case c);
std::vector<Case>& cases();

// Registration, one function per benchmark file.
void register_tarvel_cases();
void register_tarvel_skyline_cases();
void register_eigen_cases();
void register_cholmod_cases();
void register_lapack_cases();
void register_system_reordered_cases();
void register_supernodal_cases();

// Peak memory: heap pages the process gained above its resident size at reset_peak().
void reset_peak();
long peak_kib();

}  // namespace tarvel_bench
