/// \file
/// Exceptions of the file and archive classes. They are thrown by value and derive from
/// std::exception through CException; numerical code never throws.
#pragma once

#include <tarvel/platform/Export.h>
#include <tarvel/platform/String.h>

#include <exception>

/// The root of the library's exceptions.
class TARVEL_API CException : public std::exception
{
public:
    CException() = default;
    const char* what() const noexcept override { return "CException"; }  ///< "CException"
};

/// A file operation failed: the cause (an enumerator below), the system's error number, the
/// file.
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

    /// The exception for cause, with the system's error number and the file's name (none when
    /// null).
    explicit CFileException(int cause = none, long lOsError = -1, LPCTSTR pszFileName = nullptr);
    /// A fixed text naming the cause (the fields carry the details).
    const char* what() const noexcept override;
    /// The cause that an operating-system error number stands for.
    static int OsErrorToException(long lOsError);

    int m_cause;            ///< an enumerator above
    long m_lOsError;        ///< errno of the failing call, -1 when none
    CString m_strFileName;  ///< the file concerned, empty when unknown
};

/// An archive operation failed: the cause (an enumerator below) and the file.
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

    /// The exception for cause, with the file's name (none when null).
    explicit CArchiveException(int cause = none, LPCTSTR pszFileName = nullptr);
    /// A fixed text naming the cause.
    const char* what() const noexcept override;

    int m_cause;            ///< an enumerator above
    CString m_strFileName;  ///< the file concerned, empty when unknown
};
