// Text forms of CVector and CMatrix. Not written yet: every reader and writer does nothing.
#include <tarvel/core/Matrix.h>
#include <tarvel/core/Vector.h>

void CVector::ReadASCII(CFile*) {}

void CVector::WriteASCII(CFile*, CString, CString, int, int, int, bool, bool) {}

void CMatrix::ReadASCII(CFile*) {}

void CMatrix::WriteASCII(CFile*, CString, CString, int, int, int, bool, bool) {}

void CMatrix::ReadASCII(CFile*, CString, CString, CString) {}
