/// \file
/// Exceptions of the file and archive classes. They are thrown by value and derive from
/// std::exception through CException; numerical code never throws.
#pragma once

#include <tarvel/platform/Export.h>
#include <tarvel/platform/String.h>

#include <exception>

class TARVEL_API CException : public std::exception
{
public:
    CException() = default;
    const char* what() const noexcept override { return "CException"; }
};

class TARVEL_API CFileException : public CException
{
public:
    enum
    {
        none,
        generic,
        fileNotFound,
        badPath,
        tooManyOpenFiles,
        accessDenied,
        invalidFile,
        removeCurrentDir,
        directoryFull,
        badSeek,
        hardIO,
        sharingViolation,
        lockViolation,
        diskFull,
        endOfFile
    };

    explicit CFileException(int cause = none, long lOsError = -1, LPCTSTR pszFileName = nullptr);
    /// A fixed text naming the cause (the fields carry the details).
    const char* what() const noexcept override;
    /// The cause that an operating-system error number stands for.
    static int OsErrorToException(long lOsError);

    int m_cause;
    long m_lOsError;  ///< errno of the failing call, -1 when none
    CString m_strFileName;
};

class TARVEL_API CArchiveException : public CException
{
public:
    enum
    {
        none,
        generic,
        readOnly,
        endOfFile,
        writeOnly,
        badIndex,
        badClass,
        badSchema
    };

    explicit CArchiveException(int cause = none, LPCTSTR pszFileName = nullptr);
    /// A fixed text naming the cause.
    const char* what() const noexcept override;

    int m_cause;
    CString m_strFileName;
};
