// tarvel-fem: the roads on small problems in-process, the files it writes, bad input through the
// built program, mesh checks and, when built in, a Gmsh mesh written here.
#include "Demo.h"
#include "MeshInput.h"
#include "Print.h"
#include "Spy.h"
#include "support/DofGraphs.h"
#include "support/GlobalState.h"
#include "support/MemoryLimit.h"
#include "support/TempDir.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <pty.h>
#include <regex>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

using namespace tarvel_demo;
using tarvel_test::is_char_device;
using tarvel_test::make_null_device;
using tarvel_test::read_bytes;
using tarvel_test::TempDir;
using TarvelFem = tarvel_test::GlobalStateTest;

namespace
{

std::size_t count(const std::string& text, const std::string& what)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// Well-formed XML as far as an SVG picture needs: one root element, tags nested and closed in
// order, attribute values quoted, '<' nowhere in text or values, '&' only in the five predefined
// entities.
bool well_formed_xml(const std::string& s)
{
    for (std::size_t a = s.find('&'); a != std::string::npos; a = s.find('&', a + 1))
        if (!std::regex_search(s.substr(a, 6), std::regex("^&(amp|lt|gt|quot|apos);")))
            return false;
    const auto space = [&s](std::size_t j)
    { return std::isspace(static_cast<unsigned char>(s[j])); };
    std::vector<std::string> open;
    bool rootSeen = false;
    std::size_t i = s.rfind("<?xml", 0) == 0 ? s.find("?>") + 2 : 0;
    for (std::size_t lt; (lt = s.find('<', i)) != std::string::npos;)
    {
        if (open.empty() && s.find_first_not_of(" \t\r\n", i) < lt) return false;  // text outside
        const bool closing = s[lt + 1] == '/';
        std::size_t j = lt + 1 + closing;
        while (j < s.size() && (std::isalnum(static_cast<unsigned char>(s[j])) || s[j] == '-')) ++j;
        const std::string name = s.substr(lt + 1 + closing, j - lt - 1 - closing);
        for (;; j = s.find('"', s.find("=\"", j) + 2) + 1)  // attributes: name="value"
        {
            while (j < s.size() && space(j)) ++j;
            if (j >= s.size() || s[j] == '>' || s[j] == '/') break;
            const std::size_t eq = s.find("=\"", j), end = s.find('"', eq + 2);
            if (closing || end == std::string::npos || s.find('<', eq) < end) return false;
        }
        const bool empty = s.compare(j, 2, "/>") == 0;
        if (name.empty() || s.compare(j + empty, 1, ">") != 0) return false;
        if (closing ? open.empty() || open.back() != name : !empty && open.empty() && rootSeen)
            return false;
        if (closing) open.pop_back();
        if (!closing && !empty)
        {
            open.push_back(name);
            rootSeen = true;
        }
        i = j + empty + 1;
    }
    return rootSeen && open.empty() && s.find_first_not_of(" \t\r\n", i) == std::string::npos;
}

struct ProgramRun
{
    int status = -1;
    std::string out, err;
};

// A shell command line, its output and errors caught in files of dir.
ProgramRun run_shell(const TempDir& dir, const std::string& command)
{
    const std::string out = dir.file("stdout"), err = dir.file("stderr");
    const std::string line = "(" + command + ") >'" + out + "' 2>'" + err + "' </dev/null";
    const int raw = std::system(line.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read_bytes(out), read_bytes(err)};
}

// The built program with the given arguments (already quoted for the shell).
ProgramRun run_program(const TempDir& dir, const std::string& args)
{
    return run_shell(dir, "'" TARVEL_FEM_PROGRAM "' " + args);
}

// A 2 x 1 rectangle of four triangles, one of them clockwise, and a line, as an MSH 2.2 file;
// node k + 1 at (k % 3, k / 3, z[k]).
std::string plate_msh(const std::array<double, 6>& z)
{
    std::string text = "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n$Nodes\n6\n";
    for (int k = 0; k < 6; ++k) text += format("%d %d %d %.17g\n", k + 1, k % 3, k / 3, z[k]);
    return text + "$EndNodes\n$Elements\n5\n1 1 2 0 1 1 2\n2 2 2 0 1 1 2 5\n3 2 2 0 1 1 5 4\n"
                  "4 2 2 0 1 2 6 3\n5 2 2 0 1 2 6 5\n$EndElements\n";
}

// The block's grid of nx x ny x nz hexahedra as an MSH 2.2 file, or each hexahedron cut into six
// tetrahedra around its diagonal 0-6 (left as they come: some inside out), with the physical
// surfaces "clamped" (x = 0) and "load" (x = L, named `load`).
std::string box_msh(int nx, int ny, int nz, bool tets, const char* load = "load")
{
    const tarvel_fem::BlockData b;
    const auto g = tarvel_fem::make_box_grid(nx, ny, nz, b.length, b.width, b.height);
    std::string text = format("$MeshFormat\n2.2 0 8\n$EndMeshFormat\n$PhysicalNames\n3\n"
                              "2 1 \"clamped\"\n2 2 \"%s\"\n3 3 \"solid\"\n$EndPhysicalNames\n"
                              "$Nodes\n%ld\n",
                              load, g.num_nodes());
    for (long v = 0; v < g.num_nodes(); ++v)
        text += format("%ld %.17g %.17g %.17g\n", v + 1, g.nodes[v].x, g.nodes[v].y, g.nodes[v].z);
    std::vector<std::string> elements;  // "type 2 group group corners..." (tags from 1)
    const auto add = [&](int type, int group, std::initializer_list<long> corners)
    {
        std::string line = format("%d 2 %d %d", type, group, group);
        for (long c : corners) line += format(" %ld", c + 1);
        elements.push_back(line);
    };
    for (int k = 0; k < nz; ++k)
        for (int j = 0; j < ny; ++j)
            for (int side : {1, 2})  // x = 0, then x = L: the quadrilateral, or its two triangles
            {
                const int i = side == 1 ? 0 : nx;
                const long q[4] = {g.node(i, j, k), g.node(i, j + 1, k), g.node(i, j + 1, k + 1),
                                   g.node(i, j, k + 1)};
                if (!tets)
                    add(kGmshQuadrangle4, side, {q[0], q[1], q[2], q[3]});
                else
                {
                    add(kGmshTriangle3, side, {q[0], q[1], q[2]});
                    add(kGmshTriangle3, side, {q[0], q[2], q[3]});
                }
            }
    const int cut[6][4] = {{0, 1, 2, 6}, {0, 2, 3, 6}, {0, 3, 7, 6},
                           {0, 7, 4, 6}, {0, 4, 5, 6}, {0, 5, 1, 6}};
    for (const auto& h : g.elements)
        if (!tets)
            add(kGmshHexahedron8, 3, {h[0], h[1], h[2], h[3], h[4], h[5], h[6], h[7]});
        else
            for (const auto& t : cut)
                add(kGmshTetrahedron4, 3, {h[t[0]], h[t[1]], h[t[2]], h[t[3]]});
    text += format("$EndNodes\n$Elements\n%zu\n", elements.size());
    for (std::size_t e = 0; e < elements.size(); ++e)
        text += format("%zu ", e + 1) + elements[e] + "\n";
    return text + "$EndElements\n";
}

Options small(tarvel_fem::Physics physics, int nx, int ny, bool quiet = false,
              std::vector<Road> roads = {Road::System, Road::Skyline, Road::Cg, Road::Gs})
{
    Options o;
    o.physics = physics;
    o.nx = nx;
    o.ny = ny;
    o.quiet = quiet;
    o.roads = roads;
    return o;
}

}  // namespace

