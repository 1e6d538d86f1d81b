// From a mesh file's contents to a checked plane mesh (choices in MeshInput.h).
#include "MeshInput.h"

#include "fem/Elements.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <unordered_map>

namespace tarvel_demo
{
namespace
{

double cross(const tarvel_fem::Point2& o, const tarvel_fem::Point2& a, const tarvel_fem::Point2& b)
{
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

// Twice the signed area (shoelace formula): positive for counter-clockwise corners.
double twice_area(const tarvel_fem::Mesh2D& m, const long* c)
{
    double s = 0.0;
    for (int a = 0; a < m.corners; ++a)
    {
        const auto& p = m.nodes[c[a]];
        const auto& q = m.nodes[c[(a + 1) % m.corners]];
        s += p.x * q.y - q.x * p.y;
    }
    return s;
}

// The nodes the blocks use: their tags ascending in used, number[tag] its place there, at[i]
// its x, y, z in raw.coords. "" or the reason (a node used but not defined).
std::string number_nodes(const RawMesh& raw, const std::vector<RawMesh::Block>& blocks,
                         std::vector<std::size_t>& used,
                         std::unordered_map<std::size_t, long>& number,
                         std::vector<const double*>& at)
{
    std::unordered_map<std::size_t, std::size_t> position;  // tag -> index in raw.node_tags
    position.reserve(raw.node_tags.size());
    for (std::size_t i = 0; i < raw.node_tags.size(); ++i) position[raw.node_tags[i]] = i;
    for (const RawMesh::Block& b : blocks)
        for (std::size_t tag : b.node_tags)
        {
            if (!position.count(tag))
                return "refers to node " + std::to_string(tag) + ", which it does not define";
            used.push_back(tag);
        }
    std::sort(used.begin(), used.end());
    used.erase(std::unique(used.begin(), used.end()), used.end());
    number.reserve(used.size());
    for (std::size_t i = 0; i < used.size(); ++i)
    {
        number[used[i]] = static_cast<long>(i);
        at.push_back(&raw.coords[3 * position[used[i]]]);
    }
    return "";
}

bool blank(int c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }

}  // namespace

std::string check_mesh_header(const std::string& path, long long& offset)
{
    offset = 0;
    std::error_code ec;
    std::ifstream in;
    if (std::filesystem::is_regular_file(path, ec)) in.open(path, std::ios::binary);
    if (!in.is_open() || !in) return "cannot be read";
    std::streambuf& bytes = *in.rdbuf();
    int c = bytes.sbumpc();
    for (; c != EOF && blank(c); ++offset) c = bytes.sbumpc();  // blank lines, leading blanks
    std::string line;
    for (; c != EOF && c != '\n' && line.size() < 16; c = bytes.sbumpc())
        line += static_cast<char>(c);
    while (!line.empty() && blank(static_cast<unsigned char>(line.back()))) line.pop_back();
    if ((c == EOF || c == '\n') && (line == "$MeshFormat" || line == "$NOD")) return "";
    return "is not a Gmsh mesh file: its first line is not $MeshFormat (or $NOD), and scripts are "
           "not run";
}

std::string make_mesh(const RawMesh& raw, tarvel_fem::Mesh2D& mesh, std::vector<double>* z)
{
    // -- 1. One supported element kind, in a mesh without volume elements --
    if (raw.has_volume_elements)  // its surface triangles are boundaries, not a plane mesh
        return "holds volume elements; only plane meshes (triangles or quadrilaterals) are "
               "supported";
    const RawMesh::Block* block = nullptr;
    for (const RawMesh::Block& b : raw.surface_blocks)
    {
        if (b.element_tags.empty()) continue;
        if (b.type != kGmshTriangle3 && b.type != kGmshQuadrangle4)
            return "holds " + b.name +
                   " elements; only 3-node triangles and 4-node quadrilaterals are supported";
        if (block && block->type != b.type)
            return "mixes triangles and quadrilaterals; use one element kind";
        block = &b;
    }
    if (!block) return "holds no triangles or quadrilaterals";

    // -- 2. Used nodes, renumbered by ascending tag --
    std::vector<std::size_t> used;
    std::unordered_map<std::size_t, long> number;
    std::vector<const double*> at;
    if (std::string error = number_nodes(raw, raw.surface_blocks, used, number, at); !error.empty())
        return error;
    mesh = tarvel_fem::Mesh2D{};
    mesh.corners = block->corners;
    double zmin = 0.0, zmax = 0.0;
    for (std::size_t i = 0; i < used.size(); ++i)
    {
        const double* x = at[i];
        mesh.nodes.push_back({x[0], x[1]});
        zmin = i ? std::min(zmin, x[2]) : x[2];
        zmax = i ? std::max(zmax, x[2]) : x[2];
    }
    double xmin = mesh.nodes[0].x, xmax = xmin, ymin = mesh.nodes[0].y, ymax = ymin;
    for (const auto& p : mesh.nodes)
    {
        xmin = std::min(xmin, p.x);
        xmax = std::max(xmax, p.x);
        ymin = std::min(ymin, p.y);
        ymax = std::max(ymax, p.y);
    }
    const double size = std::max(xmax - xmin, ymax - ymin);
    if (!(xmax - xmin > 0.0)) return "has no extent along x";
    if (zmax - zmin > 1e-9 * size) return "is not plane: its nodes do not share one z";
    if (z)
    {
        z->clear();
        for (const double* x : at) z->push_back(x[2]);
    }

    // -- 3. Elements (every block holds the one kind), counter-clockwise, with area, convex --
    std::vector<std::size_t> element_tags;
    for (const RawMesh::Block& b : raw.surface_blocks)
    {
        for (std::size_t t : b.node_tags) mesh.connectivity.push_back(number[t]);
        element_tags.insert(element_tags.end(), b.element_tags.begin(), b.element_tags.end());
    }
    const double tiny = 1e-12 * size * size;
    for (long e = 0; e < mesh.num_elements(); ++e)
    {
        long* c = mesh.connectivity.data() + e * mesh.corners;
        const std::string which = "element " + std::to_string(element_tags[e]);
        const double area2 = twice_area(mesh, c);
        if (!(std::fabs(area2) > tiny)) return which + " has no area";
        if (area2 < 0.0) std::reverse(c + 1, c + mesh.corners);  // keeps the first corner
        if (mesh.corners == 4)
            for (int a = 0; a < 4; ++a)
                if (!(cross(mesh.nodes[c[a]], mesh.nodes[c[(a + 1) % 4]],
                            mesh.nodes[c[(a + 3) % 4]]) > 0.0))
                    return which + " is not a convex quadrilateral";
    }
    return "";
}

namespace
{

// The group of that name, or null.
const RawMesh::Group* group_named(const RawMesh& raw, const char* name)
{
    for (const RawMesh::Group& g : raw.surface_groups)
        if (g.name == name) return &g;
    return nullptr;
}

// Element e's corners oriented (choices in MeshInput.h); "" or why it is refused.
std::string orient_solid(tarvel_fem::Mesh3D& m, long e, std::size_t tag)
{
    long* c = m.connectivity.data() + e * m.corners;
    const std::string which = "element " + std::to_string(tag);
    if (m.corners == 4)
    {
        const double v =
            tarvel_fem::tet4_volume({m.nodes[c[0]], m.nodes[c[1]], m.nodes[c[2]], m.nodes[c[3]]});
        double size = 0.0;  // the longest edge from corner 0, for a relative test
        for (int a = 1; a < 4; ++a)
            size = std::max(size, std::hypot(m.nodes[c[a]].x - m.nodes[c[0]].x,
                                             m.nodes[c[a]].y - m.nodes[c[0]].y,
                                             m.nodes[c[a]].z - m.nodes[c[0]].z));
        if (!(std::fabs(v) > 1e-12 * size * size * size)) return which + " has no volume";
        if (v < 0) std::swap(c[2], c[3]);
        return "";
    }
    tarvel_fem::Hex h;
    for (int a = 0; a < 8; ++a) h[a] = m.nodes[c[a]];
    const auto jac = tarvel_fem::hex8_corner_jacobians(h);
    const bool positive = std::all_of(jac.begin(), jac.end(), [](double d) { return d > 0.0; });
    const bool negative = std::all_of(jac.begin(), jac.end(), [](double d) { return d < 0.0; });
    if (!positive && !negative)
        return which + " is not a valid hexahedron: it folds or is flat at a corner";
    if (negative) std::swap_ranges(c, c + 4, c + 4);
    return "";
}

}  // namespace

std::string make_solid_mesh(const RawMesh& raw, tarvel_fem::Mesh3D& mesh)
{
    // -- 1. One supported element kind, and the two boundary groups --
    const RawMesh::Block* block = nullptr;
    for (const RawMesh::Block& b : raw.volume_blocks)
    {
        if (b.element_tags.empty()) continue;
        if (b.type != kGmshTetrahedron4 && b.type != kGmshHexahedron8)
            return "holds " + b.name +
                   " elements; only 4-node tetrahedra and 8-node hexahedra are supported";
        if (block && block->type != b.type)
            return "mixes tetrahedra and hexahedra; use one element kind";
        block = &b;
    }
    if (!block) return "holds no tetrahedra or hexahedra";
    const RawMesh::Group* clamped = group_named(raw, kClampedGroup);
    const RawMesh::Group* load = group_named(raw, kLoadGroup);
    for (auto [group, name] : {std::pair{clamped, kClampedGroup}, std::pair{load, kLoadGroup}})
        if (!group)
            return std::string("has no physical surface named \"") + name +
                   "\" (a solid mesh names its clamped and its loaded surface)";

    // -- 2. Nodes of the volume elements, renumbered by ascending tag --
    std::vector<std::size_t> used;
    std::unordered_map<std::size_t, long> number;
    std::vector<const double*> at;
    if (std::string error = number_nodes(raw, raw.volume_blocks, used, number, at); !error.empty())
        return error;
    mesh = tarvel_fem::Mesh3D{};
    mesh.corners = block->corners;
    mesh.face_corners = block->type == kGmshTetrahedron4 ? 3 : 4;
    for (std::size_t i = 0; i < used.size(); ++i)
    {
        const double* x = at[i];
        mesh.nodes.push_back({x[0], x[1], x[2]});
    }

    // -- 3. Elements oriented --
    for (const RawMesh::Block& b : raw.volume_blocks)
        for (std::size_t t : b.node_tags) mesh.connectivity.push_back(number[t]);
    std::vector<std::size_t> element_tags;
    for (const RawMesh::Block& b : raw.volume_blocks)
        element_tags.insert(element_tags.end(), b.element_tags.begin(), b.element_tags.end());
    for (long e = 0; e < mesh.num_elements(); ++e)
        if (std::string error = orient_solid(mesh, e, element_tags[e]); !error.empty())
            return error;

    // -- 4. Boundary: clamped nodes, loaded faces of the element kind on the mesh's nodes --
    for (auto [group, name] : {std::pair{clamped, kClampedGroup}, std::pair{load, kLoadGroup}})
        for (const RawMesh::Block& b : group->blocks)
        {
            if (group == load && b.corners != mesh.face_corners && !b.element_tags.empty())
                return std::string("has ") + b.name + " elements in \"" + name +
                       "\"; its faces must be " +
                       (mesh.face_corners == 3 ? "3-node triangles" : "4-node quadrilaterals") +
                       " like its elements' faces";
            for (std::size_t tag : b.node_tags)
            {
                const auto at = number.find(tag);
                if (at == number.end())
                    return std::string("has node ") + std::to_string(tag) + " in \"" + name +
                           "\", which no volume element uses";
                (group == load ? mesh.load_faces : mesh.clamped).push_back(at->second);
            }
        }
    if (mesh.load_faces.empty()) return std::string("has no faces in \"") + kLoadGroup + "\"";
    std::sort(mesh.clamped.begin(), mesh.clamped.end());
    mesh.clamped.erase(std::unique(mesh.clamped.begin(), mesh.clamped.end()), mesh.clamped.end());
    return "";
}

}  // namespace tarvel_demo
