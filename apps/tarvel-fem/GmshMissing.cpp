// Stand-in for GmshReader.cpp when the Gmsh API was not found at build time.
#include "MeshInput.h"

namespace tarvel_demo
{

const char* const kGmshMissing =
    "--mesh is not built in: this program was built without Gmsh's C++ API (Debian package "
    "libgmsh-dev)";

bool gmsh_built_in() { return false; }

std::string read_gmsh(const std::string&, RawMesh&) { return kGmshMissing; }

}  // namespace tarvel_demo