// Every road solves both problems of a small grid to a residual far below the program's limit;
// the skyline road agrees with the system road to rounding, cg and gs to what their stopping
// tests leave (the plate's condition turns a residual of 1e-12 into 1e-8 of max |u|); the
// library's reports appear indented in the output (four: Hager2, the skyline solve,
// ConjGradient2, GaussSeidel_Iter), and the caller's handler is back afterwards.
TEST_F(TarvelFem, EveryRoadSolvesSmallGrids)
{
    for (auto [physics, nx, ny] : {std::tuple{tarvel_fem::Physics::PlaneStress, 4, 2},
                                   std::tuple{tarvel_fem::Physics::Poisson, 8, 4}})
    {
        SCOPED_TRACE(nx);
        std::ostringstream out, err;
        const DemoResult r = run_demo(small(physics, nx, ny), out, err);
        EXPECT_EQ(std::tuple(r.exit_code, err.str()), std::tuple(0, ""));
        ASSERT_EQ(r.roads.size(), 4u);
        double size = 0.0;
        for (double v : r.roads[0].u) size = std::max(size, std::fabs(v));
        for (const RoadReport& road : r.roads)
        {
            SCOPED_TRACE(road_name(road.road));
            ASSERT_TRUE(road.solved) << road.failure;
            EXPECT_LT(road.residual, 1e-10);
            double difference = 0.0;
            for (std::size_t i = 0; i < road.u.size(); ++i)
                difference = std::max(difference, std::fabs(road.u[i] - r.roads[0].u[i]));
            const bool iterative = road.road == Road::Cg || road.road == Road::Gs;
            EXPECT_LT(difference, (iterative ? 1e-7 : 1e-10) * size);
            EXPECT_LE(difference, r.largest_difference);
        }
        EXPECT_EQ(count(out.str(), "\n      | Used time"), 4u);
        EXPECT_NE(out.str().find("\nOK: every residual is at most 1e-8\n"), std::string::npos);
    }
    EXPECT_TRUE(m_messages.empty());
    AfxMessageBox("after");
    EXPECT_EQ(m_messages, std::vector<std::string>{"after"});
}

// The block by every road that can take it (gs cannot: it needs far more sweeps): residuals far
// below the limit, the roads agreeing, and the tip within kBeamTolerance of beam theory on the
// coarsest grid the bound is stated for. The direct road is among them when built.
TEST_F(TarvelFem, BlockByEveryRoadAgreesWithBeamTheory)
{
    Options o =
        small(tarvel_fem::Physics::Solid, 24, 4, true, {Road::System, Road::Skyline, Road::Cg});
    o.nz = 4;
    o.reorderSystem = true;
    if (direct_built_in()) o.roads.push_back(Road::Direct);
    std::ostringstream out, err;
    const DemoResult r = run_demo(o, out, err);
    EXPECT_EQ(std::tuple(r.exit_code, r.dofs, err.str()), std::tuple(0, 1875L, "")) << out.str();
    const double size = std::fabs(tarvel_fem::block_tip_deflection());
    for (const RoadReport& road : r.roads)
    {
        SCOPED_TRACE(road_name(road.road));
        ASSERT_TRUE(road.solved) << road.failure;
        EXPECT_LT(road.residual, 1e-10);
    }
    EXPECT_LT(r.largest_difference,
              1e-7 * size);  // cg's stopping test; the direct ones agree closer
    EXPECT_TRUE(r.beam_error != 0.0 && std::fabs(r.beam_error) < kBeamTolerance) << r.beam_error;
    EXPECT_NE(out.str().find("(at most 5% expected on this grid)\n"), std::string::npos);
}

// The progress bar, with standard error on a pseudo-terminal: each reporting phase drawn in place
// (a carriage return, the task, its share; the iterations with their count) and erased at the
// end; with standard error on a file, not a byte of it.
TEST(TarvelFemProgram, ProgressBarOnlyOnATerminal)
{
    const char* const args[] = {"tarvel-fem", "--problem", "block", "--nx", "8",
                                "--ny",       "2",         "--nz",  "2",    "--road",
                                "system,cg",  "--quiet",   nullptr};
    int terminal = -1;
    const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    ASSERT_GE(child, 0);
    if (child == 0)  // standard output away, standard error on the terminal
    {
        const int null = ::open("/dev/null", O_WRONLY);
        if (null < 0 || ::dup2(null, STDOUT_FILENO) < 0) ::_exit(126);
        ::execv(TARVEL_FEM_PROGRAM, const_cast<char* const*>(args));
        ::_exit(127);
    }
    std::string seen;
    char buffer[4096];
    for (ssize_t got; (got = ::read(terminal, buffer, sizeof buffer)) > 0;)  // EIO once it exits
        seen.append(buffer, static_cast<std::size_t>(got));
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(terminal);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    for (const char* drawn :
         {"\r  Hager2          [", "\r  Cholesky        [", "% ", "   iteration 1, "})
        EXPECT_NE(seen.find(drawn), std::string::npos) << drawn << "\n" << seen;
    EXPECT_EQ(seen.size() >= 4 ? seen.substr(seen.size() - 4) : seen, "\r\033[K");

    TempDir dir;
    std::string line;
    for (int a = 1; args[a]; ++a) line += std::string(args[a]) + " ";
    const ProgramRun logged = run_program(dir, line);
    EXPECT_EQ(std::tuple(logged.status, logged.err), std::tuple(0, ""));
}

