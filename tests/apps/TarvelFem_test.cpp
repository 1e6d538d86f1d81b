// tarvel-fem: the roads on small problems in-process, the files it writes, bad input through the
// built program, mesh checks and, when built in, a Gmsh mesh written here.
#include "Demo.h"
#include "MeshInput.h"
#include "Spy.h"
#include "support/DofGraphs.h"
#include "support/GlobalState.h"
#include "support/TempDir.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>
#include <sys/wait.h>

using namespace tarvel_demo;
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

// The built program with the given arguments (already quoted for the shell).
ProgramRun run_program(const TempDir& dir, const std::string& args)
{
    const std::string out = dir.file("stdout"), err = dir.file("stderr");
    const std::string command =
        "'" TARVEL_FEM_PROGRAM "' " + args + " >'" + out + "' 2>'" + err + "' </dev/null";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read_bytes(out), read_bytes(err)};
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

// A road that fails is reported and sets exit code 1: Gauss-Seidel stopped after one sweep.
TEST_F(TarvelFem, UnconvergedRoadExitsOne)
{
    Options o = small(tarvel_fem::Physics::PlaneStress, 4, 2, true, {Road::Gs});
    o.sweeps = 1;
    std::ostringstream out, err;
    const DemoResult r = run_demo(o, out, err);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_GT(r.roads.at(0).residual, 1e-8);
    EXPECT_EQ(count(out.str(), "      | "), 0u);  // quiet
    EXPECT_NE(out.str().find("FAILED"), std::string::npos);
}

// Bad input through the built program: exit code 2, nothing on standard output, one line on
// standard error that names the program.
TEST(TarvelFemProgram, BadInputExitsTwoWithOneLine)
{
    TempDir dir;
    for (const std::string& args :
         std::vector<std::string>{"--frobnicate", "--nx 0", "--ny=-4", "--road fast",
                                  "--mesh '" + dir.file("missing.msh") + "'"})
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

// The pattern of a 4-DOF graph with the single coupling 0-3, drawn by DOF number and by the
// labels f_v = (0, 2, 3, 1), at full size and on a 2 x 2 grid.
TEST(TarvelFemSpy, CellsFollowTheLabels)
{
    CReorderMat g(1);
    tarvel_test::BuildGraph(g, 4, {{0, 3}});
    const long labels[4] = {0, 2, 3, 1};
    std::copy(labels, labels + 4, g.m_pLabel);
    g.PostReorder();
    auto dark = [](const std::vector<bool>& cells, int n)
    {
        std::string s;
        for (int i = 0; i < n * n; ++i) s += cells[i] ? '#' : '.';
        return s;
    };
    EXPECT_EQ(dark(spy_cells(g, false, 4), 4), "#..#"
                                               ".#.."
                                               "..#."
                                               "#..#");
    EXPECT_EQ(dark(spy_cells(g, true, 4), 4), "##.."
                                              "##.."
                                              "..#."
                                              "...#");
    EXPECT_EQ(dark(spy_cells(g, false, 2), 2), "####");
    EXPECT_EQ(dark(spy_cells(g, true, 2), 2), "#..#");
}

// make_mesh: unused nodes dropped and the rest renumbered by tag, a clockwise quadrilateral turned
// round from its first corner; refused: mixed kinds, higher-order kinds, no area, non-convex.
TEST(TarvelFemMesh, ChecksAndOrientsElements)
{
    const RawMesh::Block quads{kGmshQuadrangle4, "", 4, {5}, {10, 40, 30, 20}};  // clockwise
    const RawMesh raw{{40, 10, 20, 30, 99}, {0, 1, 0, 0, 0, 0, 1, 0, 0, 1, 1, 0, 7, 7, 0}, {quads}};
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
}

// A Gmsh mesh written here: a 2 x 1 rectangle of four triangles, one of them clockwise, solved
// by the system and skyline roads; a mesh of 6-node triangles is bad input. Without the Gmsh API
// --mesh is bad input with the "not built in" line.
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
    tarvel_test::write_bytes(dir.file("plate.msh"), "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n"
                                                    "$Nodes\n6\n"
                                                    "1 0 0 0\n2 1 0 0\n3 2 0 0\n"
                                                    "4 0 1 0\n5 1 1 0\n6 2 1 0\n"
                                                    "$EndNodes\n$Elements\n5\n"
                                                    "1 1 2 0 1 1 2\n"
                                                    "2 2 2 0 1 1 2 5\n3 2 2 0 1 1 5 4\n"
                                                    "4 2 2 0 1 2 6 3\n5 2 2 0 1 2 6 5\n"
                                                    "$EndElements\n");
    for (tarvel_fem::Physics physics :
         {tarvel_fem::Physics::PlaneStress, tarvel_fem::Physics::Poisson})
    {
        Options o;
        o.mesh = dir.file("plate.msh");
        o.physics = physics;
        o.quiet = true;
        std::ostringstream out, err;
        const DemoResult r = run_demo(o, out, err);
        EXPECT_EQ(r.exit_code, 0) << err.str();
        EXPECT_EQ(std::tuple(r.nodes, r.elements), std::tuple(6, 4));
        ASSERT_EQ(r.roads.size(), 2u);
        for (const RoadReport& road : r.roads) EXPECT_LT(road.residual, 1e-10);
    }
    tarvel_test::write_bytes(dir.file("p2.msh"), "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n"
                                                 "$Nodes\n6\n1 0 0 0\n2 1 0 0\n3 0 1 0\n"
                                                 "4 0.5 0 0\n5 0.5 0.5 0\n6 0 0.5 0\n$EndNodes\n"
                                                 "$Elements\n1\n1 9 2 0 1 1 2 3 4 5 6\n"
                                                 "$EndElements\n");
    const ProgramRun run = run_program(dir, "--mesh '" + dir.file("p2.msh") + "'");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("Triangle 6 elements; only 3-node triangles"), std::string::npos)
        << run.err;
}
