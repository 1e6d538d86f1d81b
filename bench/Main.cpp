// The benchmark program. Without options of its own it is a Google Benchmark program over every
// registered case ("<figure>/<method>/<problem>"). Two options of its own:
//   --list            prints the case names, one a line
//   --problems        prints one tab-separated line per problem and labelling: name, DOFs,
//                     elements, fixed DOFs, stored entries of the reduced upper triangle,
//                     labelling method, its bandwidth, envelope and profile, and the seconds
//                     the reordering took
//   --platform        prints which code the methods run on, one tab-separated line each:
//                     "tarvel" and the skyline kernel set chosen for this processor; "dpbtrf_"
//                     and "dgemm_" (LAPACK's band Cholesky, the BLAS that CHOLMOD calls) and the
//                     library file each resolves to ("none" when absent); "openblas" and its
//                     build configuration and thread count when OpenBLAS is the one loaded
//   --memory=NAME     builds that case's shared inputs, then runs its road once and prints
//                     "peak_kib=<n>": the resident memory the road added at its peak (nothing
//                     for a case without a road)
// Library timing reports (message boxes) are discarded.
#include "BenchSupport.h"

#include <tarvel/Tarvel.h>

#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <string>

namespace
{

void print_platform()
{
    std::printf("tarvel\t%s\n", CSkylineMatrix::KernelSetName());
    for (const char* symbol : {"dpbtrf_", "dgemm_"})
    {
        Dl_info info{};
        void* f = dlsym(RTLD_DEFAULT, symbol);
        std::printf("%s\t%s\n", symbol,
                    f && dladdr(f, &info) && info.dli_fname ? info.dli_fname : "none");
    }
    using config_fn = char* (*)();
    using threads_fn = int (*)();
    auto config = reinterpret_cast<config_fn>(dlsym(RTLD_DEFAULT, "openblas_get_config"));
    auto threads = reinterpret_cast<threads_fn>(dlsym(RTLD_DEFAULT, "openblas_get_num_threads"));
    if (config && threads) std::printf("openblas\t%s, %d thread(s)\n", config(), threads());
}

}  // namespace

int main(int argc, char** argv)
{
    using namespace tarvel_bench;
    AfxSetMessageBoxHandler([](const CString&, UINT) { return IDOK; });
    register_tarvel_cases();
    register_tarvel_skyline_cases();
    register_eigen_cases();
    register_cholmod_cases();
    register_lapack_cases();
    register_system_reordered_cases();
    register_supernodal_cases();

    for (int a = 1; a < argc; ++a)
    {
        if (std::strcmp(argv[a], "--list") == 0)
        {
            for (const Case& c : cases()) std::printf("%s\n", c.name().c_str());
            return 0;
        }
        if (std::strcmp(argv[a], "--problems") == 0)
        {
            for (const std::string& name : problem_names())
                for (const std::string& method : labelling_methods())
                {
                    const tarvel_fem::FemProblem& p = problem(name);
                    const Labelling& l = labelling(name, method);
                    std::printf("%s\t%ld\t%ld\t%zu\t%zu\t%s\t%d\t%ld\t%ld\t%.3f\n", name.c_str(),
                                p.num_dofs, p.num_elements(), p.fixed_dofs.size(),
                                reduced_system(name).val.size(), l.method.c_str(), l.bandwidth,
                                l.envelope, l.profile, l.seconds);
                }
            return 0;
        }
        if (std::strcmp(argv[a], "--platform") == 0)
        {
            print_platform();
            return 0;
        }
        if (std::strncmp(argv[a], "--memory=", 9) == 0)
        {
            const std::string wanted = argv[a] + 9;
            for (Case& c : cases())
                if (c.name() == wanted)
                {
                    if (!c.road) return 0;
                    c.prepare();
                    reset_peak();
                    c.road();
                    std::printf("peak_kib=%ld\n", peak_kib());
                    return 0;
                }
            std::fprintf(stderr, "no case named %s\n", wanted.c_str());
            return 2;
        }
    }

    for (Case& c : cases())
    {
        Case* self = &c;
        benchmark::internal::Benchmark* b =
            benchmark::RegisterBenchmark(c.name().c_str(),
                                         [self](benchmark::State& st)
                                         {
                                             self->prepare();
                                             self->timed(st);
                                         })
                ->Unit(benchmark::kMillisecond);
        if (c.repetitions > 0) b->Repetitions(c.repetitions);
        if (c.process_cpu) b->MeasureProcessCPUTime();
        if (c.wall_clock) b->UseRealTime();
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
