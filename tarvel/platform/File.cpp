// CFile over POSIX open/read/write/lseek/fstat. Every call is retried on EINTR; short reads
// and writes are continued until the count is done or the end of the file is reached.
#include <tarvel/platform/File.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// The largest count handed to one read or write call (Linux transfers at most about 2 GiB).
constexpr std::size_t kMaxChunk = 0x40000000;

[[noreturn]] void throw_os_error(int err, const CString& fileName)
{
    throw CFileException(CFileException::OsErrorToException(err), err, fileName);
}

}  // namespace

CFile::CFile() = default;

CFile::CFile(LPCTSTR lpszFileName, UINT nOpenFlags)
{
    CFileException error;
    if (!Open(lpszFileName, nOpenFlags, &error)) throw error;
}

CFile::~CFile()
{
    if (m_hFile >= 0) ::close(m_hFile);
}

BOOL CFile::Open(LPCTSTR lpszFileName, UINT nOpenFlags, CFileException* pError)
{
    Close();
    auto fail = [&](int cause, int err)
    {
        if (pError != nullptr)
        {
            pError->m_cause = cause;
            pError->m_lOsError = err;
            pError->m_strFileName = lpszFileName;
        }
        return FALSE;
    };
    if (lpszFileName == nullptr || *lpszFileName == '\0') return fail(CFileException::badPath, -1);

    int flags = O_CLOEXEC;
    switch (nOpenFlags & 3u)
    {
    case modeRead:
        flags |= O_RDONLY;
        break;
    case modeWrite:
        flags |= O_WRONLY;
        break;
    case modeReadWrite:
        flags |= O_RDWR;
        break;
    default:
        return fail(CFileException::generic, -1);
    }
    if (nOpenFlags & modeCreate)
    {
        flags |= O_CREAT;
        if (!(nOpenFlags & modeNoTruncate)) flags |= O_TRUNC;
    }

    int fd;
    do fd = ::open(lpszFileName, flags, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
    {
        const int err = errno;
        return fail(CFileException::OsErrorToException(err), err);
    }
    // A directory opens for reading on POSIX systems, but it is not a file.
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode))
    {
        ::close(fd);
        return fail(CFileException::accessDenied, EISDIR);
    }
    m_hFile = fd;
    m_strFileName = lpszFileName;
    return TRUE;
}

UINT CFile::Read(void* lpBuf, UINT nCount)
{
    char* out = static_cast<char*>(lpBuf);
    std::size_t done = 0;
    while (done < nCount)
    {
        const std::size_t chunk = std::min<std::size_t>(nCount - done, kMaxChunk);
        const ssize_t got = ::read(m_hFile, out + done, chunk);
        if (got < 0)
        {
            if (errno == EINTR) continue;
            throw_os_error(errno, m_strFileName);
        }
        if (got == 0) break;  // end of file
        done += static_cast<std::size_t>(got);
    }
    return static_cast<UINT>(done);
}

void CFile::Write(const void* lpBuf, UINT nCount)
{
    const char* in = static_cast<const char*>(lpBuf);
    std::size_t done = 0;
    while (done < nCount)
    {
        const std::size_t chunk = std::min<std::size_t>(nCount - done, kMaxChunk);
        const ssize_t put = ::write(m_hFile, in + done, chunk);
        if (put < 0)
        {
            if (errno == EINTR) continue;
            throw_os_error(errno, m_strFileName);
        }
        if (put == 0) throw CFileException(CFileException::diskFull, ENOSPC, m_strFileName);
        done += static_cast<std::size_t>(put);
    }
}

ULONGLONG CFile::Seek(LONGLONG lOff, UINT nFrom)
{
    int whence;
    switch (nFrom)
    {
    case begin:
        whence = SEEK_SET;
        break;
    case current:
        whence = SEEK_CUR;
        break;
    case end:
        whence = SEEK_END;
        break;
    default:
        throw CFileException(CFileException::badSeek, EINVAL, m_strFileName);
    }
    const off_t pos = ::lseek(m_hFile, static_cast<off_t>(lOff), whence);
    if (pos < 0) throw CFileException(CFileException::badSeek, errno, m_strFileName);
    return static_cast<ULONGLONG>(pos);
}

void CFile::SeekToBegin() { Seek(0, begin); }

ULONGLONG CFile::SeekToEnd() { return Seek(0, end); }

ULONGLONG CFile::GetPosition() const
{
    const off_t pos = ::lseek(m_hFile, 0, SEEK_CUR);
    if (pos < 0) throw_os_error(errno, m_strFileName);
    return static_cast<ULONGLONG>(pos);
}

ULONGLONG CFile::GetLength() const
{
    struct stat st;
    if (::fstat(m_hFile, &st) != 0) throw_os_error(errno, m_strFileName);
    return static_cast<ULONGLONG>(st.st_size);
}

// Nothing is buffered here: every Write has already reached the operating system.
void CFile::Flush() {}

void CFile::Close()
{
    if (m_hFile >= 0) ::close(m_hFile);  // the descriptor is released even when close fails
    m_hFile = -1;
    m_strFileName.Empty();
}

CString CFile::GetFilePath() const { return m_strFileName; }

void CFile::Rename(LPCTSTR lpszOldName, LPCTSTR lpszNewName)
{
    if (std::rename(lpszOldName, lpszNewName) != 0) throw_os_error(errno, lpszOldName);
}

void CFile::Remove(LPCTSTR lpszFileName)
{
    if (::unlink(lpszFileName) != 0) throw_os_error(errno, lpszFileName);
}
