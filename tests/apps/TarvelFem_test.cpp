// tarvel-fem: every road on the plate, the Poisson problem and the block, judged against the
// reference assembly and each other, each phase line flushed; the VTK files it writes for grids
// and Gmsh meshes, against tests/data/fem; every refusal with its line; the files it replaces; the
// size and memory guards; the progress bar on a terminal only.
#include "Demo.h"
#include "MeshInput.h"
#include "PetscRoad.h"
#include "Print.h"
#include "fem/Reference.h"
#include "support/GlobalState.h"
#include "support/MemoryLimit.h"
#include "support/TempDir.h"

#include <tarvel/exchange/MatrixMarket.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <limits>
#include <regex>
#include <sstream>
#include <sys/wait.h>

namespace fs = std::filesystem;
using namespace tarvel_demo;
using tarvel_fem::Physics;
using tarvel_test::read_bytes;
using tarvel_test::TempDir;
using tarvel_test::write_bytes;
using TarvelFem = tarvel_test::GlobalStateTest;

namespace
{

constexpr double kEps = std::numeric_limits<double>::epsilon();
const char* const kOk = "OK: every residual is at most 1e-8\n";
const char* const kFailed = "FAILED: a road has no solution or a residual above 1e-8\n";
const std::string kData = TARVEL_TEST_DATA_DIR "/fem";
const std::string kProgram = "'" TARVEL_FEM_PROGRAM "' ";  // the built program, for run_shell

struct ProgramRun
{
    int status = -1;
    std::string out, err;
};

bool has(const std::string& text, const std::string& part) { return text.find(part) != text.npos; }

// A shell command line run in dir, its output and errors caught in files there.
ProgramRun run_shell(const TempDir& dir, const std::string& command)
{
    const int raw = std::system(
        ("cd '" + dir.path().string() + "' && (" + command + ") >stdout 2>stderr </dev/null")
            .c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read_bytes(dir.file("stdout")),
            read_bytes(dir.file("stderr"))};
}

// The text with '@' standing for dir and '%' for the stored files' folder.
std::string expand(std::string text, const TempDir& dir)
{
    for (std::size_t at; (at = text.find_first_of("@%")) != std::string::npos;)
        text.replace(at, 1, text[at] == '@' ? dir.path().string() : kData);
    return text;
}

// tarvel-fem's command line in-process, its words split at spaces and expanded.
ProgramRun run_main(const TempDir& dir, const std::string& args)
{
    std::vector<std::string> words;
    std::istringstream in(expand(args, dir));
    for (std::string word; in >> word;) words.push_back(word);
    std::vector<const char*> argv = {"tarvel-fem"};
    for (const std::string& word : words) argv.push_back(word.c_str());
    std::ostringstream out, err;
    const int status = demo_main(static_cast<int>(argv.size()), argv.data(), out, err);
    return {status, out.str(), err.str()};
}

// dir's u.vtk against tests/data/fem/<golden>, the stored files' folder written as '%': byte for
// byte up to the solution (POINT_DATA), whose numbers may then differ from the stored ones by
// `tolerance` of the largest, line for line.
void expect_golden(const TempDir& dir, const std::string& golden, double tolerance)
{
    std::string got = read_bytes(dir.file("u.vtk"));
    for (std::size_t at; (at = got.find(kData)) != std::string::npos;)
        got.replace(at, kData.size(), "%");
    const std::string want = read_bytes(kData + "/" + golden);
    const std::size_t data = want.find("POINT_DATA");
    ASSERT_EQ(got.substr(0, data), want.substr(0, data));
    EXPECT_EQ(std::count(got.begin(), got.end(), '\n'), std::count(want.begin(), want.end(), '\n'));
    std::istringstream g(got.substr(data)), w(want.substr(data)), all(want.substr(data));
    double scale = 0.0;
    for (std::string word; all >> word;)
        scale = std::max(scale, std::fabs(std::atof(word.c_str())));
    for (std::string a, b; w >> b;)
    {
        ASSERT_TRUE(g >> a) << "the solution ends early";
        char* end = nullptr;
        const double v = std::strtod(b.c_str(), &end);
        EXPECT_TRUE(a == b ||
                    (*end == '\0' && std::fabs(std::atof(a.c_str()) - v) <= tolerance * scale))
            << a << " for " << b;
    }
}

}  // namespace