// --reorder given relabels the system road's DOFs too: under each minimum-degree labelling the
// system road solves the plate to the residual of the mesh numbering and agrees with it to
// rounding; MinDegReorder4 (elimination with fill) stores fewer factor entries than the mesh
// numbering on this 16 x 4 plate.
TEST_F(TarvelFem, SystemRoadUnderAReordering)
{
    Options natural = small(tarvel_fem::Physics::PlaneStress, 16, 4, true, {Road::System});
    std::ostringstream out0, err0;
    const DemoResult r0 = run_demo(natural, out0, err0);
    ASSERT_TRUE(r0.roads.at(0).solved);
    auto factor_entries = [](const std::string& text)
    {
        const std::size_t at = text.find(" stored entries in the factor");
        if (at == std::string::npos) return -1L;
        const std::size_t from = text.rfind(' ', at - 1) + 1;
        return std::stol(text.substr(from, at - from));
    };
    for (const char* name : {"MinDegReorder2", "MinDegReorder3", "MinDegReorder4"})
    {
        SCOPED_TRACE(name);
        Options o = natural;
        o.reorder = name;
        o.reorderSystem = true;
        std::ostringstream out, err;
        const DemoResult r = run_demo(o, out, err);
        ASSERT_TRUE(r.roads.at(0).solved) << r.roads.at(0).failure;
        EXPECT_LT(r.roads[0].residual, 1e-10);
        double size = 0.0, difference = 0.0;
        for (std::size_t i = 0; i < r.roads[0].u.size(); ++i)
        {
            size = std::max(size, std::fabs(r0.roads[0].u[i]));
            difference = std::max(difference, std::fabs(r.roads[0].u[i] - r0.roads[0].u[i]));
        }
        EXPECT_LT(difference, 1e-10 * size);
        EXPECT_NE(out.str().find("DOFs relabelled by the reordering"), std::string::npos);
        if (std::string(name) == "MinDegReorder4")
        {
            EXPECT_LT(factor_entries(out.str()), factor_entries(out0.str()));
        }
    }
}

// A road that fails is reported and sets exit code 1: Gauss-Seidel stopped after one sweep. Its
// iterate goes to --vtk only when no road has a final solution, and then marked as unfinished
// in the title and the array name.
TEST(TarvelFemProgram, UnfinishedIterateIsMarked)
{
    TempDir dir;
    const std::string vtk = dir.file("u.vtk");
    const std::string plate = "tarvel-fem: plane stress, cantilever plate 8 m x 2 m, 4 x 2 "
                              "four-node elements, ";
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {"--road gs", plate + "gs road, UNFINISHED iterate: stopped after 1 sweeps, not converged",
         "VECTORS displacement_unfinished double"},
        {"--road gs --problem poisson",
         "tarvel-fem: Poisson, cantilever plate 8 m x 2 m, 4 x 2 four-node elements, gs road, "
         "UNFINISHED iterate: stopped after 1 sweeps, not converged",
         "SCALARS u_unfinished double 1"},
        {"--road gs,system", plate + "system road", "VECTORS displacement double"},
    };
    for (const auto& [roads, title, field] : cases)
    {
        SCOPED_TRACE(roads);
        const ProgramRun run =
            run_program(dir, "--nx 4 --ny 2 --sweeps 1 --quiet --vtk '" + vtk + "' " + roads);
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.out.find("\nFAILED: a road has no solution or a residual above 1e-8\n"),
                  std::string::npos);
        EXPECT_EQ(count(run.out, "      | "), 0u);  // quiet
        std::istringstream file(read_bytes(vtk));
        std::string line, second;
        std::getline(file, line);
        std::getline(file, second);
        EXPECT_EQ(second, title);
        EXPECT_NE(read_bytes(vtk).find("\n" + field + "\n"), std::string::npos);
    }
}

// Every phase line reaches the stream's destination as soon as it is written (a pipe shows a
// long run's progress): the output is flushed at the end of each.
TEST_F(TarvelFem, PhaseLinesAreFlushed)
{
    struct FlushRecorder : std::stringbuf
    {
        std::vector<std::size_t> at;  // the text's length at each flush
        int sync() override
        {
            at.push_back(str().size());
            return 0;
        }
    } recorder;
    std::ostream out(&recorder);
    std::ostringstream err;
    ASSERT_EQ(run_demo(small(tarvel_fem::Physics::Poisson, 6, 3), out, err).exit_code, 0);
    const std::string text = recorder.str();
    const std::regex phaseLine("  \\S.* +[0-9]+\\.[0-9]{3} s(   .*)?");
    int phases = 0;
    for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
         start = end + 1)
        if (std::regex_match(text.substr(start, end - start), phaseLine))
        {
            ++phases;
            EXPECT_NE(std::find(recorder.at.begin(), recorder.at.end(), end + 1), recorder.at.end())
                << text.substr(start, end - start);
        }
    EXPECT_GE(phases, 10);
}

// Bad input through the built program: exit code 2, nothing on standard output, one line on
// standard error that names the program.
TEST(TarvelFemProgram, BadInputExitsTwoWithOneLine)
{
    TempDir dir;
    for (const std::string& args : std::vector<std::string>{
             "--frobnicate", "--nx 0", "--ny=-4", "--road fast", "--max-factor 0",
             "--max-factor=2e7", "--max-factor", "--mesh '" + dir.file("missing.msh") + "'",
             "--nz 4", "--problem block --nz 0", "--problem block --mesh m.msh"})
    {
        SCOPED_TRACE(args);
        const ProgramRun run = run_program(dir, args);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.rfind("tarvel-fem: ", 0), 0u) << run.err;
        EXPECT_TRUE(count(run.err, "\n") == 1 && run.err.back() == '\n') << run.err;
    }
    const ProgramRun help = run_program(dir, "--help");
    EXPECT_EQ(std::tuple(help.status, help.out.rfind("Usage: tarvel-fem", 0)), std::tuple(0, 0u));
}

