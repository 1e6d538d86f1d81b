/// \file
/// Tarvel: the whole public interface in one include.
#pragma once

// Platform layer: object root, strings, files, archives, message boxes, clock, random numbers
#include <tarvel/platform/AfxTypes.h>
#include <tarvel/platform/Archive.h>
#include <tarvel/platform/Assert.h>
#include <tarvel/platform/Clock.h>
#include <tarvel/platform/Exceptions.h>
#include <tarvel/platform/Export.h>
#include <tarvel/platform/File.h>
#include <tarvel/platform/MessageBox.h>
#include <tarvel/platform/Object.h>
#include <tarvel/platform/Progress.h>
#include <tarvel/platform/Random.h>
#include <tarvel/platform/String.h>

// Matrix model and dense algebra
#include <tarvel/core/Matrix.h>
#include <tarvel/core/Vector.h>
#include <tarvel/core/VirtMat.h>

// Sparse systems
#include <tarvel/sparse/SparseMatrix.h>
#include <tarvel/sparse/SymbolicCholesky.h>
#include <tarvel/sparse/SystSpMat.h>

// Number grammar and keyword searches of the text formats
#include <tarvel/io/NumberGrammar.h>

// Degree-of-freedom graph, reorderings and the skyline matrix
#include <tarvel/reorder/ArrayArray.h>
#include <tarvel/reorder/ReorderMat.h>
#include <tarvel/reorder/SkylineMatrix.h>

// Integer, object and function containers, complex numbers
#include <tarvel/containers/Complex.h>
#include <tarvel/containers/FuncMat.h>
#include <tarvel/containers/LongMatrix.h>
#include <tarvel/containers/LongVector.h>
#include <tarvel/containers/ObjMat.h>
#include <tarvel/containers/ObjVect.h>

// Exchange files
#include <tarvel/io/MatrixMarket.h>
