// Matrix Market exchange files: the text format of the NIST Matrix Market collection, which
// Octave, scipy, Julia and the SuiteSparse collection read and write. A file is a banner line
// "%%MatrixMarket matrix <format> <field> <symmetry>", comment lines starting with '%', a size
// line and the entries; indices are 1-based.
//
//   coordinate: "rows cols entries", then one "i j v" line per entry ("i j" for pattern)
//   array:      "rows cols", then the values one per line, column by column (for a symmetric
//               matrix, only the lower triangle, column by column)
//
// Reference: R. F. Boisvert, R. Pozo, K. A. Remington, "The Matrix Market Exchange Formats:
// Initial Design", NIST Interagency Report 5935, 1996.
//
// Writing (MMWrite):
//  - a CSparseMatrix or CSystSpMat is written as "coordinate real", every stored cell (stored
//    zeros included, so the pattern survives), row by row. It is "symmetric" when
//    CVirtMat::m_bSym is set, the matrix is square (a CSystSpMat always is) and no stored cell
//    lies below the diagonal: cell (i, j), j >= i, is then written as the lower entry "j+1 i+1",
//    which lists the lower triangle column by column. Otherwise it is "general". The size is
//    GetRows() x GetColumns() (for a plain sparse matrix, the last stored row and column).
//  - a CVector is written as an n x 1 "array real general"; a CMatrix as rows x cols.
//  - values with 17 significant digits ("%.17g"), enough to read back every double exactly;
//    lines end with "\n" (the format's own convention; the reader also takes "\r\n").
//  - the file is written beside its target and renamed into place when complete, so a failed
//    write never leaves a truncated file under the target's name; a target that exists and is
//    not a regular file is never replaced (tarvel/platform/detail/ReplaceFile.h): a character
//    device is written in place, anything else is MM_OPEN_FAILED.
//
// Reading (MMRead): "real", "integer" and "pattern" fields (pattern entries read as 1.0),
// "general" and "symmetric" matrices, in coordinate or array form. Banner words are matched
// without regard to case; "complex", "hermitian" and "skew-symmetric" are refused.
//  - into a CSparseMatrix: the entries of the file, each stored as a cell (explicit zeros
//    included); repeated coordinates are summed, as assembling would. A symmetric file is
//    stored as its upper triangle when CVirtMat::m_bSym is set, as both triangles otherwise (an
//    entry above the diagonal in a symmetric file stands for its mirror as well). Rows without
//    entries are not made (so GetRows() may be less than the file's row count).
//  - into a CSystSpMat (through either reference): a square file only; n rows, as Allocate
//    makes them, then the entries as above.
//  - into a CMatrix: an array file, rows x cols (a symmetric one filled on both sides). Into a
//    CVector: an array file with one column or one row. Coordinate files are refused for the
//    dense classes: their size is not bounded by the entries they hold.
//  - on any failure the target is unchanged and every buffer is released.
//
// Hostile input: every count is checked before it sizes anything. Rows and columns must fit the
// library's int indices; the entries a size line announces are never reserved ahead (entries are
// kept as they are read, so memory follows the file's length); a dense target's rows x cols and
// a system matrix's row count must not exceed the number of bytes in the file (each value or
// row needs at least one byte), so a forged size line is refused before anything is allocated.
#pragma once

#include <tarvel/platform/Export.h>
#include <tarvel/platform/String.h>

class CSparseMatrix;
class CVector;

// Results of MMRead and MMWrite; MMStatusText gives a fixed text for each.
enum MMStatus
{
    MM_OK = 0,
    MM_OPEN_FAILED,     // the file cannot be opened (or, writing, created)
    MM_WRITE_FAILED,    // writing or renaming failed; no file under the target name was made
    MM_BAD_BANNER,      // the first line is not a Matrix Market banner
    MM_UNSUPPORTED,     // a valid banner this reader does not take (complex, hermitian, ...)
    MM_BAD_SIZE,        // the size line is missing or malformed, or a size is negative
    MM_TOO_LARGE,       // a size the library's indices or the file's length cannot hold
    MM_BAD_ENTRY,       // an entry line that is not the numbers its field calls for
    MM_OUT_OF_RANGE,    // an index outside 1 .. rows or 1 .. cols
    MM_COUNT_MISMATCH,  // fewer or more entries than the size line announces
    MM_WRONG_SHAPE      // a file the target cannot hold (not square, coordinate into dense, ...)
};

TARVEL_API const char* MMStatusText(int status);

// Writes A or v to path; MM_OK or MM_OPEN_FAILED / MM_WRITE_FAILED.
TARVEL_API int MMWrite(const CSparseMatrix& A, LPCTSTR path);
TARVEL_API int MMWrite(const CVector& v, LPCTSTR path);  // a CMatrix is written as rows x cols

// Reads path into A (a CSystSpMat when A is one) or v (a CMatrix when v is one). message, when
// given, receives one line saying what went wrong and where ("line 7: row index 12 outside
// 1..10"), or is emptied on success.
TARVEL_API int MMRead(LPCTSTR path, CSparseMatrix& A, CString* message = nullptr);
TARVEL_API int MMRead(LPCTSTR path, CVector& v, CString* message = nullptr);