// Every road on each problem: solved, each residual far below the program's limit, the roads
// agreeing. The factorizations leave residuals within 64 n eps (backward stable, with the growth
// these stiff clamped ends give), cg and gs within 1e-11 (their stopping tests at 1e-12); two
// solutions then agree to 1e5 times those bounds, of max |u| (the condition of the diagonally
// scaled plate is 6e2 at 4 x 2 and 3.5e3 at 16 x 4; cg's residual of 1e-13 on the 4 x 2 plate
// leaves 1.7e-8 of max |u|). Reports appear indented (Hager2, the skyline solve, ConjGradient2,
// GaussSeidel_Iter) unless quiet, and the caller's message handler is back afterwards; the
// block's tip lies within kBeamTolerance of beam theory on the coarsest grid that bound is stated
// for. Every phase line reaches the stream's destination as soon as it is written (a pipe shows a
// long run's progress): the output is flushed at the end of each.
TEST_F(TarvelFem, RoadsAgreeOnEveryProblem)
{
    const std::vector<Road> all = {Road::System, Road::Skyline, Road::Cg, Road::Gs};
    std::tuple<Physics, int, int, int, std::vector<Road>, const char*, std::size_t> cases[] = {
        {Physics::PlaneStress, 4, 2, 8, all, "Hager2", 4},
        {Physics::Poisson, 8, 4, 8, all, "Hager2", 0},
        {Physics::PlaneStress, 16, 4, 8, {Road::System, Road::Skyline}, "MinDegReorder4", 0},
        {Physics::Solid, 24, 4, 4, {Road::System, Road::Skyline, Road::Cg}, "Hager2", 0},
    };
    if (direct_built_in()) std::get<4>(cases[3]).push_back(Road::Direct);
    for (const auto& [physics, nx, ny, nz, roads, reorder, expected] : cases)
    {
        Options o;
        std::tie(o.physics, o.nx, o.ny, o.nz, o.roads, o.reorder) =
            std::tie(physics, nx, ny, nz, roads, reorder);
        o.quiet = expected == 0;
        o.reorderSystem = physics == Physics::Solid || o.reorder != std::string("Hager2");
        SCOPED_TRACE(format("%d x %d, %s", nx, ny, reorder));
        struct FlushRecorder : std::stringbuf
        {
            std::vector<std::size_t> at;  // the text's length at each flush
            int sync() override { return at.push_back(str().size()), 0; }
        } recorder;
        std::ostream out(&recorder);
        std::ostringstream err;
        const DemoResult r = run_demo(o, out, err);
        const std::string text = recorder.str();
        ASSERT_EQ(std::tuple(r.exit_code, r.roads.size(), err.str()),
                  std::tuple(0, roads.size(), ""))
            << text;
        double size = 0.0;
        for (double v : r.roads[0].u) size = std::max(size, std::fabs(v));
        for (const RoadReport& road : r.roads)
        {
            ASSERT_TRUE(road.solved) << road_name(road.road) << ": " << road.failure;
            const bool iterative = road.road == Road::Cg || road.road == Road::Gs;
            const double residual = iterative ? 1e-11 : 64 * r.dofs * kEps;
            EXPECT_LT(road.residual, residual) << road_name(road.road);
            double difference = 0.0;
            for (std::size_t i = 0; i < road.u.size(); ++i)
                difference = std::max(difference, std::fabs(road.u[i] - r.roads[0].u[i]));
            EXPECT_LE(difference, std::min(r.largest_difference, 1e5 * residual * size));
        }
        std::size_t reports = 0, phases = 0;
        const std::regex phase("  \\S.* +[0-9]+\\.[0-9]{3} s(   .*)?");
        for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
             start = end + 1)
        {
            reports += text.compare(start, 15, "      | Used ti") == 0;
            if (!std::regex_match(text.substr(start, end - start), phase)) continue;
            ++phases;
            EXPECT_EQ(std::count(recorder.at.begin(), recorder.at.end(), end + 1), 1)
                << text.substr(start, end - start);
        }
        EXPECT_EQ(reports, expected);
        EXPECT_GE(phases, 3 * roads.size());
        EXPECT_EQ(has(text, "DOFs relabelled"), o.reorderSystem);
        EXPECT_EQ(text.substr(text.size() - std::strlen(kOk)), kOk);
        EXPECT_TRUE(physics != Physics::Solid ||
                    (r.beam_error != 0.0 && std::fabs(r.beam_error) < kBeamTolerance))
            << r.beam_error;
    }
    AfxMessageBox("after");  // the caller's handler is back, and no report reached it
    EXPECT_EQ(m_messages, std::vector<std::string>{"after"});
}

