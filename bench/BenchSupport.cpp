// Problems, reference residuals, the case registry and the peak-memory meter (BenchSupport.h).
#include "BenchSupport.h"

#include "fem/Reference.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <dlfcn.h>
#include <fstream>
#include <malloc.h>
#include <map>
#include <memory>

namespace tarvel_bench
{

const std::vector<std::string>& problem_names()
{
    static const std::vector<std::string> names = {"poisson2d-50", "poisson2d-100", "poisson2d-200",
                                                   "plate-200x50", "poisson3d-10",  "poisson3d-20"};
    return names;
}

const std::vector<std::string>& direct_problem_names()
{
    // The plate at about 10^5 and 10^6 DOFs (the demo's 4:1 shape), the block at about
    // 1.1 10^5 and 3.1 10^5 DOFs, the cube at 67^3 nodes.
    static const std::vector<std::string> names = {"plate-447x112", "elastic-32", "poisson3d-66",
                                                   "elastic-46", "plate-1414x353"};
    return names;
}

tarvel_fem::FemProblem& problem(const std::string& name)
{
    static std::map<std::string, std::unique_ptr<tarvel_fem::FemProblem>> built;
    auto& slot = built[name];
    if (!slot)
    {
        int a = 0, b = 0;
        tarvel_fem::FemProblem p;
        if (std::sscanf(name.c_str(), "poisson2d-%d", &a) == 1)
            p = tarvel_fem::poisson_2d(a);
        else if (std::sscanf(name.c_str(), "poisson3d-%d", &a) == 1)
            p = tarvel_fem::poisson_3d(a);
        else if (std::sscanf(name.c_str(), "plate-%dx%d", &a, &b) == 2)
            p = tarvel_fem::cantilever_plate(a, b);
        else if (std::sscanf(name.c_str(), "elastic-%d", &a) == 1)
            p = tarvel_fem::elastic_block(a, a, a);
        slot = std::make_unique<tarvel_fem::FemProblem>(std::move(p));
    }
    return *slot;
}

double check_residual(const std::string& name, const double* u)
{
    static std::map<std::string, tarvel_fem::ReducedSystem> refs;
    auto it = refs.find(name);
    if (it == refs.end()) it = refs.emplace(name, tarvel_fem::reduce(problem(name))).first;
    return tarvel_fem::relative_residual(it->second.K, u, it->second.b);
}

const UpperSystem& reduced_system(const std::string& name)
{
    static std::map<std::string, UpperSystem> built;
    auto it = built.find(name);
    if (it != built.end()) return it->second;
    const tarvel_fem::FemProblem& p = problem(name);
    const tarvel_fem::ReducedSystem r = tarvel_fem::reduce(p);
    UpperSystem s;
    s.n = static_cast<int>(r.K.n);
    s.row_start.push_back(0);
    for (long i = 0; i < r.K.n; ++i)
    {
        for (long q = r.K.row_start[i]; q < r.K.row_start[i + 1]; ++q)
            if (r.K.col[q] >= i && r.K.val[q] != 0.0)  // zero: a coupling to a fixed DOF
            {
                s.col.push_back(static_cast<int>(r.K.col[q]));
                s.val.push_back(r.K.val[q]);
            }
        s.row_start.push_back(static_cast<int>(s.col.size()));
    }
    s.rhs = r.b;
    return built.emplace(name, std::move(s)).first->second;
}

double backward_error(const UpperSystem& s, const double* x, const double* b)
{
    // r = b - A x and the absolute row sums of A, both triangles from the upper one.
    std::vector<double> r(b, b + s.n), row_sum(static_cast<std::size_t>(s.n), 0.0);
    for (int i = 0; i < s.n; ++i)
        for (int q = s.row_start[i]; q < s.row_start[i + 1]; ++q)
        {
            const int j = s.col[q];
            const double a_ij = s.val[q];
            r[i] -= a_ij * x[j];
            row_sum[i] += std::fabs(a_ij);
            if (j != i)
            {
                r[j] -= a_ij * x[i];
                row_sum[j] += std::fabs(a_ij);
            }
        }
    double norm_r = 0.0, norm_a = 0.0, norm_x = 0.0, norm_b = 0.0;
    for (int i = 0; i < s.n; ++i)
    {
        norm_r = std::max(norm_r, std::fabs(r[i]));
        norm_a = std::max(norm_a, row_sum[i]);
        norm_x = std::max(norm_x, std::fabs(x[i]));
        norm_b = std::max(norm_b, std::fabs(b[i]));
    }
    return norm_r / (norm_a * norm_x + norm_b);
}

void set_blas_threads(int n)
{
    using set_fn = void (*)(int);
    if (auto set = reinterpret_cast<set_fn>(dlsym(RTLD_DEFAULT, "openblas_set_num_threads")))
        set(n);
}

void add_case(Case c) { cases().push_back(std::move(c)); }

std::vector<Case>& cases()
{
    static std::vector<Case> all;
    return all;
}

namespace
{

// A field of /proc/self/status in KiB ("VmHWM:", "VmRSS:"), -1 when absent.
long status_kib(const std::string& key)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, key.size(), key) == 0) return std::stol(line.substr(key.size()));
    return -1;
}

long g_baseline_kib = 0;

}  // namespace

void reset_peak()
{
    malloc_trim(0);  // hand freed heap back, so the baseline is what is really held
    if (std::FILE* f = std::fopen("/proc/self/clear_refs", "w"))
    {
        std::fputs("5", f);  // 5: reset the resident high-water mark to the current size
        std::fclose(f);
    }
    g_baseline_kib = status_kib("VmRSS:");
}

long peak_kib() { return status_kib("VmHWM:") - g_baseline_kib; }

}  // namespace tarvel_bench
