// Reading a mesh file through the Gmsh API (Debian's libgmsh-dev); compiled when CMake finds it.
// The API is initialized for each file and finalized afterwards, its terminal output silenced;
// its errors arrive as exceptions (a std::string in the 4.x series, std::exception in later ones).
// Gmsh chooses a reader by the file's extension and runs everything else as a script: it sees
// only a link "mesh.msh" in a private directory (see read_gmsh in MeshInput.h).
#include "MeshInput.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gmsh.h>
#include <unistd.h>

namespace tarvel_demo
{

const char* const kGmshMissing = "";

bool gmsh_built_in() { return true; }

namespace
{

// The elements of dimension dim (of one entity, or all when tag is -1), one block per kind.
std::vector<RawMesh::Block> read_blocks(int dim, int tag)
{
    std::vector<RawMesh::Block> blocks;
    std::vector<int> types;
    std::vector<std::vector<std::size_t>> elementTags, nodeTags;
    gmsh::model::mesh::getElements(types, elementTags, nodeTags, dim, tag);
    for (std::size_t b = 0; b < types.size(); ++b)
    {
        RawMesh::Block block;
        block.type = types[b];
        int edim = 0, order = 0, primary = 0;
        std::vector<double> local;
        gmsh::model::mesh::getElementProperties(types[b], block.name, edim, order, block.corners,
                                                local, primary);
        block.element_tags = std::move(elementTags[b]);
        block.node_tags = std::move(nodeTags[b]);
        blocks.push_back(std::move(block));
    }
    return blocks;
}

void read_model(RawMesh& raw)
{
    std::vector<double> parametric;
    gmsh::model::mesh::getNodes(raw.node_tags, raw.coords, parametric, -1, -1, false, false);
    raw.surface_blocks = read_blocks(2, -1);
    raw.volume_blocks = read_blocks(3, -1);
    raw.has_volume_elements = !raw.volume_blocks.empty();
    gmsh::vectorpair groups;
    gmsh::model::getPhysicalGroups(groups, 2);
    for (const auto& [dim, tag] : groups)
    {
        RawMesh::Group group;
        gmsh::model::getPhysicalName(dim, tag, group.name);
        std::vector<int> entities;
        gmsh::model::getEntitiesForPhysicalGroup(dim, tag, entities);
        for (int entity : entities)
            for (RawMesh::Block& b : read_blocks(dim, entity)) group.blocks.push_back(std::move(b));
        raw.surface_groups.push_back(std::move(group));
    }
}

// The message of a Gmsh failure on one line, the private link's name replaced by the user's.
std::string one_line(std::string text, const std::string& link, const std::string& path)
{
    for (std::size_t at = text.find(link); !link.empty() && at != std::string::npos;
         at = text.find(link, at + path.size()))
        text.replace(at, link.size(), path);
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    return text.empty() ? "Gmsh reported an error" : text;
}

// A fresh directory only this process can enter, removed with its contents at the end.
class PrivateDir
{
public:
    PrivateDir()
    {
        std::error_code ec;
        std::string pattern = (std::filesystem::temp_directory_path(ec) / "tarvel-fem-XXXXXX");
        if (ec) pattern = "/tmp/tarvel-fem-XXXXXX";
        if (::mkdtemp(pattern.data())) m_path = pattern;
    }
    ~PrivateDir()
    {
        std::error_code ec;
        if (!m_path.empty()) std::filesystem::remove_all(m_path, ec);
    }
    PrivateDir(const PrivateDir&) = delete;
    PrivateDir& operator=(const PrivateDir&) = delete;
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

}  // namespace

std::string read_gmsh(const std::string& path, RawMesh& raw)
{
    // Gmsh says nothing about a file that is missing, and runs one that is not a mesh.
    long long offset = 0;
    const std::string header = check_mesh_header(path, offset);
    if (!header.empty()) return header;
    const PrivateDir dir;
    if (dir.path().empty()) return "cannot be read (no private temporary directory)";
    const std::filesystem::path link = dir.path() / "mesh.msh";
    std::error_code ec;
    if (offset == 0)
        std::filesystem::create_symlink(std::filesystem::absolute(path, ec), link, ec);
    else
    {
        std::ifstream in(path, std::ios::binary);
        std::ofstream out(link, std::ios::binary);
        in.seekg(offset);
        if (!(out << in.rdbuf()) || !out.flush()) return "cannot be read (no room for a copy)";
    }
    if (ec) return "cannot be read (" + ec.message() + ")";
    std::string error;
    try
    {
        gmsh::initialize(0, nullptr, false);
        gmsh::option::setNumber("General.Terminal", 0);
        gmsh::open(link.string());
        read_model(raw);
    }
    catch (const std::exception& e)
    {
        error = one_line(e.what(), link.string(), path);
    }
    catch (const std::string& s)
    {
        error = one_line(s, link.string(), path);
    }
    catch (...)
    {
        error = "Gmsh reported an error";
    }
    try
    {
        gmsh::finalize();
    }
    catch (...)
    {
    }
    return error.empty() ? "" : "is not a mesh Gmsh can read (" + error + ")";
}

}  // namespace tarvel_demo