// Output files are replaced only by a run that completes them: an existing file survives every
// failed run byte for byte, with nothing left beside it; a successful run replaces it and keeps
// its permissions; a folder that takes no file, or a directory as the target, is bad input.
TEST(TarvelFemProgram, OutputFilesReplacedOnlyOnSuccess)
{
    TempDir dir;
    const std::string vtk = dir.file("u.vtk"), svg = dir.file("k.svg");
    tarvel_test::write_bytes(vtk, "old vtk\n");
    tarvel_test::write_bytes(svg, "old svg\n");
    std::filesystem::permissions(vtk, std::filesystem::perms(0640));
    const std::string files = " --vtk '" + vtk + "' --spy '" + svg + "'";
    auto listing = [&dir]()
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    for (const auto& [args, status] : std::vector<std::pair<std::string, int>>{
             {"--mesh '" + dir.file("missing.msh") + "'" + files, 2},
             {"--nx 5000 --ny 5000" + files, 2},
             {"--nx 2 --ny 1 --quiet" + files + " --vtk '" + dir.file("none/u.vtk") + "'", 2},
             {"--nx 2 --ny 1 --quiet" + files + " --spy '" + dir.path().string() + "'", 2},
         })
    {
        SCOPED_TRACE(args);
        EXPECT_EQ(run_program(dir, args).status, status);
        EXPECT_EQ(read_bytes(vtk) + read_bytes(svg), "old vtk\nold svg\n");
        EXPECT_EQ(listing(), (std::vector<std::string>{"k.svg", "stderr", "stdout", "u.vtk"}));
    }
    ASSERT_EQ(run_program(dir, "--nx 2 --ny 1 --quiet --road system" + files).status, 0);
    EXPECT_EQ(read_bytes(vtk).rfind("# vtk DataFile", 0), 0u);
    EXPECT_EQ(read_bytes(svg).rfind("<?xml", 0), 0u);
    EXPECT_EQ(std::filesystem::status(vtk).permissions(), std::filesystem::perms(0640));
    EXPECT_EQ(listing(), (std::vector<std::string>{"k.svg", "stderr", "stdout", "u.vtk"}));
}

// --vtk and --spy naming character devices (made in a scratch folder where the test may): the
// files are written into them, and they stay devices.
TEST(TarvelFemProgram, WritesIntoDevicesWithoutReplacingThem)
{
    TempDir dir;
    const std::string vtk = dir.file("vtk-null"), svg = dir.file("svg-null");
    if (!make_null_device(vtk) || !make_null_device(svg))
        GTEST_SKIP() << "no device node can be made here";
    EXPECT_EQ(
        run_program(dir, "--nx 2 --ny 1 --quiet --vtk '" + vtk + "' --spy '" + svg + "'").status,
        0);
    EXPECT_TRUE(is_char_device(vtk));
    EXPECT_TRUE(is_char_device(svg));
}

namespace
{
// tarvel-fem with `args` under a 1 GB address-space limit (room for the program with the MPI and
// BLAS libraries it maps when built with PETSc; one BLAS thread, whose siblings would retry a
// large allocation forever at exit when the limit is close). Empty when no such limit can hold
// here or the program does not start under it (a small plate does not solve): the test skips.
std::string limited_command(const TempDir& dir, const std::string& args)
{
    if (!tarvel_test::kAddressLimitWorks) return {};
    const std::string command =
        "ulimit -v 1000000; OPENBLAS_NUM_THREADS=1 exec '" TARVEL_FEM_PROGRAM "' " + args + " ";
    return run_shell(dir, command + "--nx 2 --ny 1").status == 0 ? command : std::string();
}
}  // namespace

// The system road that runs out of memory says so: with the address space limited to 1 GB, a
// plate of 10000 x 2 elements in the mesh numbering (60006 DOFs, a bandwidth of about 20000) is
// assembled, but its factor of about 8 * 10^8 entries cannot be made. A small plate solves
// under the same limit, so the limit leaves room for the program itself.
TEST(TarvelFemProgram, OutOfMemoryIsSaidSo)
{
    TempDir dir;
    const std::string command =
        limited_command(dir, "--road system --quiet --max-factor 1000000000000");
    if (command.empty()) GTEST_SKIP() << "no 1 GB address-space limit the program starts under";
    const ProgramRun large = run_shell(dir, command + "--nx 10000 --ny 2");
    EXPECT_EQ(large.status, 1);
    EXPECT_NE(large.out.find("\n  FAILED: Cholesky_Solve returned -1: out of memory\n"),
              std::string::npos)
        << large.out;
}

// Every road of a large plate in one process, under an address-space limit that each road fits
// alone but not together with what an earlier road kept: 400 x 100 elements under reverse
// Cuthill-McKee (81002 DOFs, a factor of 1.8 * 10^7 entries). The system road alone peaks at
// about 930 MB of address space here and the skyline road at about 640 MB, 380 MB above the
// program's own 260 MB; had the system road kept the 430 MB of cells its factor held, the
// skyline road would pass 1 GB.
TEST(TarvelFemProgram, EveryRoadOfALargePlateInOneProcess)
{
    TempDir dir;
    const std::string command =
        limited_command(dir, "--quiet --max-factor 100000000 --reorder RevCuthillMcKee");
    if (command.empty()) GTEST_SKIP() << "no 1 GB address-space limit the program starts under";
    const ProgramRun all = run_shell(dir, command + "--nx 400 --ny 100 --road all --sweeps 10");
    EXPECT_EQ(all.out.find("FAILED: Cholesky_Solve"), std::string::npos) << all.out;
    EXPECT_EQ(all.out.find("could not be allocated"), std::string::npos) << all.out;
    for (const char* road : {"system", "skyline", "cg"})
        EXPECT_TRUE(std::regex_search(all.out, std::regex(std::string("\n  ") + road +
                                                          " +-2\\.9[0-9]+e-03 +[0-9.]+e-1[0-9]\n")))
            << road << "\n"
            << all.out;
    // Gauss-Seidel stops after its ten sweeps: the only road above the limit, so the exit is 1.
    EXPECT_NE(all.out.find("\n  gs       "), std::string::npos) << all.out;
    EXPECT_EQ(all.status, 1);
}

// The system road counts its factor before making it: above --max-factor it is not solved (exit
// 1, and an existing --vtk file is kept, as there is no solution to write); at the count itself
// it is, and the factor holds exactly the entries counted.
TEST(TarvelFemProgram, FactorSizeGuard)
{
    TempDir dir;
    const std::string vtk = dir.file("u.vtk");
    tarvel_test::write_bytes(vtk, "old vtk\n");
    const std::string args = "--nx 40 --ny 10 --road system --quiet --vtk '" + vtk + "' ";
    const ProgramRun refused = run_program(dir, args + "--max-factor 1000");
    std::smatch expected;
    ASSERT_TRUE(std::regex_search(
        refused.out, expected,
        std::regex("\n  CholeskyFactorSize +[0-9.]+ s   ([0-9]+) entries expected in the factor "
                   "\\(([0-9]+) MB\\)\n")))
        << refused.out;
    const std::string entries = expected[1], megabytes = expected[2];
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.out.find("\n  FAILED: not solved: the factor would hold " + entries +
                               " entries (" + megabytes +
                               " MB), more than the limit of 1000 (--max-factor raises it)\n"),
              std::string::npos)
        << refused.out;
    EXPECT_EQ(refused.out.find("  Cholesky_Solve"), std::string::npos);
    EXPECT_NE(refused.out.find("\n  no solution to write to " + vtk + "\n"), std::string::npos);
    EXPECT_EQ(read_bytes(vtk), "old vtk\n");

    const ProgramRun lifted = run_program(dir, args + "--max-factor " + entries);
    EXPECT_EQ(lifted.status, 0) << lifted.out;
    EXPECT_NE(lifted.out.find("   " + entries + " stored entries in the factor\n"),
              std::string::npos)
        << lifted.out;
    EXPECT_EQ(read_bytes(vtk).rfind("# vtk", 0), 0u);
}

