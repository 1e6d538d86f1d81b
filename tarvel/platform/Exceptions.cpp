// CFileException and CArchiveException: causes, their texts, and errno translation.
#include <tarvel/platform/Exceptions.h>

#include <cerrno>

CFileException::CFileException(int cause, long lOsError, LPCTSTR pszFileName)
    : m_cause(cause), m_lOsError(lOsError), m_strFileName(pszFileName)
{
}

const char* CFileException::what() const noexcept
{
    switch (m_cause)
    {
    case none:
        return "file error: none";
    case generic:
        return "file error: error of no particular cause";
    case fileNotFound:
        return "file error: file not found";
    case badPath:
        return "file error: bad path";
    case tooManyOpenFiles:
        return "file error: too many open files";
    case accessDenied:
        return "file error: access denied";
    case invalidFile:
        return "file error: invalid file";
    case removeCurrentDir:
        return "file error: cannot remove the current directory";
    case directoryFull:
        return "file error: directory full";
    case badSeek:
        return "file error: bad seek";
    case hardIO:
        return "file error: hardware input/output error";
    case sharingViolation:
        return "file error: sharing violation";
    case lockViolation:
        return "file error: lock violation";
    case diskFull:
        return "file error: disk full";
    case endOfFile:
        return "file error: end of file";
    default:
        return "file error";
    }
}

int CFileException::OsErrorToException(long lOsError)
{
    switch (lOsError)
    {
    case 0:
        return none;
    case ENOENT:
        return fileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return badPath;
    case EMFILE:
    case ENFILE:
        return tooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case EEXIST:
        return accessDenied;
    case EBADF:
        return invalidFile;
    case ESPIPE:
    case EINVAL:
    case EOVERFLOW:
        return badSeek;
    case EIO:
        return hardIO;
    case EBUSY:
    case ETXTBSY:
        return sharingViolation;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return diskFull;
    default:
        return generic;
    }
}

CArchiveException::CArchiveException(int cause, LPCTSTR pszFileName)
    : m_cause(cause), m_strFileName(pszFileName)
{
}

const char* CArchiveException::what() const noexcept
{
    switch (m_cause)
    {
    case none:
        return "archive error: none";
    case generic:
        return "archive error: error of no particular cause";
    case readOnly:
        return "archive error: writing to an archive opened for loading";
    case endOfFile:
        return "archive error: unexpected end of file";
    case writeOnly:
        return "archive error: reading from an archive opened for storing";
    case badIndex:
        return "archive error: reference to an object or class not yet loaded";
    case badClass:
        return "archive error: unknown or unexpected class";
    case badSchema:
        return "archive error: stored schema differs from the class's";
    default:
        return "archive error";
    }
}
