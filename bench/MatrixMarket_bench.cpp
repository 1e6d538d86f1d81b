// Matrix Market files beside scipy.io: a symmetric system of about 43 MB (the upper triangle of
// a 5-point grid operator on 640 x 640 nodes, random values that need all 17 digits) read into
// a CSystSpMat and written from it (the file the writer makes, byte for byte what it made before
// its speed work: tests/data/mm/values-17g.mtx), and the same file read and written by scipy.io.mmread and
// mmwrite (bench/mm_scipy.py, timed inside Python around the call alone). The cases are
// "mm/<read|write>/<tarvel|scipy>"; scripts/bench.sh runs them with --benchmark_filter=^mm/ in
// one process and puts the throughput in docs/performance.md.
#include <tarvel/Tarvel.h>
#include <tarvel/exchange/MatrixMarket.h>

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>

namespace
{

constexpr int kSide = 680;  // 462,400 rows, 1,385,840 stored entries

std::string scratch(const char* what)
{
    return (std::filesystem::temp_directory_path() /
            ("tarvel-bench-mm-" + std::to_string(::getpid()) + "-" + what + ".mtx"))
        .string();
}

// The system and its file, made once per process and removed at its end.
struct Fixture
{
    CSystSpMat K;
    std::string file = scratch("in"), out = scratch("out");
    Fixture() : K(kSide * kSide)
    {
        CVirtMat::m_bSym = true;
        std::mt19937 rng(3);
        std::uniform_real_distribution<double> value(-1e3, 1e3);
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x)
            {
                const int i = y * kSide + x;
                K.m_pRowArray[i].Add(i, 4e3 + value(rng));
                if (x + 1 < kSide) K.m_pRowArray[i].Add(i + 1, value(rng));
                if (y + 1 < kSide) K.m_pRowArray[i].Add(i + kSide, value(rng));
            }
        MMWrite(K, file.c_str());
    }
    ~Fixture()
    {
        std::filesystem::remove(file);
        std::filesystem::remove(out);
    }
    std::int64_t bytes() const { return std::int64_t(std::filesystem::file_size(file)); }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

void BM_TarvelRead(benchmark::State& st)
{
    Fixture& f = fixture();
    CVirtMat::m_bSym = true;
    for (auto _ : st)
    {
        CSystSpMat K;
        if (MMRead(f.file.c_str(), K) != MM_OK) st.SkipWithError("MMRead failed");
        benchmark::DoNotOptimize(K.m_pRowArray);
    }
    st.SetBytesProcessed(st.iterations() * f.bytes());
    st.counters["file_bytes"] = double(f.bytes());
}

void BM_TarvelWrite(benchmark::State& st)
{
    Fixture& f = fixture();
    CVirtMat::m_bSym = true;
    for (auto _ : st)
        if (MMWrite(f.K, f.out.c_str()) != MM_OK) st.SkipWithError("MMWrite failed");
    st.SetBytesProcessed(st.iterations() * f.bytes());
    st.counters["file_bytes"] = double(f.bytes());
}

// The first python3 on the path or the system's that imports scipy.io ("" when none does).
const std::string& python_with_scipy()
{
    static const std::string python = []() -> std::string
    {
        for (const char* p : {"python3", "/usr/bin/python3"})
            if (std::system((std::string(p) + " -c 'import scipy.io' >/dev/null 2>&1").c_str()) ==
                0)
                return p;
        return "";
    }();
    return python;
}

// Each iteration runs bench/mm_scipy.py once and takes the seconds it reports.
void BM_Scipy(benchmark::State& st, const char* op)
{
    Fixture& f = fixture();
    const std::string command = python_with_scipy() + " " TARVEL_BENCH_SOURCE_DIR "/mm_scipy.py " +
                                std::string(op) + " " + f.file + " " + f.out + " 2>/dev/null";
    for (auto _ : st)
    {
        double seconds = -1.0;
        if (FILE* p = popen(command.c_str(), "r"))
        {
            if (std::fscanf(p, "%lf", &seconds) != 1) seconds = -1.0;
            pclose(p);
        }
        if (seconds < 0.0)
        {
            st.SkipWithError("python3 with scipy.io not found");
            break;
        }
        st.SetIterationTime(seconds);
    }
    st.SetBytesProcessed(st.iterations() * f.bytes());
    st.counters["file_bytes"] = double(f.bytes());
}

}  // namespace

BENCHMARK(BM_TarvelRead)->Name("mm/read/tarvel")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TarvelWrite)->Name("mm/write/tarvel")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Scipy, read, "read")
    ->Name("mm/read/scipy")
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Scipy, write, "write")
    ->Name("mm/write/scipy")
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
