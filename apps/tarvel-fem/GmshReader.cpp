// Reading a mesh file through the Gmsh API (Debian's libgmsh-dev); compiled when CMake finds it.
// The API is initialized for each file and finalized afterwards, its terminal output silenced;
// its errors arrive as exceptions (a std::string in the 4.x series, std::exception in later ones).
#include "MeshInput.h"

#include <filesystem>
#include <fstream>
#include <gmsh.h>

namespace tarvel_demo
{

const char* const kGmshMissing = "";

bool gmsh_built_in() { return true; }

namespace
{

void read_model(RawMesh& raw)
{
    std::vector<double> parametric;
    gmsh::model::mesh::getNodes(raw.node_tags, raw.coords, parametric, -1, -1, false, false);

    std::vector<int> types;
    std::vector<std::vector<std::size_t>> elementTags, nodeTags;
    gmsh::model::mesh::getElements(types, elementTags, nodeTags, 2, -1);
    for (std::size_t b = 0; b < types.size(); ++b)
    {
        RawMesh::Block block;
        block.type = types[b];
        int dim = 0, order = 0, primary = 0;
        std::vector<double> local;
        gmsh::model::mesh::getElementProperties(types[b], block.name, dim, order, block.corners,
                                                local, primary);
        block.element_tags = std::move(elementTags[b]);
        block.node_tags = std::move(nodeTags[b]);
        raw.surface_blocks.push_back(std::move(block));
    }
    gmsh::model::mesh::getElements(types, elementTags, nodeTags, 3, -1);
    raw.has_volume_elements = !types.empty();
}

// The message of a Gmsh failure on one line.
std::string one_line(std::string text)
{
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    return text.empty() ? "Gmsh reported an error" : text;
}

}  // namespace

std::string read_gmsh(const std::string& path, RawMesh& raw)
{
    // Gmsh itself says nothing about a file that is missing: check that it can be read first.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec) || !std::ifstream(path))
        return "cannot be read";
    std::string error;
    try
    {
        gmsh::initialize(0, nullptr, false);
        gmsh::option::setNumber("General.Terminal", 0);
        gmsh::open(path);
        read_model(raw);
    }
    catch (const std::exception& e)
    {
        error = one_line(e.what());
    }
    catch (const std::string& s)
    {
        error = one_line(s);
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
