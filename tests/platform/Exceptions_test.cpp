// The causes that operating-system errors map to, and the texts of every cause: each cause of
// both exception types names itself with a distinct text (what a log shows a user).
#include <tarvel/Tarvel.h>

#include <cerrno>
#include <gtest/gtest.h>

TEST(Exceptions, OsErrorsMapToTheirCausesAndEveryCauseHasItsOwnText)
{
    using E = CFileException;
    // clang-format off
    const std::pair<int, std::vector<long>> causes[] = {
        {E::none, {0}}, {E::fileNotFound, {ENOENT}}, {E::badPath, {ENOTDIR, ENAMETOOLONG, ELOOP}},
        {E::tooManyOpenFiles, {EMFILE, ENFILE}}, {E::invalidFile, {EBADF}}, {E::hardIO, {EIO}},
        {E::accessDenied, {EACCES, EPERM, EROFS, EISDIR, EEXIST}}, {E::generic, {EAGAIN}},
        {E::badSeek, {ESPIPE, EINVAL, EOVERFLOW}}, {E::sharingViolation, {EBUSY, ETXTBSY}},
        {E::diskFull, {ENOSPC, EDQUOT, EFBIG}}};
    // clang-format on
    for (const auto& [cause, errors] : causes)
        for (long error : errors) EXPECT_EQ(E::OsErrorToException(error), cause) << error;

    std::set<std::string> fileTexts, archiveTexts;
    for (int cause = E::none; cause <= E::endOfFile + 1; ++cause) fileTexts.insert(E(cause).what());
    for (int cause = CArchiveException::none; cause <= CArchiveException::badSchema + 1; ++cause)
        archiveTexts.insert(CArchiveException(cause).what());
    EXPECT_EQ(fileTexts.size(), std::size_t(E::endOfFile) + 2);
    EXPECT_EQ(archiveTexts.size(), std::size_t(CArchiveException::badSchema) + 2);
    EXPECT_EQ(std::string(E(E::fileNotFound).what()), "file error: file not found");
    EXPECT_EQ(std::string(CArchiveException(CArchiveException::badClass).what()),
              "archive error: unknown or unexpected class");
}
