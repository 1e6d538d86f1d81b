// tarvel-fem's run: input, roads, judgement, files (contract and choices in Demo.h).
#include "Demo.h"

#include "ExportMM.h"
#include "MeshInput.h"
#include "OutputFile.h"
#include "PetscRoad.h"
#include "Print.h"
#include "ProgressBar.h"
#include "Spy.h"
#include "Vtk.h"
#include "fem/MeshProblem.h"
#include "fem/Reference.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <memory>
#include <unistd.h>

namespace tarvel_demo
{
namespace
{

using tarvel_fem::Physics;

// Saves and restores what the run changes in the library's class-wide state, and gives the
// reorderings a private directory for their script.
class LibraryState
{
public:
    LibraryState(std::ostream& out, bool quiet)
        : m_bSym(CVirtMat::m_bSym), m_script(CReorderMat::GetScriptPath())
    {
        m_previous = AfxSetMessageBoxHandler(
            [&out, quiet](const CString& text, UINT)
            {
                if (!quiet) print_report(out, text.GetString());
                return IDOK;
            });
        static std::atomic<unsigned> counter{0};
        m_dir = std::filesystem::temp_directory_path() /
                ("tarvel-fem-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::error_code ec;
        std::filesystem::create_directories(m_dir, ec);
        CReorderMat::SetScriptPath((m_dir / "Reord.m").string().c_str());
    }
    ~LibraryState()
    {
        CReorderMat::SetScriptPath(m_script);
        AfxSetMessageBoxHandler(m_previous);
        CVirtMat::m_bSym = m_bSym;
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }
    LibraryState(const LibraryState&) = delete;
    LibraryState& operator=(const LibraryState&) = delete;

private:
    // A report's lines under "      | ", line ends of any kind, trailing empty lines dropped.
    static void print_report(std::ostream& out, std::string text)
    {
        text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
        while (!text.empty() && text.back() == '\n') text.pop_back();
        std::size_t start = 0;
        while (start <= text.size())
        {
            const std::size_t end = std::min(text.find('\n', start), text.size());
            out << "      | " << text.substr(start, end - start) << '\n';
            start = end + 1;
        }
    }

    bool m_bSym;
    CString m_script;
    AfxMessageBoxHandler m_previous;
    std::filesystem::path m_dir;
};

struct Model
{
    Physics physics = Physics::PlaneStress;
    tarvel_fem::Mesh2D mesh;   // a plane problem's mesh
    std::vector<double> z;     // the nodes' heights as read; empty for the grid (z = 0)
    tarvel_fem::Mesh3D solid;  // a solid problem's mesh
    tarvel_fem::FemProblem problem;
    std::string description;

