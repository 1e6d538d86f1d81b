/// \file
/// Matrix Market exchange files: the text format of the NIST Matrix Market collection, which
/// Octave, scipy, Julia and the SuiteSparse collection read and write. A file is a banner line
/// "%%MatrixMarket matrix <format> <field> <symmetry>", comment lines starting with '%', a size
/// line and the entries; indices are 1-based.
///
///   coordinate: "rows cols entries", then one "i j v" line per entry ("i j" for pattern)
///   array:      "rows cols", then the values one per line, column by column (for a symmetric
///               matrix, only the lower triangle, column by column)
///
/// Reference: R. F. Boisvert, R. Pozo, K. A. Remington, "The Matrix Market Exchange Formats:
/// Initial Design", NIST Interagency Report 5935, 1996.
///
/// Writing (MMWrite):
///  - a CSparseMatrix or CSystSpMat is written as "coordinate real", every stored cell (stored
///    zeros included, so the pattern survives), row by row. "symmetric" is written only for the
///    upper triangle of a symmetric matrix: when the caller says so (MM_SYMMETRIC_UPPER), or, by
///    default (MM_AS_STORED), for a CSystSpMat in symmetric mode (CVirtMat::m_bSym), which its
///    assembling and solvers take as such - never for a plain CSparseMatrix on the flag alone
///    (an upper-triangular general matrix stays "general"). A symmetric file lists cell (i, j),
///    j >= i, as the lower entry "j+1 i+1", the lower triangle column by column; a cell below
///    the diagonal makes MM_SYMMETRIC_UPPER fail with MM_WRONG_SHAPE, and MM_AS_STORED write
///    "general".
///  - the size is the matrix's own, not its last cell's: n x n when the caller gives n (a cell
///    beyond it: MM_WRONG_SHAPE); a CSystSpMat's order; otherwise the larger of the extent of
///    the cells and the size of the last Allocate (or MMRead) in each dimension, the larger of
///    the two dimensions for both when symmetric. Empty trailing rows and columns survive.
///  - a CVector is written as an n x 1 "array real general"; a CMatrix as rows x cols.
///  - values as printf's "%.17g" in the C locale (17 significant digits, enough to read back
///    every double exactly), produced by std::to_chars: the same bytes under every locale;
///    lines end with "\n" (the format's own convention; the reader also takes "\r\n").
///  - the file is written beside its target and renamed into place when complete, so a failed
///    write never leaves a truncated file under the target's name; a target that exists and is
///    not a regular file is never replaced (tarvel/platform/detail/ReplaceFile.h): a character
///    device is written in place, anything else is MM_OPEN_FAILED.
///
/// Reading (MMRead): "real", "integer" and "pattern" fields (pattern entries read as 1.0),
/// "general" and "symmetric" matrices, in coordinate or array form. Banner words are matched
/// without regard to case; "complex", "hermitian" and "skew-symmetric" are refused. Numbers are
/// read as strtod reads them in the C locale ("1.5", "-2e-3", "inf", "0x1p-3", a leading "+"),
/// whatever the process's locale. Comment lines ('%' first) and blank lines may stand anywhere
/// after the banner, between entries too. A file is read until a read gives nothing, so pipes
/// and FIFOs are read like files.
///  - integer fields: any number of digits, read as the real they denote (exact up to 2^53, the
///    nearest double beyond), so 100000000000000000000 reads as 1e20; an index beyond the int
///    range is out of range.
///  - refused lines: an entry or size line longer than 4096 characters, and a line holding a
///    NUL byte (a file zero-filled after a crash), each with a message saying so; comment lines
///    may have any length.
///  - into a CSparseMatrix: the entries of the file, each stored as a cell (explicit zeros
///    included); repeated coordinates are summed, as assembling would. A symmetric file is
///    stored as its upper triangle when CVirtMat::m_bSym is set, as both triangles otherwise (an
///    entry above the diagonal in a symmetric file stands for its mirror as well); written back,
///    the upper triangle needs MM_SYMMETRIC_UPPER (a CSystSpMat needs nothing). Rows without
///    entries are not made (GetRows() may be less than the file's row count; the file's size is
///    kept for MMWrite).
///  - into a CSystSpMat (through either reference): a square file only; n rows, as Allocate
///    makes them, then the entries as above.
///  - into a CMatrix: an array file, rows x cols (a symmetric one filled on both sides). Into a
///    CVector: an array file with one column or one row. Coordinate files are refused for the
///    dense classes: their size is not bounded by the entries they hold.
///  - on any failure the target is unchanged and every buffer is released; the message names
///    the line and the cause.
///
/// Hostile input: every count is checked before it sizes anything, against what was actually
/// read, never against the file's length (a pipe has none). Rows and columns must fit the
/// library's int indices; entries and values are kept as they are read (memory follows the
/// file), and the count line is checked against them at the end; a dense target is sized only
/// after all its values were read; a system matrix's rows beyond 2^16 need entries read, at
/// most 16 empty rows per entry (a 2000 x 2000 system with 3 entries is read; 2e9 rows from a
/// one-line file are refused before anything is allocated).
#pragma once