// The --vtk files against tests/data/fem: the legacy header and title, the points (a mesh's nodes
// renumbered by tag, unused ones dropped, their heights kept), the cells by kind (triangles,
// quadrilaterals, hexahedra, tetrahedra; clockwise and inside-out elements turned) and the
// solution, whose numbers carry the rounding of the road that made them (n eps times the
// condition, below 1e4 on these few nodes). The block's grid as a Gmsh mesh of hexahedra (one
// inside out) is the block itself; cut into tetrahedra (some inside out) it is stiffer.
// Gauss-Seidel stopped after one sweep fails the run; its iterate is written only when no road has
// a final solution, marked as unfinished in the title and the array name. On a mesh the system road takes the default
// reordering unless --reorder says otherwise; the option file beside hex.msh (which Gmsh would run
// on opening the mesh, making a file) is not read.
TEST(TarvelFemProgram, VtkFiles)
{
    TempDir dir;
    const std::tuple<const char*, int, const char*, const char*> cases[] = {
        {"--nx 2 --ny 1 --road system", 0, "plate.vtk",
         "= true, SymUnifyAndZero, Cholesky_Solve\n"},
        {"--nx 2 --ny 1 --road gs,system --sweeps 1", 1, "plate.vtk", ""},
        {"--nx 2 --ny 1 --road gs --sweeps 1", 1, "plate-unfinished.vtk", ""},
        {"--nx 2 --ny 1 --road gs --sweeps 1 --problem poisson", 1, "poisson-unfinished.vtk", ""},
        {"--problem block --nx 2 --ny 1 --nz 1 --road system", 0, "block.vtk", ""},
        {"--mesh %/hex.msh --road system", 0, "hex.vtk", ""},
        {"--mesh %/tet.msh --road system", 0, "tet.vtk", ""},
        {"--mesh %/quads.msh --road system", 0, "quads.vtk", "Cholesky_Solve, DOFs relabelled"},
        {"--mesh %/triangles.msh --problem poisson --road system --reorder none", 0,
         "triangles.vtk", "SymUnifyAndZero, Cholesky_Solve\n"},
        {"--mesh %/first-format.msh --road skyline", 0, "first-format.vtk", ""},
    };
    for (const auto& [args, status, golden, says] : cases)
    {
        SCOPED_TRACE(args);
        if (!gmsh_built_in() && std::strstr(args, "--mesh")) continue;
        const ProgramRun run = run_main(dir, std::string(args) + " --quiet --vtk @/u.vtk");
        EXPECT_EQ(std::tuple(run.status, run.err), std::tuple(status, ""));
        EXPECT_EQ(run.out.substr(run.out.rfind('\n', run.out.size() - 2) + 1),
                  status ? kFailed : kOk);
        EXPECT_FALSE(has(run.out, "      | "));  // quiet
        EXPECT_TRUE(has(run.out, says)) << run.out;
        expect_golden(dir, golden, 1e4 * 100 * kEps);
    }
    EXPECT_FALSE(fs::exists("made"));
}

// Bad input, each row of tests/data/fem/refusals.txt: exit code 2, nothing on standard output,
// one line on standard error naming the program and the reason; scripts given as meshes are
// refused before anything runs them (each would make a file). Built without Gmsh's API or
// PETSc, the rows that need them get the line that says so.
TEST(TarvelFemProgram, RefusalsSayWhy)
{
    TempDir dir;
    write_bytes(dir.file("file"), "");
    write_bytes(dir.file("blank.msh"), std::string(100000, '\n'));
    std::istringstream table(read_bytes(kData + "/refusals.txt"));
    ASSERT_GT(table.str().size(), 4000u);  // the whole table, not an empty read
    for (std::string row; std::getline(table, row);)
    {
        if (row.empty() || row[0] == '#') continue;
        const std::size_t tab = row.find('\t', 2);
        std::string line = expand(row.substr(tab + 1), dir);
        if (row[0] == 'g' && !gmsh_built_in()) line = kGmshMissing;
        if (row[0] == 'p' && !petsc_built_in())
            line = "--road petsc is not built in: this program was built without PETSc (Debian "
                   "package petsc-dev)";
        const ProgramRun run = run_main(dir, row.substr(2, tab - 2));
        EXPECT_EQ(std::tuple(run.status, run.out, run.err),
                  std::tuple(2, "", "tarvel-fem: " + line + "\n"))
            << row;
    }
    EXPECT_FALSE(fs::exists("made"));  // a script run here would have made it
    const ProgramRun help = run_shell(dir, kProgram + "--help");
    EXPECT_EQ(std::tuple(help.status, help.out), std::tuple(0, usage()));
}