    long nodes() const { return physics == Physics::Solid ? solid.num_nodes() : mesh.num_nodes(); }
    long elements() const
    {
        return physics == Physics::Solid ? solid.num_elements() : mesh.num_elements();
    }
};

// The block of --problem block, its problem built; "" or the one-line error.
std::string load_block(const Options& o, Model& model)
{
    const long long dofs = 3 * (o.nx + 1LL) * (o.ny + 1LL) * (o.nz + 1LL);
    if (dofs > kMaxDofs)
        return format("a block of %d x %d x %d elements has %lld DOFs; at most %ld are taken", o.nx,
                      o.ny, o.nz, dofs, kMaxDofs);
    const tarvel_fem::BlockData block;
    model.solid = tarvel_fem::to_mesh(
        tarvel_fem::make_box_grid(o.nx, o.ny, o.nz, block.length, block.width, block.height));
    model.problem = tarvel_fem::elastic_block(o.nx, o.ny, o.nz, block);
    model.description =
        format("3-D elasticity, cantilever block %g m x %g m x %g m, %d x %d x %d eight-node "
               "hexahedra",
               block.length, block.width, block.height, o.nx, o.ny, o.nz);
    return "";
}

// A solid mesh read from a file, its problem built; "" or the error (after the file's name).
std::string load_solid(const Options& o, const RawMesh& raw, Model& model)
{
    if (o.physics == Physics::Poisson)
        return "holds volume elements; a 3-D mesh is solved for elasticity, not poisson";
    std::string error = make_solid_mesh(raw, model.solid);
    if (error.empty() && 3 * model.solid.num_nodes() > kMaxDofs)
        error =
            format("has %ld DOFs; at most %ld are taken", 3 * model.solid.num_nodes(), kMaxDofs);
    if (!error.empty()) return error;
    model.physics = Physics::Solid;
    model.problem = tarvel_fem::solid_problem(model.solid);
    model.description =
        format("3-D elasticity, mesh '%s', %ld %s", o.mesh.c_str(), model.solid.num_elements(),
               model.solid.corners == 4 ? "tetrahedra" : "hexahedra");
    return "";
}

// The grid or the mesh file as a checked mesh and its problem; "" or the one-line error
// (without the prefix).
std::string load_mesh(const Options& o, Model& model)
{
    model.physics = o.physics;
    if (o.physics == Physics::Solid) return load_block(o, model);
    const long dpn = o.physics == Physics::PlaneStress ? 2 : 1;
    const char* kind = o.physics == Physics::PlaneStress ? "plane stress" : "Poisson";
    if (o.mesh.empty())
    {
        const long long dofs = dpn * (o.nx + 1LL) * (o.ny + 1LL);
        if (dofs > kMaxDofs)
            return format("a grid of %d x %d elements has %lld DOFs; at most %ld are taken", o.nx,
                          o.ny, dofs, kMaxDofs);
        const tarvel_fem::PlateData plate;
        model.mesh =
            tarvel_fem::to_mesh(tarvel_fem::make_quad_grid(o.nx, o.ny, plate.length, plate.height));
        model.description = format("%s, cantilever plate %g m x %g m, %d x %d four-node elements",
                                   kind, plate.length, plate.height, o.nx, o.ny);
        model.problem = tarvel_fem::mesh_problem(model.mesh, o.physics);
        return "";
    }
    if (!gmsh_built_in()) return kGmshMissing;
    RawMesh raw;
    std::string error = read_gmsh(o.mesh, raw);
    if (error.empty() && raw.has_volume_elements) error = load_solid(o, raw, model);
    if (error.empty() && raw.has_volume_elements) return "";
    if (error.empty()) error = make_mesh(raw, model.mesh, &model.z);
    if (error.empty() && dpn * model.mesh.num_nodes() > kMaxDofs)
        error =
            format("has %ld DOFs; at most %ld are taken", dpn * model.mesh.num_nodes(), kMaxDofs);
    if (!error.empty()) return "mesh file '" + o.mesh + "' " + error;
    model.description =
        format("%s, mesh '%s', %ld %s", kind, o.mesh.c_str(), model.mesh.num_elements(),
               model.mesh.corners == 3 ? "triangles" : "quadrilaterals");
    model.problem = tarvel_fem::mesh_problem(model.mesh, o.physics);
    return "";
}

int dofs_per_node(Physics physics)
{
    return physics == Physics::Solid ? 3 : physics == Physics::PlaneStress ? 2 : 1;
}

void print_problem(const Model& model, std::ostream& out)
{
    const tarvel_fem::FemProblem& p = model.problem;
    const long nonZero = std::count_if(p.fixed_values.begin(), p.fixed_values.end(),
                                       [](double g) { return g != 0.0; });
    const long tip = p.probe_dof / dofs_per_node(model.physics);
    out << "tarvel-fem: " << model.description << '\n'
        << format("  %ld nodes, %ld elements, %ld DOFs (%zu prescribed, %ld of them non-zero)\n",
                  model.nodes(), model.elements(), p.num_dofs, p.fixed_dofs.size(), nonZero);
    if (model.physics == Physics::Solid)
    {
        const tarvel_fem::Point3 at = model.solid.nodes[tip];
        out << format("  tip: node %ld at (%g, %g, %g)\n", tip, at.x, at.y, at.z);
    }
    else
        out << format("  tip: node %ld at (%g, %g)\n", tip, model.mesh.nodes[tip].x,
                      model.mesh.nodes[tip].y);
    out << '\n' << std::flush;
}

const char* tip_heading(Physics physics)
{
    return physics == Physics::Solid         ? "tip u_z (m)"
           : physics == Physics::PlaneStress ? "tip u_y (m)"
                                             : "tip u";
}

// The solution's line under its road: residual and tip value, or why there is none.
void print_outcome(const RoadReport& r, const tarvel_fem::FemProblem& p, Physics physics,
                   std::ostream& out)
{
    if (!r.solved)
        out << "  FAILED: " << r.failure << '\n';
    else if (physics != Physics::Poisson)
        out << format("  ||K u - f|| / ||f|| = %.3e, tip u_%c = %.9e m\n", r.residual,
                      physics == Physics::Solid ? 'z' : 'y', r.u[p.probe_dof]);
    else
        out << format("  ||K u - f|| / ||f|| = %.3e, tip u = %.9e\n", r.residual, r.u[p.probe_dof]);
    out << '\n' << std::flush;
}

// Pairwise comparison of the solved roads; returns the largest difference and prints it.
double compare_roads(const std::vector<RoadReport>& roads, Physics physics, std::ostream& out)
{
    double largest = 0.0, size = 0.0;
    const RoadReport *first = nullptr, *second = nullptr;
    for (std::size_t a = 0; a < roads.size(); ++a)
    {
        if (!roads[a].solved) continue;
        for (double v : roads[a].u) size = std::max(size, std::fabs(v));
        for (std::size_t b = a + 1; b < roads.size(); ++b)
        {
            if (!roads[b].solved) continue;
            for (std::size_t i = 0; i < roads[a].u.size(); ++i)
            {
                const double d = std::fabs(roads[a].u[i] - roads[b].u[i]);
                if (d > largest || !first)
                {
                    largest = d;
                    first = &roads[a];
                    second = &roads[b];
                }
            }
        }
    }
    if (first)
        out << format("  largest difference, %s vs %s: %.3e%s (%.3e of max |u|)\n",
                      road_name(first->road), road_name(second->road), largest,
                      physics != Physics::Poisson ? " m" : "", size > 0 ? largest / size : 0.0);
    return largest;
}

// The block's tip deflection against Timoshenko beam theory, from the first final solution;
// returns the relative difference (0 when no road solved). The 3-D block is stiffer than the
// beam by about 2% (the clamp holds the section's warping and Poisson contraction), and full
// integration adds shear locking that falls with the element length: 5.8% on 16 x 4 x 4, 4.3% on
// 24 x 4 x 4, 2.9% on 32 x 8 x 8, 2.0% on 64 x 16 x 16.
double print_beam_check(const std::vector<RoadReport>& roads, long probe, const Options& o,
                        std::ostream& out)
{
    const auto solved =
        std::find_if(roads.begin(), roads.end(),
                     [](const RoadReport& r) { return r.solved && r.unfinished.empty(); });
    if (solved == roads.end()) return 0.0;
    const double beam = tarvel_fem::block_tip_deflection();
    const double error = (solved->u[probe] - beam) / beam;
    out << format("  beam theory (Timoshenko): tip u_z = %.6e m; the %s road differs by %+.2f%%",
                  beam, road_name(solved->road), 100.0 * error)
        << (beam_grid(o)
                ? format(" (at most %.0f%% expected on this grid)\n", 100.0 * kBeamTolerance)
                : std::string(" (a grid coarser than 24 x 4 x 4: no bound)\n"));
    return error;
}

}  // namespace

DemoResult run_demo(const Options& o, std::ostream& out, std::ostream& err)
{
    DemoResult result;
    auto bad_input = [&](const std::string& message)
    {
        err << "tarvel-fem: " << message << '\n';
        result.exit_code = 2;
        return result;
    };

    // -- 1. Input: output files, then the mesh and the problem --
    OutputFile vtkFile, spyFile;
    for (auto [name, file] : {std::pair{&o.vtk, &vtkFile}, std::pair{&o.spy, &spyFile}})
        if (!name->empty() && !file->open(*name)) return bad_input("cannot write '" + *name + "'");
    if (!o.exportMM.empty())
        if (std::string e = prepare_export_dir(o.exportMM); !e.empty()) return bad_input(e);
    Model model;
    const std::string error = load_mesh(o, model);
    if (!error.empty()) return bad_input(error);
    const Physics physics = model.physics;
    tarvel_fem::FemProblem& p = model.problem;
    result.nodes = model.nodes();
    result.elements = model.elements();
    result.dofs = p.num_dofs;
    print_problem(model, out);

    // -- 2. The roads, each judged against the reference assembly --
    LibraryState state(out, o.quiet);
    std::unique_ptr<ProgressBar> bar;
    if (o.progress) bar = std::make_unique<ProgressBar>(err);
    const tarvel_fem::ReducedSystem reference = tarvel_fem::reduce(p);
    if (!o.exportMM.empty())
        if (std::string e = export_matrix_market(p, o.exportMM, out); !e.empty())
            return bad_input(e);
    std::unique_ptr<ReorderedGraph> graph;
    auto ensure_graph = [&]()
    {
        if (graph) return;
        graph = std::make_unique<ReorderedGraph>();
        reorder_graph(p, o.reorder, *graph, out);
    };
    for (Road road : o.roads)
    {
        RoadOutcome outcome;
        switch (road)
        {
        case Road::System:
            if (o.reorderSystem) ensure_graph();
            outcome = system_road(p, out, o.max_factor, o.reorderSystem ? &graph->graph : nullptr);
            break;
        case Road::Skyline:
            out << "skyline road: CReorderMat, " << o.reorder
                << ", CSkylineMatrix, Cholesky_Solve\n";
            ensure_graph();
            outcome = skyline_road(p, *graph, out);
            break;
        case Road::Cg:
            outcome = cg_road(p, out);
            break;
        case Road::Gs:
            outcome = gs_road(p, o.sweeps, out);
            break;
        case Road::Direct:
            outcome = direct_road(p, out);
            break;
        }
        RoadReport r;
        r.road = road;
        r.solved = !outcome.u.empty();
        r.u = std::move(outcome.u);
        r.failure = std::move(outcome.failure);
        r.unfinished = std::move(outcome.unfinished);
        if (r.solved)
            r.residual = tarvel_fem::relative_residual(reference.K, r.u.data(), reference.b);
        print_outcome(r, p, physics, out);
        result.roads.push_back(std::move(r));
    }

    // -- 3. Summary and verdict --
    out << "summary\n"
        << format("  %-8s %-18s %s\n", "road", tip_heading(physics), "||K u - f|| / ||f||");
    bool ok = true;
    for (const RoadReport& r : result.roads)
    {
        const bool pass = r.solved && r.residual <= kResidualLimit;  // a NaN residual fails
        ok = ok && pass;
        if (r.solved)
            out << format("  %-8s %-18.9e %.3e%s\n", road_name(r.road), r.u[p.probe_dof],
                          r.residual, pass ? "" : "   above 1e-8");
        else
            out << format("  %-8s %-18s %s\n", road_name(r.road), "-", "no solution");
    }
    result.largest_difference = compare_roads(result.roads, physics, out);
    if (physics == Physics::Solid && o.mesh.empty())
        result.beam_error = print_beam_check(result.roads, p.probe_dof, o, out);

    // -- 4. Files --
    if (!o.spy.empty())
    {
        if (!graph) out << "\npattern for --spy: CReorderMat, " << o.reorder << '\n';
        ensure_graph();
        const ReorderedGraph& g = *graph;
        const long freeDofs = p.num_dofs - static_cast<long>(p.fixed_dofs.size());
        write_spy_svg(
            spyFile.stream(), g.graph,
            format("mesh numbering, %ld DOFs (%ld free)\nbandwidth %d, envelope %lld", p.num_dofs,
                   freeDofs, g.bandwidthBefore, g.envelopeBefore),
            format("%s\nbandwidth %d, envelope %lld",
                   g.reordering == "none" ? "no reordering" : ("after " + g.reordering).c_str(),
                   g.bandwidthAfter, g.envelopeAfter));
        if (!spyFile.commit()) return bad_input("cannot write '" + o.spy + "'");
        out << "  pattern before and after reordering written to " << o.spy << '\n';
    }
    if (!o.vtk.empty())
    {
        auto solved =
            std::find_if(result.roads.begin(), result.roads.end(),
                         [](const RoadReport& r) { return r.solved && r.unfinished.empty(); });
        if (solved == result.roads.end())
            solved = std::find_if(result.roads.begin(), result.roads.end(),
                                  [](const RoadReport& r) { return r.solved; });
        if (solved == result.roads.end())
            out << "  no solution to write to " << o.vtk << '\n';
        else
        {
            const std::string title =
                "tarvel-fem: " + model.description + ", " + road_name(solved->road) + " road" +
                (solved->unfinished.empty() ? std::string()
                                            : ", UNFINISHED iterate: " + solved->unfinished);
            if (physics == Physics::Solid)
                write_vtk(vtkFile.stream(), model.solid, solved->u, !solved->unfinished.empty(),
                          title);
            else
                write_vtk(vtkFile.stream(), model.mesh, model.z, physics, solved->u,
                          !solved->unfinished.empty(), title);
            if (!vtkFile.commit()) return bad_input("cannot write '" + o.vtk + "'");
            out << (solved->unfinished.empty() ? "  solution" : "  unfinished iterate")
                << " of the " << road_name(solved->road) << " road written to " << o.vtk << '\n';
        }
    }
    out << (ok ? "OK: every residual is at most 1e-8\n"
               : "FAILED: a road has no solution or a residual above 1e-8\n");
    result.exit_code = ok ? 0 : 1;
    return result;
}

int demo_main(int argc, const char* const* argv, std::ostream& out, std::ostream& err)
{
    if (const int code = petsc_dispatch(argc, argv, out, err); code >= 0) return code;
    const ParsedOptions parsed = parse_options(argc, argv);
    if (!parsed.error.empty())
    {
        err << "tarvel-fem: " << parsed.error << '\n';
        return 2;
    }
    if (parsed.help)
    {
        out << usage();
        return 0;
    }
    Options o = parsed.options;
    o.progress = ::isatty(STDERR_FILENO) == 1;
    return run_demo(o, out, err).exit_code;
}

}  // namespace tarvel_demo
