// Steps of the library's two roads on a FemProblem that the example programs share: counting a
// system matrix's cells, the graph of the free DOFs, the profile a labelling gives, the skyline
// system assembled by labels, and the reorderings by name.
//
// Numbering: the graph and the skyline matrix may see the DOFs renumbered, DOF d as number[d]
// (a permutation; an empty vector is the identity). The skyline matrix is indexed by labels:
// DOF d is row and column g.f_v(number[d]).
// Prescribed DOFs stay out of the graph (-1 in the element lists): each keeps a unit diagonal in
// the skyline matrix and its value is eliminated from the load (Problems.h, eliminated_load).
#pragma once

#include "fem/Problems.h"

#include <tarvel/Tarvel.h>

#include <vector>

namespace tarvel_fem
{

// Cells stored in the rows of K.
long stored_entries(const CSystSpMat& K);

// The graph of p's free DOFs: Alloc, count pass, Init, fill pass. g keeps its labels (identity).
void build_free_graph(CReorderMat& g, const FemProblem& p, const std::vector<long>& number = {});

// The profile that g's labelling gives a skyline matrix, counted without allocating it: values =
// sum of the column heights h_j, work = sum of h_j^2 / 2 (about the multiply-adds of the
// factorization). g needs no PostReorder.
void profile_of(const CReorderMat& g, double& values, double& work);

// K sized from g (PostReorder done) and assembled by labels, with a unit diagonal at every
// prescribed DOF; B the n x 1 eliminated load by labels. False when the profile cannot be
// allocated.
bool assemble_skyline(CSkylineMatrix& K, CMatrix& B, FemProblem& p, CReorderMat& g,
                      const std::vector<long>& number = {});

// The solution by DOF from B held by labels.
std::vector<double> solution_by_dof(const CMatrix& B, const CReorderMat& g,
                                    const std::vector<long>& number = {});

// Every reordering of CReorderMat by its member name; MinDegReorder takes no file (null).
struct NamedReordering
{
    const char* name;
    void (*run)(CReorderMat&);
};
const std::vector<NamedReordering>& reorderings();

}  // namespace tarvel_fem