#include <tarvel/platform/Export.h>
#include <tarvel/platform/String.h>

class CSparseMatrix;
class CVector;

/// Results of MMRead and MMWrite; MMStatusText gives a fixed text for each.
enum MMStatus
{
    MM_OK = 0,
    MM_OPEN_FAILED,     ///< the file cannot be opened (or, writing, created)
    MM_WRITE_FAILED,    ///< writing or renaming failed; no file under the target name was made
    MM_BAD_BANNER,      ///< the first line is not a Matrix Market banner
    MM_UNSUPPORTED,     ///< a valid banner this reader does not take (complex, hermitian, ...)
    MM_BAD_SIZE,        ///< the size line is missing or malformed, or a size is negative
    MM_TOO_LARGE,       ///< a size the library's indices or the file's length cannot hold
    MM_BAD_ENTRY,       ///< an entry line that is not the numbers its field calls for
    MM_OUT_OF_RANGE,    ///< an index outside 1 .. rows or 1 .. cols
    MM_COUNT_MISMATCH,  ///< fewer or more entries than the size line announces
    MM_WRONG_SHAPE      ///< a file the target cannot hold (not square, coordinate into dense, ...)
};

/// What the status means, in words ("no error", ...).
TARVEL_API const char* MMStatusText(int status);

/// Writes A or v to path; MM_OK or MM_OPEN_FAILED / MM_WRITE_FAILED (MM_WRONG_SHAPE below).
/// What the cells of a sparse matrix stand for, as its caller knows.
enum MMSymmetry
{
    MM_AS_STORED = 0,   ///< "symmetric" for a CSystSpMat in symmetric mode, else "general"
    MM_GENERAL,         ///< the cells are the matrix
    MM_SYMMETRIC_UPPER  ///< the cells are the upper triangle of a symmetric matrix
};

/// MMWrite(A, path) is MMWrite(A, path, MM_AS_STORED, -1).
TARVEL_API int MMWrite(const CSparseMatrix& A, LPCTSTR path);
/// Writes A as symmetry says (an MMSymmetry), n x n when n >= 0; MM_WRONG_SHAPE (no file made)
/// for a cell below the diagonal with MM_SYMMETRIC_UPPER or a cell beyond n.
TARVEL_API int MMWrite(const CSparseMatrix& A, LPCTSTR path, int symmetry, int n = -1);
TARVEL_API int MMWrite(const CVector& v, LPCTSTR path);  ///< a CMatrix is written as rows x cols

/// Reads path into A (a CSystSpMat when A is one) or v (a CMatrix when v is one). message, when
/// given, receives one line saying what went wrong and where ("line 7: row index 12 outside
/// 1..10"), or is emptied on success.
///@{
TARVEL_API int MMRead(LPCTSTR path, CSparseMatrix& A, CString* message = nullptr);
TARVEL_API int MMRead(LPCTSTR path, CVector& v, CString* message = nullptr);
///@}