// Output files are replaced only by a run that completes them: an existing file survives every
// failed run byte for byte, with nothing left beside it; a successful run replaces it and keeps
// its permissions, and draws no progress on standard error, a file; character devices are
// written into and stay devices.
TEST(TarvelFemProgram, OutputFilesReplacedOnlyOnSuccess)
{
    TempDir dir;
    write_bytes(dir.file("u.vtk"), "old vtk\n");
    write_bytes(dir.file("k.svg"), "old svg\n");
    fs::permissions(dir.file("u.vtk"), fs::perms(0640));
    const auto files = [&dir] { return std::distance(fs::directory_iterator(dir.path()), {}); };
    for (const char* args : {"--mesh missing.msh", "--nx 5000 --ny 5000",
                             "--nx 2 --ny 1 --vtk none/u", "--nx 2 --ny 1 --spy ."})
    {
        EXPECT_EQ(run_shell(dir, kProgram + "--vtk u.vtk --spy k.svg " + args).status, 2);
        EXPECT_EQ(read_bytes(dir.file("u.vtk")) + read_bytes(dir.file("k.svg")),
                  "old vtk\nold svg\n");
        EXPECT_EQ(files(), 4) << args;  // u.vtk, k.svg, stdout, stderr
    }
    const ProgramRun done =
        run_shell(dir, kProgram + "--nx 2 --ny 1 --quiet --road system,cg --vtk u.vtk --spy k.svg");
    ASSERT_EQ(std::tuple(done.status, done.err), std::tuple(0, ""));
    EXPECT_EQ(read_bytes(dir.file("u.vtk")).rfind("# vtk DataFile", 0), 0u);
    EXPECT_EQ(read_bytes(dir.file("k.svg")).rfind("<?xml", 0), 0u);
    EXPECT_EQ(fs::status(dir.file("u.vtk")).permissions(), fs::perms(0640));
    EXPECT_EQ(files(), 4);
    if (!tarvel_test::make_null_device(dir.file("v")) ||
        !tarvel_test::make_null_device(dir.file("s")))
        GTEST_SKIP() << "no device node can be made here";
    EXPECT_EQ(run_shell(dir, kProgram + "--nx 2 --ny 1 --quiet --vtk v --spy s").status, 0);
    EXPECT_TRUE(tarvel_test::is_char_device(dir.file("v")) &&
                tarvel_test::is_char_device(dir.file("s")));
}

// The system road counts its factor before making it: above --max-factor it is not solved (exit
// 1, no solution to write to --vtk); at the count itself it is, and the factor holds exactly the
// entries counted. --export-mm writes the reduced system, prescribed values imposed in matrix and
// right-hand side, in a directory made when missing; read back and solved by the library, it
// satisfies the reference system to roundoff.
TEST_F(TarvelFem, FactorSizeGuardAndExportedSystem)
{
    TempDir dir;
    const std::string args = "--nx 40 --ny 10 --road system --quiet --vtk u.vtk --max-factor ";
    const ProgramRun refused = run_shell(dir, kProgram + args + "1000");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(
        refused.out, m, std::regex(" ([0-9]+) entries expected in the factor \\(([0-9]+) MB\\)")))
        << refused.out;
    const std::string entries = m[1];
    EXPECT_TRUE(
        refused.status == 1 && !fs::exists(dir.file("u.vtk")) &&
        has(refused.out, "\n  FAILED: not solved: the factor would hold " + entries + " entries (" +
                             m[2].str() +
                             " MB), more than the limit of 1000 (--max-factor raises it)\n") &&
        has(refused.out, "\n  no solution to write to u.vtk\n"))
        << refused.out;
    const ProgramRun lifted = run_shell(dir, kProgram + args + entries + " --export-mm made/below");
    EXPECT_TRUE(lifted.status == 0 &&
                has(lifted.out, "   " + entries + " stored entries in the factor\n"))
        << lifted.out;
    const std::string K = dir.file("made/below/K.mtx"), b = dir.file("made/below/b.mtx");
    EXPECT_EQ(read_bytes(K).rfind("%%MatrixMarket matrix coordinate real symmetric\n902 902 ", 0),
              0u);
    EXPECT_EQ(read_bytes(b).rfind("%%MatrixMarket matrix array real general\n902 1\n", 0), 0u);
    CVirtMat::m_bSym = true;
    CSystSpMat A;
    CMatrix B;
    ASSERT_EQ(std::tuple(MMRead(K.c_str(), A), MMRead(b.c_str(), B)), std::tuple(MM_OK, MM_OK));
    double seconds = 0.0;
    ASSERT_EQ(A.Cholesky_Solve(&B, seconds), 1);
    const tarvel_fem::ReducedSystem ref = tarvel_fem::reduce(tarvel_fem::cantilever_plate(40, 10));
    EXPECT_LT(tarvel_fem::relative_residual(ref.K, B.GetVector(), ref.b), 64 * 902 * kEps);
}