// --vtk: the legacy header, one point per node and one cell per element, and the displacements
// read back equal to the system road's solution (17 digits round-trip). --spy: well-formed SVG
// with one pattern per side.
TEST(TarvelFemProgram, VtkAndSpyFilesParse)
{
    TempDir dir;
    const ProgramRun run =
        run_program(dir, "--nx 6 --ny 2 --road system --quiet --vtk '" + dir.file("u.vtk") +
                             "' --spy '" + dir.file("k.svg") + "'");
    ASSERT_EQ(run.status, 0) << run.err;

    std::ifstream vtk(dir.file("u.vtk"));
    std::string header[4], word, type, vectors;
    for (std::string& h : header) std::getline(vtk, h);
    EXPECT_EQ(header[0] + "|" + header[2] + "|" + header[3],
              "# vtk DataFile Version 3.0|ASCII|DATASET UNSTRUCTURED_GRID");
    long points = 0, cells = 0, size = 0, types = 0, t = 0;
    vtk >> word >> points >> type;
    EXPECT_EQ(std::tuple(word, points, type), std::tuple("POINTS", 21L, "double"));  // 7 x 3 nodes
    std::vector<double> xy(3 * points), u(2 * 21), z(21, 1.0);
    for (double& v : xy) vtk >> v;
    vtk >> word >> cells >> size;
    EXPECT_EQ(std::tuple(word, cells, size), std::tuple("CELLS", 12L, 60L));
    for (long q = 0; q < size; ++q) vtk >> t;  // connectivity
    vtk >> word >> types;
    EXPECT_EQ(std::tuple(word, types), std::tuple("CELL_TYPES", 12L));
    for (long e = 0; e < types; ++e) EXPECT_TRUE(vtk >> t && t == 9);
    vtk >> word >> points >> std::ws;
    std::getline(vtk, vectors);
    EXPECT_EQ(word + " " + vectors, "POINT_DATA VECTORS displacement double");
    for (long v = 0; v < 21; ++v) vtk >> u[2 * v] >> u[2 * v + 1] >> z[v];
    ASSERT_TRUE(vtk);
    EXPECT_EQ(z, std::vector<double>(21, 0.0));
    std::ostringstream out, err;
    const Options o = small(tarvel_fem::Physics::PlaneStress, 6, 2, true, {Road::System});
    EXPECT_EQ(run_demo(o, out, err).roads.at(0).u, u);

    const std::string svg = read_bytes(dir.file("k.svg"));
    EXPECT_TRUE(well_formed_xml(svg));
    EXPECT_EQ(count(svg, "<path "), 2u);
    EXPECT_LT(svg.size(), 100000u);
}

// The pattern of a 4-DOF graph with the single coupling 0-3, counted by DOF number and by the
// labels f_v = (0, 2, 3, 1), on cells of one entry and of 2 x 2; and of a 5-DOF graph (coupling
// 0-4) on cells of 2 x 2, the last row and column of cells cut to one entry.
TEST(TarvelFemSpy, CellsCountTheEntriesOfTheLabelling)
{
    CReorderMat g(1);
    tarvel_test::BuildGraph(g, 4, {{0, 3}});
    const long labels[4] = {0, 2, 3, 1};
    std::copy(labels, labels + 4, g.m_pLabel);
    g.PostReorder();
    auto grid = [](const CReorderMat& graph, bool byLabel, int maxCells)
    {
        const SpyGrid s = spy_grid(graph, byLabel, maxCells);
        std::string text = std::to_string(s.side) + ":";
        for (long c : s.counts) text += std::to_string(c);
        return text;
    };
    EXPECT_EQ(grid(g, false, 4), "1:1001"
                                 "0100"
                                 "0010"
                                 "1001");
    EXPECT_EQ(grid(g, true, 4), "1:1100"
                                "1100"
                                "0010"
                                "0001");
    EXPECT_EQ(grid(g, false, 2), "2:2112");
    EXPECT_EQ(grid(g, true, 3), "2:4002");  // ceil(4 / 3) = 2 entries a side
    CReorderMat five(1);
    tarvel_test::BuildGraph(five, 5, {{0, 4}});
    EXPECT_EQ(grid(five, false, 3), "2:201"
                                    "020"
                                    "101");
}

// Shades by the share of a cell's entries stored, a decade apart; an empty cell has none.
TEST(TarvelFemSpy, ShadesStepByDecades)
{
    const std::tuple<long, long, int> cases[] = {
        {0, 1, 0},         {1, 250000, 1}, {249, 250000, 1}, {250, 250000, 2},
        {2499, 250000, 2}, {1, 100, 3},    {9, 100, 3},      {10, 100, 4},
        {1, 1, 4},         {2, 4, 4},      {1, 1000000, 1},
    };
    for (const auto& [stored, area, shade] : cases)
        EXPECT_EQ(spy_shade(stored, area), shade) << stored << " of " << area;
}

