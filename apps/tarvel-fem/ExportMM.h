// --export-mm: the reduced system of the system road written as Matrix Market files, for
// Octave, scipy or any program that reads the format.
//
// Choices:
//  - The matrix is the upper triangle that the system road factorizes (m_bSym set, the
//    prescribed DOFs imposed by SymUnifyAndZero), written as DIR/K.mtx, "symmetric"; the
//    right-hand side after imposing, as DIR/b.mtx (an n x 1 array). Solving K u = b gives the
//    roads' solution.
//  - DIR is made when missing, before any work: a directory that cannot be made is bad input.
#pragma once

#include "fem/Problems.h"

#include <ostream>
#include <string>

namespace tarvel_demo
{

// Makes dir (and its parents); "" or the one-line error (without the program's prefix).
std::string prepare_export_dir(const std::string& dir);

// Assembles, imposes and writes the two files; prints one line per file. "" or the error.
std::string export_matrix_market(tarvel_fem::FemProblem& p, const std::string& dir,
                                 std::ostream& out);

}  // namespace tarvel_demo