// Under a 1 GB address-space limit (room for the program with the MPI and BLAS libraries it maps
// when built with PETSc; one BLAS thread, whose siblings would retry a large allocation forever
// at exit when the limit is close): the system road that runs out of memory says so (a plate of
// 10000 x 2 elements in the mesh numbering, a factor of about 8 * 10^8 entries); and every road
// of a large plate runs in one process when each fits alone but not beside what an earlier road
// kept (400 x 100 elements under reverse Cuthill-McKee: the system road peaks at about 930 MB,
// the skyline road at 640 MB, 380 MB above the program's own 260 MB; had the system road kept
// the 430 MB of cells its factor held, the skyline road would pass 1 GB). Gauss-Seidel stops
// after its ten sweeps, the only road above the limit.
TEST(TarvelFemProgram, MemoryRunsOutOrIsGivenBack)
{
    TempDir dir;
    const std::string limited =
        "ulimit -v 1000000; OPENBLAS_NUM_THREADS=1 exec '" TARVEL_FEM_PROGRAM "' --quiet ";
    if (!tarvel_test::kAddressLimitWorks || run_shell(dir, limited + "--nx 2 --ny 1").status != 0)
        GTEST_SKIP() << "no 1 GB address-space limit the program starts under";
    const ProgramRun large =
        run_shell(dir, limited + "--road system --max-factor 1000000000000 --nx 10000 --ny 2");
    EXPECT_TRUE(large.status == 1 &&
                has(large.out, "\n  FAILED: Cholesky_Solve returned -1: out of memory\n"))
        << large.out;
    const ProgramRun all =
        run_shell(dir, limited + "--max-factor 100000000 --reorder RevCuthillMcKee "
                                 "--nx 400 --ny 100 --road all --sweeps 10");
    EXPECT_TRUE(all.status == 1 && !has(all.out, "FAILED: Cholesky_Solve") &&
                !has(all.out, "could not be allocated"))
        << all.out;
    for (const char* road : {"system", "skyline", "cg"})
        EXPECT_TRUE(std::regex_search(all.out, std::regex(std::string("\n  ") + road +
                                                          " +-2\\.9[0-9]+e-03 +[0-9.]+e-1[0-9]\n")))
            << road << ": " << all.out;
}

// The progress bar, with standard error on a pseudo-terminal (the one `script` runs the program
// on): each reporting phase drawn in place (a carriage return, the task, its share; the
// iterations with their count) and erased at the end. With standard error on a file, not a byte
// of it (OutputFilesReplacedOnlyOnSuccess).
TEST(TarvelFemProgram, ProgressBarOnlyOnATerminal)
{
    TempDir dir;
    const ProgramRun run = run_shell(dir, "script -qec \"exec " + kProgram +
                                              "--problem block --nx 8 --ny 2 --nz 2 --road "
                                              "system,cg --quiet >/dev/null\" /dev/null");
    EXPECT_EQ(run.status, 0) << run.err;
    for (const char* drawn :
         {"\r  Hager2          [", "\r  Cholesky        [", "% ", "   iteration 1, "})
        EXPECT_TRUE(has(run.out, drawn)) << drawn << "\n" << run.out;
    EXPECT_EQ(run.out.substr(run.out.size() - std::min<std::size_t>(run.out.size(), 4)),
              "\r\033[K");
}
