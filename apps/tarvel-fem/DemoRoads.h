// The four roads as tarvel-fem takes them on a FemProblem, each phase timed and printed.
//
// Choices:
//  - Every road assembles its own matrix through AddValues, so each stands on its own.
//  - cg: ConjGradient2 with diagonal scaling, at most 2n iterations, stopping when the squared
//    residual norm falls below 1e-24 of its start (a relative residual of about 1e-12).
//  - gs: GaussSeidel_Iter stops when no value changes by more than 1e-12 of the largest
//    |b_i / K_ii| (the size of a first Jacobi step, known before solving), or after the caller's
//    sweep limit. The sweeps it needs grow with the square of the elements along the mesh, so
//    large problems stop at the limit, and the residual says so.
//  - skyline: a reordering whose profile would cost more than 2e10 multiply-adds to factorize (a
//    minute or more) is not solved; the road fails with that reason.
//  - system: the factor's entries are counted before factorizing (CholeskyFactorSize) and
//    printed with the storage they take; above the caller's limit the road is not solved and
//    fails with that reason (each entry is a cell of kFactorEntryBytes).
#pragma once

#include "Options.h"
#include "fem/Problems.h"

#include <tarvel/Tarvel.h>

#include <ostream>
#include <string>
#include <vector>

namespace tarvel_demo
{

struct RoadOutcome
{
    Road road = Road::System;
    std::vector<double> u;   // the solution by DOF; empty when the road failed
    std::string failure;     // why there is no solution
    std::string unfinished;  // why u is an iterate rather than the solution; "" when final
};

// The skyline road's graph of the free DOFs, relabelled by one reordering (PostReorder done),
// with its measures under the mesh numbering and under the new labels.
struct ReorderedGraph
{
    CReorderMat graph{1};  // type 1: a tabu array for the reorderings that need one
    std::string reordering;
    int bandwidthBefore = 0, bandwidthAfter = 0;
    long long envelopeBefore = 0, envelopeAfter = 0;  // Env64: exact past 2^31
    double profileBefore = 0.0, profileAfter = 0.0, workAfter = 0.0;
};

constexpr double kMaxSkylineWork = 2e10;

// Builds the graph, runs the reordering ("none": the mesh numbering), prints the phases.
void reorder_graph(const tarvel_fem::FemProblem& p, const std::string& reordering,
                   ReorderedGraph& g, std::ostream& out);

constexpr double kFactorEntryBytes = 24.0;  // a cell: link, value, column

// labels: when given, DOF d is assembled as row and column labels->f_v(d) (the solution comes
// back in DOF order).
RoadOutcome system_road(tarvel_fem::FemProblem& p, std::ostream& out, long long maxFactor,
                        const CReorderMat* labels = nullptr);
RoadOutcome skyline_road(tarvel_fem::FemProblem& p, ReorderedGraph& g, std::ostream& out);
RoadOutcome cg_road(tarvel_fem::FemProblem& p, std::ostream& out);
RoadOutcome gs_road(tarvel_fem::FemProblem& p, int maxSweeps, std::ostream& out);
// CSupernodalCholesky of Tarvel::Direct on the system road's matrix (DirectRoad.cpp; without
// the component, DirectMissing.cpp fails with "not built in").
RoadOutcome direct_road(tarvel_fem::FemProblem& p, std::ostream& out);

// Shared by the roads on CSystSpMat: the upper triangle assembled, the prescribed DOFs imposed,
// B the load; prints the two phases. With labels, DOF d is row and column labels->f_v(d).
void prepare_system(CSystSpMat& K, CMatrix& B, tarvel_fem::FemProblem& p, std::ostream& out,
                    const CReorderMat* labels = nullptr);

}  // namespace tarvel_demo
