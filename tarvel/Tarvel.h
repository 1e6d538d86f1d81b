/// \file
/// Tarvel: the whole public interface in one include, layer by layer from the lowest.
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

// Matrix model and dense algebra; the number grammar and keyword searches of the text formats
#include <tarvel/core/Matrix.h>
#include <tarvel/core/NumberGrammar.h>
#include <tarvel/core/Vector.h>
#include <tarvel/core/VirtMat.h>

// Integer, object and function containers, complex numbers
#include <tarvel/containers/Complex.h>
#include <tarvel/containers/FuncMat.h>
#include <tarvel/containers/LongMatrix.h>
#include <tarvel/containers/LongVector.h>
#include <tarvel/containers/ObjMat.h>
#include <tarvel/containers/ObjVect.h>

// Sparse systems
#include <tarvel/sparse/SparseMatrix.h>
#include <tarvel/sparse/SymbolicCholesky.h>
#include <tarvel/sparse/SystSpMat.h>

// Degree-of-freedom graph and reorderings
#include <tarvel/reorder/ArrayArray.h>
#include <tarvel/reorder/ReorderMat.h>

// Skyline (profile) matrix
#include <tarvel/skyline/SkylineMatrix.h>

// Exchange files
#include <tarvel/exchange/MatrixMarket.h>
