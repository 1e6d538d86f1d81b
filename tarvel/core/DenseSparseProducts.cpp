// PLACEHOLDERS, replaced by the sparse-matrix work: products of CMatrix with CSparseMatrix and
// the conversions between them. They do nothing until then; they exist so that the virtual
// table of CMatrix is complete.
#include <tarvel/core/Matrix.h>

void CMatrix::PreMult(CSparseMatrix*, int) {}

void CMatrix::PreMult(CSparseMatrix*, CMatrix&, bool, int) const {}

void CMatrix::ATthisA(CSparseMatrix*) {}

void CMatrix::Sparse(CSparseMatrix*&) const {}

void CMatrix::UnSparse(CSparseMatrix*) {}
