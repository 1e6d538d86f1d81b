// Labelling quality on the Harwell-Boeing patterns: every reordering of the model's table run
// on the file order of every matrix of the set, measured (bandwidth, envelope, profile) and
// compared with the reverse Cuthill-McKee figures of rcm-reference.csv in the same folder.
//
// Usage: tarvel_labelling [--data=DIR] [--table | --check] [Google Benchmark options]
//   --data=DIR  the folder of the set (default: ../shared/data/hb-bandwidth beside the sources)
//   --table     prints the quality table (Markdown) and exits; without it, Google Benchmark
//               times each reordering over the whole set ("labelling/<name>")
//   --check     only compares the file order's bandwidth, envelope and profile of every matrix
//               with the reference's (the reader and the 64-bit measures against figures
//               computed independently); exit status 1 when one differs or a file cannot be
//               read, 77 when the folder is missing (a skip for CTest)
#include "HarwellBoeing.h"
#include "fem/Roads.h"

#include <tarvel/Tarvel.h>

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace
{

using tarvel_bench::HbPattern;

struct Reference
{
    std::string group;
    long long bw = 0, env = 0, profile = 0;              // scipy's reverse Cuthill-McKee
    long long bwOrig = 0, envOrig = 0, profileOrig = 0;  // the file's order
};

struct Matrix
{
    std::string name;
    HbPattern pattern;
    Reference ref;
};

// The matrices of the folder that the reference lists; `unread` counts the listed ones that
// could not be read.
std::vector<Matrix> load_set(const std::string& dir, int& unread)
{
    std::map<std::string, Reference> refs;
    std::ifstream csv(dir + "/rcm-reference.csv");
    std::string line;
    std::getline(csv, line);  // header
    while (std::getline(csv, line))
    {
        std::vector<std::string> f;
        std::stringstream s(line);
        for (std::string cell; std::getline(s, cell, ',');) f.push_back(cell);
        if (f.size() < 10) continue;
        Reference r;
        r.bwOrig = std::atoll(f[3].c_str());
        r.envOrig = std::atoll(f[4].c_str());
        r.profileOrig = std::atoll(f[5].c_str());
        r.bw = std::atoll(f[6].c_str());
        r.env = std::atoll(f[7].c_str());
        r.profile = std::atoll(f[8].c_str());
        r.group = f[9];
        refs[f[0]] = r;
    }
    std::vector<Matrix> set;
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (refs.count(e.path().stem().string()) != 0) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    unread = static_cast<int>(refs.size() - files.size());
    for (const auto& path : files)
    {
        Matrix m;
        m.name = path.stem().string();
        std::string error;
        if (!tarvel_bench::read_hb_pattern(path.string(), m.pattern, error))
        {
            std::fprintf(stderr, "%s: %s\n", path.string().c_str(), error.c_str());
            ++unread;
            continue;
        }
        m.ref = refs[m.name];
        set.push_back(std::move(m));
    }
    return set;
}

// The graph of the pattern, one two-DOF element per coupling, in the file's order.
void build(CReorderMat& g, const HbPattern& p)
{
    g.Alloc(p.n);
    for (int mode : {0, 1})
    {
        if (mode == 1) g.Init();
        for (const auto& [i, j] : p.edges)
        {
            long pair[2] = {i, j};
            g.InsertDOFs(pair, mode, 2);
        }
    }
}

struct Measured
{
    long long bw = 0, env = 0, profile = 0;
    double seconds = 0;
};

Measured run(const Matrix& m, const tarvel_fem::NamedReordering* r)
{
    CReorderMat g(1);
    build(g, m.pattern);
    const auto start = std::chrono::steady_clock::now();
    if (r != nullptr) r->run(g);
    Measured out;
    out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    int row = 0;
    out.bw = g.GetB(row);
    out.env = g.Env64(nullptr);
    out.profile = g.Profile64();
    return out;
}

// The file order against the reference's own figures; the number of matrices that differ.
int check_file_order(const std::vector<Matrix>& set)
{
    int mismatches = 0;
    for (const Matrix& m : set)
    {
        const Measured o = run(m, nullptr);
        if (o.bw != m.ref.bwOrig || o.env != m.ref.envOrig || o.profile != m.ref.profileOrig)
        {
            ++mismatches;
            std::fprintf(stderr,
                         "%s: file order measured %lld %lld %lld, reference %lld %lld %lld\n",
                         m.name.c_str(), o.bw, o.env, o.profile, m.ref.bwOrig, m.ref.envOrig,
                         m.ref.profileOrig);
        }
    }
    std::printf("%zu matrices; file-order measures equal to the reference's on %zu\n\n", set.size(),
                set.size() - static_cast<size_t>(mismatches));
    return mismatches;
}

void print_table(const std::vector<Matrix>& set)
{
    check_file_order(set);
    std::printf("| reordering | small: bandwidth | envelope | profile | envelope / RCM's | "
                "large: bandwidth | envelope | profile | envelope / RCM's | envelope vs RCM "
                "(win/tie/loss) | time, whole set |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|---|---:|\n");
    struct Row
    {
        std::string name;
        std::vector<Measured> per;
    };
    std::vector<Row> rows;
    rows.push_back({"reverse Cuthill-McKee (reference)", {}});
    for (const Matrix& m : set) rows[0].per.push_back({m.ref.bw, m.ref.env, m.ref.profile, 0});
    rows.push_back({"file order", {}});
    for (const Matrix& m : set) rows[1].per.push_back(run(m, nullptr));
    for (const tarvel_fem::NamedReordering& r : tarvel_fem::reorderings())
    {
        Row row{r.name, {}};
        for (const Matrix& m : set) row.per.push_back(run(m, &r));
        rows.push_back(std::move(row));
    }
    Row best{"best of the library's, per matrix", {}};  // no time of its own
    for (size_t k = 0; k < set.size(); ++k)
    {
        Measured b = rows[2].per[k];
        for (size_t r = 3; r < rows.size(); ++r)
            if (rows[r].per[k].env < b.env) b = rows[r].per[k];
        b.seconds = 0;
        best.per.push_back(b);
    }
    rows.push_back(best);
    for (const Row& row : rows)
    {
        std::printf("| %s", row.name.c_str());
        for (const char* group : {"small", "large"})
        {
            double bw = 0, env = 0, profile = 0, rcm = 0;
            int count = 0;
            for (size_t k = 0; k < set.size(); ++k)
                if (set[k].ref.group == group)
                {
                    bw += static_cast<double>(row.per[k].bw);
                    env += static_cast<double>(row.per[k].env);
                    profile += static_cast<double>(row.per[k].profile);
                    rcm += static_cast<double>(set[k].ref.env);
                    ++count;
                }
            std::printf(" | %.1f | %.0f | %.0f | %.3f", bw / count, env / count, profile / count,
                        env / rcm);
        }
        int win = 0, tie = 0, loss = 0;
        double seconds = 0;
        for (size_t k = 0; k < set.size(); ++k)
        {
            const long long e = row.per[k].env, r = set[k].ref.env;
            (e < r ? win : e == r ? tie : loss) += 1;
            seconds += row.per[k].seconds;
        }
        if (seconds > 0)
            std::printf(" | %d / %d / %d | %.3f s |\n", win, tie, loss, seconds);
        else
            std::printf(" | %d / %d / %d | - |\n", win, tie, loss);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    AfxSetMessageBoxHandler([](const CString&, UINT) { return IDOK; });
    const std::string script =
        (std::filesystem::temp_directory_path() / "tarvel-labelling-Reord.m").string();
    CReorderMat::SetScriptPath(script.c_str());
    std::string dir = TARVEL_HB_DIR;
    bool table = false, check = false;
    std::vector<char*> rest = {argv[0]};
    for (int a = 1; a < argc; ++a)
    {
        if (std::strncmp(argv[a], "--data=", 7) == 0)
            dir = argv[a] + 7;
        else if (std::strcmp(argv[a], "--table") == 0)
            table = true;
        else if (std::strcmp(argv[a], "--check") == 0)
            check = true;
        else
            rest.push_back(argv[a]);
    }
    std::error_code missing;
    if (!std::filesystem::is_regular_file(dir + "/rcm-reference.csv", missing))
    {
        std::fprintf(stderr, "no Harwell-Boeing set in %s: skipped\n", dir.c_str());
        return 77;
    }
    int unread = 0;
    static const std::vector<Matrix> set = load_set(dir, unread);
    if (check) return unread == 0 && !set.empty() && check_file_order(set) == 0 ? 0 : 1;
    if (set.empty())
    {
        std::fprintf(stderr, "no matrices found in %s\n", dir.c_str());
        return 1;
    }
    if (table)
    {
        print_table(set);
        return 0;
    }
    for (const tarvel_fem::NamedReordering& r : tarvel_fem::reorderings())
        benchmark::RegisterBenchmark(("labelling/" + std::string(r.name)).c_str(),
                                     [&r](benchmark::State& state)
                                     {
                                         for (auto _ : state)
                                             for (const Matrix& m : set)
                                                 benchmark::DoNotOptimize(run(m, &r).env);
                                     })
            ->Unit(benchmark::kMillisecond);
    int count = static_cast<int>(rest.size());
    benchmark::Initialize(&count, rest.data());
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
