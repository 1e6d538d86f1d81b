// --export-mm (choices in ExportMM.h).
#include "ExportMM.h"

#include "fem/TarvelInput.h"

#include <tarvel/Tarvel.h>
#include <tarvel/exchange/MatrixMarket.h>

#include <filesystem>
#include <system_error>

namespace tarvel_demo
{

std::string prepare_export_dir(const std::string& dir)
{
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec || !std::filesystem::is_directory(dir))
        return "cannot make the directory '" + dir + "' for --export-mm";
    return "";
}

std::string export_matrix_market(tarvel_fem::FemProblem& p, const std::string& dir,
                                 std::ostream& out)
{
    CVirtMat::m_bSym = true;
    CSystSpMat K(static_cast<int>(p.num_dofs));
    tarvel_fem::assemble(K, p);
    CMatrix b = tarvel_fem::load_matrix(p);
    CVector dofs, values;
    tarvel_fem::prescribed_vectors(p, dofs, values);
    K.SymUnifyAndZero(dofs, values, &b);
    const std::filesystem::path base(dir);
    for (const auto& [name, status] :
         {std::pair{"K.mtx", MMWrite(K, (base / "K.mtx").string().c_str())},
          std::pair{"b.mtx", MMWrite(b, (base / "b.mtx").string().c_str())}})
    {
        const std::string path = (base / name).string();
        if (status != MM_OK) return "cannot write '" + path + "': " + MMStatusText(status);
        out << "  reduced system written to " << path << '\n';
    }
    out << '\n';
    return "";
}

}  // namespace tarvel_demo
