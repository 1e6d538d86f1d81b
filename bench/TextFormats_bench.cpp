// The text formats: writing and reading matrices of 10^6 entries, and scanning one line of a
// megabyte number by number. Plain Google Benchmark cases outside the solver figures (they have
// no peer); run them with --benchmark_filter=^text/. Each reports its speed in bytes of text
// per second of CPU time.
#include <tarvel/Tarvel.h>

#include <benchmark/benchmark.h>
#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

constexpr int kSide = 1000;  // 10^6 entries

std::string scratch_file()
{
    return (std::filesystem::temp_directory_path() /
            ("tarvel-bench-text-" + std::to_string(::getpid()) + ".txt"))
        .string();
}

CMatrix random_matrix()
{
    CMatrix m(kSide, kSide);
    std::mt19937 rng(1);
    std::uniform_real_distribution<double> value(-1e3, 1e3);
    for (int k = 0; k < m.m_nSize; ++k) m.m_pData[k] = value(rng);
    return m;
}

// The matrix in the exponent form with 17 significant digits (25 bytes an entry) or in the
// fixed form with 4 decimals (12 bytes an entry).
void write_matrix(const std::string& name, CMatrix& m, bool exact)
{
    CFile f(name.c_str(), CFile::modeCreate | CFile::modeWrite);
    if (exact)
        m.WriteASCII(&f, "", " ", 24, 16, 1, false, false);
    else
        m.WriteASCII(&f, "", " ", 11, 4, 0, false, false);
}

void BM_WriteMatrix(benchmark::State& st)
{
    const bool exact = st.range(0) != 0;
    CMatrix m = random_matrix();
    const std::string name = scratch_file();
    for (auto _ : st) write_matrix(name, m, exact);
    st.SetBytesProcessed(st.iterations() * std::int64_t(std::filesystem::file_size(name)));
    std::filesystem::remove(name);
}

template <class Read> void read_case(benchmark::State& st, bool exact, Read read)
{
    CMatrix m = random_matrix();
    const std::string name = scratch_file();
    write_matrix(name, m, exact);
    for (auto _ : st)
    {
        CFile f(name.c_str(), CFile::modeRead);
        read(f);
    }
    st.SetBytesProcessed(st.iterations() * std::int64_t(std::filesystem::file_size(name)));
    std::filesystem::remove(name);
}

void BM_ReadMatrix(benchmark::State& st)
{
    read_case(st, st.range(0) != 0,
              [](CFile& f)
              {
                  CMatrix m;
                  m.ReadASCII(&f);
                  benchmark::DoNotOptimize(m.m_pData);
              });
}

void BM_ReadVector(benchmark::State& st)
{
    read_case(st, st.range(0) != 0,
              [](CFile& f)
              {
                  CVector v;
                  v.ReadASCII(&f);
                  benchmark::DoNotOptimize(v.m_pData);
              });
}

void BM_ReadSparse(benchmark::State& st)
{
    read_case(st, st.range(0) != 0,
              [](CFile& f)
              {
                  CSparseMatrix s;
                  s.ReadASCII(&f);
                  benchmark::DoNotOptimize(s.m_pFirstRow);
              });
}

void BM_ReadSystem(benchmark::State& st)
{
    read_case(st, st.range(0) != 0,
              [](CFile& f)
              {
                  CSystSpMat k(kSide);
                  k.ReadASCII(&f);
                  benchmark::DoNotOptimize(k.m_pFirstRow);
              });
}

void BM_WriteSparse(benchmark::State& st)
{
    CSystSpMat k(kSide);
    std::mt19937 rng(2);
    std::uniform_real_distribution<double> value(-1e3, 1e3);
    for (int i = 0; i < kSide; ++i)
        for (int j = 0; j < kSide; ++j) k.Add(i, j, value(rng));
    const std::string name = scratch_file();
    for (auto _ : st)
    {
        CFile f(name.c_str(), CFile::modeCreate | CFile::modeWrite);
        k.WriteASCII(&f, "", " ", 24, 16, int(st.range(0)), false, false);
    }
    st.SetBytesProcessed(st.iterations() * std::int64_t(std::filesystem::file_size(name)));
    std::filesystem::remove(name);
}

// 10^4 lines of 100 numbers with a symbol every 50 numbers, about a megabyte, each scanned
// number by number through ReadNumber from a fresh copy, as a caller's own reader does.
void BM_ScanLines(benchmark::State& st)
{
    std::vector<std::string> lines(10000);
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < lines.size(); ++i)
    {
        for (int k = 0; k < 100; ++k)
            lines[i] += k % 50 == 0 ? "-g " : std::to_string(int(i) * 100 + k) + ".25 ";
        bytes += lines[i].size();
    }
    for (auto _ : st)
    {
        long count = 0;
        CString line, number;
        for (const std::string& text : lines)
        {
            line = text.c_str();
            int pos = 0;
            for (;;)
            {
                CVirtMat::ReadNumber(pos, line, number);
                if (number.IsEmpty()) break;
                ++count;
            }
        }
        benchmark::DoNotOptimize(count);
    }
    st.SetBytesProcessed(st.iterations() * std::int64_t(bytes));
}

}  // namespace

BENCHMARK(BM_WriteMatrix)
    ->Name("text/write/CMatrix-1000x1000/exponent")
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteMatrix)
    ->Name("text/write/CMatrix-1000x1000/fixed")
    ->Arg(0)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadMatrix)
    ->Name("text/read/CMatrix-1000x1000/exponent")
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadMatrix)
    ->Name("text/read/CMatrix-1000x1000/fixed")
    ->Arg(0)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadVector)
    ->Name("text/read/CVector-10^6/fixed")
    ->Arg(0)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadSparse)
    ->Name("text/read/CSparseMatrix-1000x1000/fixed")
    ->Arg(0)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadSystem)
    ->Name("text/read/CSystSpMat-1000x1000/fixed")
    ->Arg(0)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteSparse)
    ->Name("text/write/CSystSpMat-1000x1000/exponent")
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteSparse)
    ->Name("text/write/CSystSpMat-1000x1000/listing")
    ->Arg(0)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanLines)->Name("text/scan/lines-1MB")->Unit(benchmark::kMillisecond);