// A picture of more DOFs than cells: each caption counts the DOFs as the printout does (all,
// and the free ones the graph relabels) and states the cell size; the legend names the four
// shades, each one path of its own colour (the mesh numbering's cells range from one entry in
// 1296 to over a tenth: all four appear on both sides); the runs of cells stay in the matrix,
// the last row and column of cells cut to what is left of it. Without a reordering the right
// side says so.
TEST(TarvelFemProgram, SpyShadesHaveALegend)
{
    TempDir dir;
    const ProgramRun run = run_program(dir, "--nx 100 --ny 70 --problem poisson --road skyline "
                                            "--quiet --spy '" +
                                                dir.file("k.svg") + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string svg = read_bytes(dir.file("k.svg"));  // 7171 DOFs: cells of 36 x 36
    EXPECT_TRUE(well_formed_xml(svg));
    std::smatch all, free;
    ASSERT_TRUE(std::regex_search(run.out, all, std::regex(" (\\d+) DOFs \\((\\d+) prescribed")));
    ASSERT_TRUE(std::regex_search(run.out, free, std::regex(" (\\d+) free DOFs, ")));
    EXPECT_EQ(std::stol(all[1]) - std::stol(all[2]), std::stol(free[1]));
    EXPECT_NE(
        svg.find(">mesh numbering, " + all[1].str() + " DOFs (" + free[1].str() + " free)</text>"),
        std::string::npos);
    EXPECT_NE(svg.find(">after Hager2</text>"), std::string::npos);
    EXPECT_EQ(count(svg, ">each cell 36 x 36 entries</text>"), 2u);
    for (const char* legend : {">share of a cell's entries stored:</text>", ">below 0.1%</text>",
                               ">0.1% to 1%</text>", ">1% to 10%</text>", ">10% or more</text>"})
        EXPECT_EQ(count(svg, legend), 1u) << legend;
    for (const char* fill : {"#c6dbef", "#6baed6", "#2171b5", "#08306b"})  // in both panels
        EXPECT_EQ(count(svg, std::string("<path fill=\"") + fill + "\" d=\"M"), 2u) << fill;
    // Every run starts on a cell boundary, is 36 entries high but 7 on the cut last row, stays
    // inside the 7171 x 7171 matrix, and the diagonal reaches the corner entry (7170, 7170).
    const std::regex segment("M([0-9]+) ([0-9]+)h([0-9]+)v([0-9]+)h-([0-9]+)z");
    int runs = 0;
    bool corner = false;
    for (auto m = std::sregex_iterator(svg.begin(), svg.end(), segment);
         m != std::sregex_iterator(); ++m, ++runs)
    {
        const long x = std::stol((*m)[1]), y = std::stol((*m)[2]), w = std::stol((*m)[3]),
                   h = std::stol((*m)[4]);
        EXPECT_TRUE(x % 36 == 0 && y % 36 == 0 && w > 0 && x + w <= 7171 && (*m)[5] == (*m)[3])
            << m->str();
        EXPECT_EQ(h, y == 7164 ? 7 : 36) << m->str();
        corner = corner || (y == 7164 && x + w == 7171);
    }
    EXPECT_GT(runs, 100);
    EXPECT_TRUE(corner);

    const ProgramRun small = run_program(dir, "--nx 4 --ny 2 --road skyline --quiet --reorder none "
                                              "--spy '" +
                                                  dir.file("s.svg") + "'");
    ASSERT_EQ(small.status, 0) << small.err;
    const std::string picture = read_bytes(dir.file("s.svg"));
    EXPECT_EQ(count(picture, ">each cell one entry</text>"), 2u);
    EXPECT_EQ(count(picture, ">no reordering</text>"), 1u);
    EXPECT_EQ(picture.find("after none"), std::string::npos);
}

// make_mesh: unused nodes dropped and the rest renumbered by tag, a clockwise quadrilateral turned
// round from its first corner; refused: mixed kinds, higher-order kinds, no area, non-convex.
TEST(TarvelFemMesh, ChecksAndOrientsElements)
{
    const RawMesh::Block quads{kGmshQuadrangle4, "", 4, {5}, {10, 40, 30, 20}};  // clockwise
    const RawMesh raw{{40, 10, 20, 30, 99},
                      {0, 1, 0, 0, 0, 0, 1, 0, 0, 1, 1, 0, 7, 7, 0},
                      {quads},
                      false,
                      {},
                      {}};
    tarvel_fem::Mesh2D mesh;
    ASSERT_EQ(make_mesh(raw, mesh), "");
    EXPECT_EQ(mesh.num_nodes(), 4);   // tag 99 is used by no element
    EXPECT_EQ(mesh.nodes[3].y, 1.0);  // tag 40 is the fourth
    EXPECT_EQ(mesh.connectivity, (std::vector<long>{0, 1, 2, 3}));

    using Blocks = std::vector<RawMesh::Block>;
    const std::pair<Blocks, const char*> bad[] = {
        {{quads, {kGmshTriangle3, "", 4, {5}, {10, 40, 30, 20}}},
         "mixes triangles and quadrilaterals; use one element kind"},
        {{{10, "Quadrilateral 9", 4, {5}, {10, 40, 30, 20}}},
         "holds Quadrilateral 9 elements; only 3-node triangles and 4-node quadrilaterals are "
         "supported"},
        {{{kGmshQuadrangle4, "", 4, {5}, {10, 20, 20, 40}}},
         "element 5 is not a convex quadrilateral"},
        // (7, 7) folds the quadrilateral
        {{{kGmshQuadrangle4, "", 4, {5}, {10, 20, 30, 99}}},
         "element 5 is not a convex quadrilateral"},
        {{{kGmshTriangle3, "", 3, {5}, {10, 20, 20}}}, "element 5 has no area"},
    };
    for (const auto& [blocks, message] : bad)
    {
        RawMesh b = raw;
        b.surface_blocks = blocks;
        EXPECT_EQ(make_mesh(b, mesh), message);
    }
    RawMesh lifted = raw;  // each node keeps its own height, in mesh order
    for (std::size_t k = 0; k < 5; ++k) lifted.coords[3 * k + 2] = 5.0 + 1e-12 * k;
    std::vector<double> z;
    ASSERT_EQ(make_mesh(lifted, mesh, &z), "");
    EXPECT_EQ(z, (std::vector<double>{5.0 + 1e-12, 5.0 + 2e-12, 5.0 + 3e-12, 5.0}));

    RawMesh solid = raw;  // a plane mesh's elements beside volume elements: a solid's boundary
    solid.has_volume_elements = true;
    EXPECT_EQ(make_mesh(solid, mesh),
              "holds volume elements; only plane meshes (triangles or quadrilaterals) are "
              "supported");
}

// Only a file whose first non-blank line is a mesh header reaches Gmsh; the header's offset is
// where a copy for Gmsh starts.
TEST(TarvelFemMesh, HeaderDecidesWhatReachesGmsh)
{
    TempDir dir;
    const char* const refused =
        "is not a Gmsh mesh file: its first line is not $MeshFormat (or $NOD), and scripts are not "
        "run";
    const std::tuple<std::string, std::string, long long> cases[] = {
        {"$MeshFormat\n2.2 0 8\n", "", 0},
        {"\n \r\n\t$MeshFormat \r\n4.1 1 8\n", "", 5},
        {"$NOD\n3\n", "", 0},
        {"$MeshFormat", "", 0},
        {"System \"touch made\";\n$MeshFormat\n", refused, 0},
        {"Mesh 2;\n", refused, 0},
        {"// $MeshFormat\n", refused, 0},
        {"$MeshFormat2\n", refused, 0},
        {"$MeshFormat $NOD\n", refused, 0},
        {"\xEF\xBB\xBF$MeshFormat\n", refused, 0},  // a byte-order mark is not blank
        {"", refused, 0},
        {std::string(100000, '\n'), refused, 0},
    };
    for (const auto& [bytes, message, offset] : cases)
    {
        SCOPED_TRACE(bytes.substr(0, 30));
        tarvel_test::write_bytes(dir.file("m.msh"), bytes);
        long long at = -1;
        EXPECT_EQ(check_mesh_header(dir.file("m.msh"), at), message);
        if (message.empty())
        {
            EXPECT_EQ(at, offset);
        }
    }
    long long at = 0;
    EXPECT_EQ(check_mesh_header(dir.file("missing.msh"), at), "cannot be read");
    EXPECT_EQ(check_mesh_header(dir.path().string(), at), "cannot be read");  // a directory
}

// Gmsh scripts are never run: a script given as a mesh is refused before anything happens, and
// an option file beside a real mesh (which Gmsh would run on opening it) is not read. Each
// would create a file.
TEST(TarvelFemProgram, MeshFileIsNeverRunAsScript)
{
    TempDir dir;
    const std::string made = dir.file("made");
    const std::string script = "System \"touch " + made + "\";\nPoint(1) = {0, 0, 0};\n";
    for (const std::string& bytes : {script, "Mesh 2;\n" + script})
    {
        tarvel_test::write_bytes(dir.file("evil.msh"), bytes);
        const ProgramRun run = run_program(dir, "--mesh '" + dir.file("evil.msh") + "'");
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_FALSE(std::filesystem::exists(made));
        const std::string refusal = "tarvel-fem: mesh file '" + dir.file("evil.msh") +
                                    "' is not a Gmsh mesh file: its first line is not "
                                    "$MeshFormat (or $NOD), and scripts are not run\n";
        EXPECT_EQ(run.err,
                  gmsh_built_in() ? refusal : "tarvel-fem: " + std::string(kGmshMissing) + "\n");
    }
    if (!gmsh_built_in()) GTEST_SKIP() << "Gmsh's C++ API was not found when building";
    tarvel_test::write_bytes(dir.file("tri.msh"), "\n\n$MeshFormat\n2.2 0 8\n$EndMeshFormat\n"
                                                  "$Nodes\n3\n1 0 0 0\n2 1 0 0\n3 0 1 0\n"
                                                  "$EndNodes\n$Elements\n1\n1 2 2 0 1 1 2 3\n"
                                                  "$EndElements\n");
    tarvel_test::write_bytes(dir.file("tri.msh.opt"), script);
    const ProgramRun run =
        run_program(dir, "--mesh '" + dir.file("tri.msh") + "' --road system --quiet");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_FALSE(std::filesystem::exists(made));
}

// A Gmsh mesh written here: a 2 x 1 rectangle of four triangles, one of them clockwise, solved
// by the system and skyline roads; meshes that are not plane meshes of one supported kind are
// bad input, each with its reason. Without the Gmsh API --mesh is bad input with the "not built
// in" line.
TEST(TarvelFemProgram, GmshMesh)
{
    TempDir dir;
    if (!gmsh_built_in())
    {
        const ProgramRun run = run_program(dir, "--mesh '" + dir.file("any.msh") + "'");
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err, std::string("tarvel-fem: ") + kGmshMissing + "\n");
        GTEST_SKIP() << "Gmsh's C++ API (libgmsh-dev) was not found when building: --mesh is "
                        "not built in";
    }
    tarvel_test::write_bytes(dir.file("plate.msh"), plate_msh({0, 0, 0, 0, 0, 0}));
    for (tarvel_fem::Physics physics :
         {tarvel_fem::Physics::PlaneStress, tarvel_fem::Physics::Poisson})
    {
        Options o;
        o.mesh = dir.file("plate.msh");
        o.roads = {Road::System, Road::Skyline};
        o.physics = physics;
        o.quiet = true;
        std::ostringstream out, err;
        const DemoResult r = run_demo(o, out, err);
        EXPECT_EQ(r.exit_code, 0) << err.str();
        EXPECT_EQ(std::tuple(r.nodes, r.elements), std::tuple(6, 4));
        ASSERT_EQ(r.roads.size(), 2u);
        for (const RoadReport& road : r.roads) EXPECT_LT(road.residual, 1e-10);
    }
    // The plate lifted to z = 5: the VTK file keeps the height.
    tarvel_test::write_bytes(dir.file("lifted.msh"), plate_msh({5, 5, 5, 5, 5, 5}));
    const ProgramRun lifted =
        run_program(dir, "--mesh '" + dir.file("lifted.msh") + "' --road system --quiet --vtk '" +
                             dir.file("u.vtk") + "'");
    EXPECT_EQ(lifted.status, 0) << lifted.err;
    EXPECT_NE(read_bytes(dir.file("u.vtk"))
                  .find("\nPOINTS 6 double\n0 0 5\n1 0 5\n2 0 5\n0 1 5\n1 1 5\n2 1 5\nCELLS "),
              std::string::npos)
        << read_bytes(dir.file("u.vtk"));
    // On a mesh the system road takes the default reordering unless --reorder says otherwise.
    EXPECT_NE(lifted.out.find("Cholesky_Solve, DOFs relabelled by the reordering\n"),
              std::string::npos)
        << lifted.out;
    const ProgramRun meshOrder = run_program(dir, "--mesh '" + dir.file("lifted.msh") +
                                                      "' --road system --quiet --reorder none");
    EXPECT_EQ(meshOrder.status, 0) << meshOrder.err;
    EXPECT_NE(meshOrder.out.find("SymUnifyAndZero, Cholesky_Solve\n"), std::string::npos)
        << meshOrder.out;

    // Refused: 6-node triangles; a tetrahedron with its boundary triangles but no physical
    // surfaces (a solid mesh needs them); the plate tilted by z = x / 10.
    const std::pair<std::string, std::string> bad[] = {
        {"$MeshFormat\n2.2 0 8\n$EndMeshFormat\n$Nodes\n6\n1 0 0 0\n2 1 0 0\n3 0 1 0\n"
         "4 0.5 0 0\n5 0.5 0.5 0\n6 0 0.5 0\n$EndNodes\n$Elements\n1\n1 9 2 0 1 1 2 3 4 5 6\n"
         "$EndElements\n",
         "holds Triangle 6 elements; only 3-node triangles and 4-node quadrilaterals are "
         "supported"},
        {"$MeshFormat\n2.2 0 8\n$EndMeshFormat\n$Nodes\n4\n1 0 0 0\n2 1 0 0\n3 0 1 0\n"
         "4 0 0 1\n$EndNodes\n$Elements\n5\n1 2 2 0 1 1 3 2\n2 2 2 0 1 1 2 4\n"
         "3 2 2 0 1 1 4 3\n4 2 2 0 1 2 3 4\n5 4 2 0 1 1 2 3 4\n$EndElements\n",
         "has no physical surface named \"clamped\" (a solid mesh names its clamped and its loaded "
         "surface)"},
        {plate_msh({0, 0.1, 0.2, 0, 0.1, 0.2}), "is not plane: its nodes do not share one z"},
    };
    for (const auto& [bytes, message] : bad)
    {
        SCOPED_TRACE(message);
        tarvel_test::write_bytes(dir.file("bad.msh"), bytes);
        const ProgramRun run = run_program(dir, "--mesh '" + dir.file("bad.msh") + "'");
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err, "tarvel-fem: mesh file '" + dir.file("bad.msh") + "' " + message + "\n");
    }
}

