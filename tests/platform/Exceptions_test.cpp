// The causes that operating-system errors map to, and the texts of every cause: each cause of
// both exception types names itself with a distinct text (what a log shows a user).
#include <tarvel/Tarvel.h>

#include <cerrno>
#include <gtest/gtest.h>
#include <set>
#include <string>

TEST(Exceptions, OsErrorsMapToTheirCauses)
{
    const std::pair<long, int> table[] = {
        {0, CFileException::none},
        {ENOENT, CFileException::fileNotFound},
        {ENOTDIR, CFileException::badPath},
        {ENAMETOOLONG, CFileException::badPath},
        {ELOOP, CFileException::badPath},
        {EMFILE, CFileException::tooManyOpenFiles},
        {ENFILE, CFileException::tooManyOpenFiles},
        {EACCES, CFileException::accessDenied},
        {EPERM, CFileException::accessDenied},
        {EROFS, CFileException::accessDenied},
        {EISDIR, CFileException::accessDenied},
        {EEXIST, CFileException::accessDenied},
        {EBADF, CFileException::invalidFile},
        {ESPIPE, CFileException::badSeek},
        {EINVAL, CFileException::badSeek},
        {EOVERFLOW, CFileException::badSeek},
        {EIO, CFileException::hardIO},
        {EBUSY, CFileException::sharingViolation},
        {ETXTBSY, CFileException::sharingViolation},
        {ENOSPC, CFileException::diskFull},
        {EDQUOT, CFileException::diskFull},
        {EFBIG, CFileException::diskFull},
        {EAGAIN, CFileException::generic},
    };
    for (const auto& [error, cause] : table)
        EXPECT_EQ(CFileException::OsErrorToException(error), cause) << "errno " << error;
}

TEST(Exceptions, EveryCauseHasItsOwnText)
{
    std::set<std::string> fileTexts, archiveTexts;
    for (int cause = CFileException::none; cause <= CFileException::endOfFile + 1; ++cause)
        fileTexts.insert(CFileException(cause).what());
    for (int cause = CArchiveException::none; cause <= CArchiveException::badSchema + 1; ++cause)
        archiveTexts.insert(CArchiveException(cause).what());
    EXPECT_EQ(fileTexts.size(), std::size_t(CFileException::endOfFile) + 2);
    EXPECT_EQ(archiveTexts.size(), std::size_t(CArchiveException::badSchema) + 2);
    EXPECT_EQ(std::string(CFileException(CFileException::fileNotFound).what()),
              "file error: file not found");
    EXPECT_EQ(std::string(CArchiveException(CArchiveException::badClass).what()),
              "archive error: unknown or unexpected class");
}
