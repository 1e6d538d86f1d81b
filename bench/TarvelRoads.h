// The library's two typical roads on a model problem, as a finite-element program takes them:
//  system matrix: CSystSpMat(n), m_bSym = true, AddValues per element, SymUnifyAndZero, then
//                 Cholesky_Solve or ConjGradient2;
//  skyline:       CReorderMat graph of the free DOFs, one reordering, PostReorder,
//                 CSkylineMatrix::Allocate(graph), AddValues with labels (fixed DOFs left out,
//                 their diagonal set to 1 and their values eliminated from the load), then
//                 Cholesky_Solve.
#pragma once

#include "fem/Problems.h"

#include <tarvel/Tarvel.h>

#include <memory>
#include <string>

namespace tarvel_bench
{

// Assembled system matrix (upper triangle), no boundary condition yet.
std::unique_ptr<CSystSpMat> assemble_system(tarvel_fem::FemProblem& p);

// Imposes the prescribed DOFs on K and on the load column B (SymUnifyAndZero).
void impose_prescribed(const tarvel_fem::FemProblem& p, CSystSpMat& K, CMatrix& B);

// The DOF graph of the free DOFs, relabelled by `method` and finished with PostReorder.
// Methods: "natural" (the identity labelling, no reordering run), "MinDegReorder2",
// "MinDegReorder3", "MinDegReorder4", "Hager1", "Hager2", "Hager3".
std::unique_ptr<CReorderMat> build_graph(const tarvel_fem::FemProblem& p,
                                         const std::string& method);

// The graph of the problem of that name under a labelling method, built once.
CReorderMat& benchmark_graph(const std::string& name, const std::string& method);

}  // namespace tarvel_bench