// 3-D Gmsh meshes written here: the block's 4 x 2 x 2 grid as hexahedra is the block itself (same
// numbering, element matrices equal to rounding, so the same solution); cut into tetrahedra, some
// inside out, it solves too and is stiffer (linear tetrahedra lock more). The VTK file holds the
// tetrahedra (type 10) and the displacement vectors exactly.
TEST(TarvelFemProgram, GmshSolidMeshes)
{
    if (!gmsh_built_in()) GTEST_SKIP() << "Gmsh's C++ API was not found when building";
    TempDir dir;
    tarvel_test::write_bytes(dir.file("hex.msh"), box_msh(4, 2, 2, false));
    tarvel_test::write_bytes(dir.file("tet.msh"), box_msh(4, 2, 2, true));
    Options block = small(tarvel_fem::Physics::Solid, 4, 2, true, {Road::System, Road::Skyline});
    block.nz = 2;
    std::ostringstream out, err;
    const DemoResult grid = run_demo(block, out, err);
    std::vector<double> tips;
    for (const char* name : {"hex.msh", "tet.msh"})
    {
        SCOPED_TRACE(name);
        Options o =
            small(tarvel_fem::Physics::PlaneStress, 1, 1, true, {Road::System, Road::Skyline});
        o.mesh = dir.file(name);
        const DemoResult r = run_demo(o, out, err);
        ASSERT_EQ(r.exit_code, 0) << err.str();
        EXPECT_EQ(std::tuple(r.nodes, r.elements), std::tuple(45L, name[0] == 'h' ? 16L : 96L));
        for (const RoadReport& road : r.roads) EXPECT_LT(road.residual, 1e-10);
        tips.push_back(r.roads[0].u[3 * 24 + 2]);  // node (4, 1, 1), the loaded face's centre
        for (std::size_t i = 0; name[0] == 'h' && i < r.roads[0].u.size(); ++i)
            EXPECT_NEAR(r.roads[0].u[i], grid.roads.at(0).u[i], 1e-10 * std::fabs(tips[0]));
    }
    EXPECT_TRUE(tips[1] < 0.0 && tips[1] > tips[0]) << tips[1] << " vs " << tips[0];
    Options poisson = small(tarvel_fem::Physics::Poisson, 1, 1, true);
    poisson.mesh = dir.file("hex.msh");
    std::ostringstream refusal;
    EXPECT_EQ(run_demo(poisson, out, refusal).exit_code, 2);
    EXPECT_EQ(refusal.str(),
              "tarvel-fem: mesh file '" + poisson.mesh +
                  "' holds volume elements; a 3-D mesh is solved for elasticity, not poisson\n");

    const ProgramRun run =
        run_program(dir, "--mesh '" + dir.file("tet.msh") + "' --road system --quiet --vtk '" +
                             dir.file("u.vtk") + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string vtk = read_bytes(dir.file("u.vtk"));
    EXPECT_NE(vtk.find("\nCELLS 96 480\n4 "), std::string::npos);
    EXPECT_NE(vtk.find("\nCELL_TYPES 96\n" +
                       []
                       {
                           std::string t;
                           for (int e = 0; e < 96; ++e) t += "10\n";
                           return t;
                       }() +
                       "POINT_DATA 45\nVECTORS displacement double\n"),
              std::string::npos);
    std::istringstream vectors(vtk.substr(vtk.find("displacement double\n") + 20));
    std::vector<double> u(135);
    for (double& v : u) vectors >> v;
    EXPECT_NEAR(u[3 * 24 + 2], tips[1], 1e-12 * std::fabs(tips[1]));  // 17 digits, another process
}

// A solid mesh is refused, one line each, when it holds a kind the demo cannot solve, mixes
// kinds, lacks a boundary group or holds a flat element; an element inside out is turned.
TEST(TarvelFemMesh, SolidMeshChecks)
{
    RawMesh raw;
    raw.node_tags = {1, 2, 3, 4, 5};
    raw.coords = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 1, 0};
    raw.has_volume_elements = true;
    const RawMesh::Block tet{
        kGmshTetrahedron4, "Tetrahedron 4", 4, {7}, {1, 3, 2, 4}};  // inside out
    const RawMesh::Block face{kGmshTriangle3, "Triangle 3", 3, {8}, {1, 2, 3}};
    raw.volume_blocks = {tet};
    raw.surface_groups = {{"clamped", {face}}, {"load", {face}}};
    tarvel_fem::Mesh3D mesh;
    ASSERT_EQ(make_solid_mesh(raw, mesh), "");
    EXPECT_EQ(std::tuple(mesh.num_nodes(), mesh.connectivity, mesh.clamped),
              std::tuple(4L, std::vector<long>{0, 2, 3, 1}, std::vector<long>{0, 1, 2}));

    using Blocks = std::vector<RawMesh::Block>;
    const std::tuple<Blocks, const char*, const char*> bad[] = {
        {{{11, "Tetrahedron 10", 10, {7}, {1, 3, 2, 4, 1, 1, 1, 1, 1, 1}}},
         "load",
         "holds Tetrahedron 10 elements; only 4-node tetrahedra and 8-node hexahedra are "
         "supported"},
        {{tet, {kGmshHexahedron8, "Hexahedron 8", 8, {9}, {1, 2, 5, 3, 4, 4, 4, 4}}},
         "load",
         "mixes tetrahedra and hexahedra; use one element kind"},
        {{tet},
         "top",
         "has no physical surface named \"load\" (a solid mesh names its clamped and its loaded "
         "surface)"},
        {{{kGmshTetrahedron4, "", 4, {7}, {1, 2, 3, 5}}}, "load", "element 7 has no volume"},
        {{{kGmshHexahedron8, "", 8, {9}, {1, 2, 5, 3, 4, 4, 4, 4}}},
         "load",
         "element 9 is not a valid hexahedron: it folds or is flat at a corner"},
    };
    for (const auto& [blocks, load, message] : bad)
    {
        RawMesh b = raw;
        b.volume_blocks = blocks;
        b.surface_groups[1].name = load;
        EXPECT_EQ(make_solid_mesh(b, mesh), message);
    }
}
