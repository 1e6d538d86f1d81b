/// \file
/// CFile: an unbuffered binary file over the operating system's file descriptor.
/// Open reports failure by its result; the throwing constructor, Read, Write and Seek signal
/// errors with CFileException thrown by value. The destructor closes an open file.
///
/// Choices of this platform:
///  - Open refuses a directory (accessDenied), though the system would open one for reading.
///  - GetFilePath gives the name as it was passed to Open.
///  - Flush does nothing (every Write has reached the system); Close never throws.
///  - Descriptors are not inherited by child processes.
#pragma once

#include <tarvel/platform/Exceptions.h>
#include <tarvel/platform/Export.h>
#include <tarvel/platform/String.h>

/// A binary file (this file's comment states its rules).
class TARVEL_API CFile
{
public:
    /// The flags of Open: one access mode, sharing (accepted, not enforced), creation.
    enum OpenFlags : UINT
    {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,  ///< accepted; no locking on this platform
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeNoInherit = 0x0080,
        modeCreate = 0x1000,      ///< create, or truncate an existing file
        modeNoTruncate = 0x2000,  ///< with modeCreate: keep an existing file's contents
        typeText = 0x4000,        ///< accepted; files are always binary
        typeBinary = 0x8000       ///< accepted; files are always binary
    };
    /// Where Seek counts from.
    enum SeekPosition : UINT
    {
        begin = 0,
        current = 1,
        end = 2
    };

    CFile();
    CFile(LPCTSTR lpszFileName, UINT nOpenFlags);  ///< throws CFileException when it cannot open
    virtual ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    /// Opens the file; FALSE on failure, with the cause in *pError when given.
    virtual BOOL Open(LPCTSTR lpszFileName, UINT nOpenFlags, CFileException* pError = nullptr);
    virtual UINT Read(void* lpBuf, UINT nCount);  ///< fewer bytes than asked at the end of file
    virtual void Write(const void* lpBuf, UINT nCount);  ///< all nCount bytes
    virtual ULONGLONG Seek(LONGLONG lOff, UINT nFrom);   ///< the new position
    void SeekToBegin();                                  ///< position 0
    ULONGLONG SeekToEnd();                               ///< the length
    virtual ULONGLONG GetPosition() const;               ///< bytes from the start
    virtual ULONGLONG GetLength() const;                 ///< bytes in the file
    virtual void Flush();                                ///< nothing to do
    virtual void Close();                                ///< nothing when the file is not open
    virtual CString GetFilePath() const;                 ///< the name Open was given

    /// Renames (or moves, within one file system) a file, replacing an existing target; removes
    /// a file. Both throw CFileException on failure.
    ///@{
    static void Rename(LPCTSTR lpszOldName, LPCTSTR lpszNewName);
    static void Remove(LPCTSTR lpszFileName);
    ///@}
    BOOL IsOpen() const { return m_hFile >= 0; }  ///< a file is open

protected:
    int m_hFile = -1;       ///< file descriptor, -1 when closed
    CString m_strFileName;  ///< the name Open was given
};
