/// \file
/// CVirtMat and CVirtRealMat: the abstract matrix interface through which solvers, assembling
/// code and the text and archive layers handle any matrix, and the two class-wide values.
///
/// Virtual-table order (after CObject's five): CVirtMat adds Allocate(int*, int), ReadASCII,
/// WriteASCII; CVirtRealMat continues with AddValues, Cholesky_Solve, operator=(double),
/// operator+=(double). Derived classes append their own operations after these. A program
/// compiled against one build of the library calls virtual operations by their position in the
/// table, so every class header declares its virtual operations in a fixed order: append new
/// ones, never reorder.
#pragma once

#include <tarvel/platform/Export.h>
#include <tarvel/platform/File.h>
#include <tarvel/platform/Object.h>
#include <tarvel/platform/String.h>

#include <cstdint>

/// The abstract matrix interface and the class-wide values (this file's comment gives the
/// virtual-table order).
class TARVEL_API CVirtMat : public CObject
{
    DECLARE_DYNAMIC(CVirtMat)

public:
    CVirtMat() = default;
    ~CVirtMat() override = default;

    /// 1. Sizes the object from an array of integers and its length; true when storage was
    ///    obtained. Each class reads the array in its own way.
    virtual bool Allocate(int* dims, int count) = 0;
    /// 2. Reads the object from a text file.
    virtual void ReadASCII(CFile* file) = 0;
    /// 3. Writes the object to a text file.
    virtual void WriteASCII(CFile* file, CString prefix, CString suffix, int width, int precision,
                            int format, bool rowNumbers, bool header) = 0;

    // ---- The number grammar (tarvel/core/NumberGrammar.h states its rules and choices) ----
    /// Substitutes the symbols of the line from pos on, then moves pos past the next number of
    /// the line and gives its characters in number ("," stored as "."); number is empty, and
    /// pos the line's length, when the line holds no further number.
    static void ReadNumber(int& pos, CString& line, CString& number);
    /// Each replaces every stand-alone keyword of its family that begins at or after start.
    ///@{
    static void ReplacePI(CString& line, int start);
    static void ReplaceIs(CString& line, int start);
    static void ReplaceGravity(CString& line, int start);
    ///@}

    /// Floating-point operations counted by the counting operations since the last reset;
    /// 32-bit, wraps modulo 2^32. Only reset and incremented by the library.
    /// Threads: one counter for the whole process. Operations running on several threads add to
    /// it together, unsynchronized, so a count is exact only while one thread counts; a thread
    /// that resets it resets everyone's count.
    static std::uint32_t m_Flops;
    /// Symmetric mode of system-matrix assembling and iteration. Set only by callers.
    /// Threads: one flag for the whole process; set it before the threads that use it start.
    static bool m_bSym;

protected:
    /// Copies and moves for the derived classes (nothing to copy).
    ///@{
    CVirtMat(const CVirtMat&) = default;
    CVirtMat(CVirtMat&&) = default;
    CVirtMat& operator=(const CVirtMat&) = default;
    CVirtMat& operator=(CVirtMat&&) = default;
    ///@}
};

/// A matrix of real values: element assembling, a solve and whole-matrix assignment.
class TARVEL_API CVirtRealMat : public CVirtMat
{
    DECLARE_DYNAMIC(CVirtRealMat)

public:
    CVirtRealMat() = default;
    ~CVirtRealMat() override = default;

    /// 4. Adds an element's contribution: global indices, a matching block of values, and the
    ///    number of indices. Negative indices are skipped.
    virtual void AddValues(long* idx, double* val, int n) = 0;
    /// 5. Factorizes in place and overwrites the right-hand side with the solution; 1 on
    ///    success. This base does nothing and returns 0, leaving both arguments untouched.
    virtual int Cholesky_Solve(CVirtMat* B, double& seconds);
    /// 6. Sets every stored value.
    virtual CVirtRealMat& operator=(double v) = 0;
    /// 7. Adds to every stored value.
    virtual CVirtRealMat& operator+=(double v) = 0;

protected:
    /// Copies and moves for the derived classes (nothing to copy).
    ///@{
    CVirtRealMat(const CVirtRealMat&) = default;
    CVirtRealMat(CVirtRealMat&&) = default;
    CVirtRealMat& operator=(const CVirtRealMat&) = default;
    CVirtRealMat& operator=(CVirtRealMat&&) = default;
    ///@}
};
