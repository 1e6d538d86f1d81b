// CFile: creation and truncation, seeking from each origin, position and length, writes
// without terminator, and the two ways of reporting failure.
#include "support/TempDir.h"

#include <tarvel/Tarvel.h>

#include <cerrno>
#include <gtest/gtest.h>
#include <string>

using tarvel_test::TempDir;

TEST(File, CreateTruncatesAndNoTruncateKeeps)
{
    TempDir dir;
    const std::string name = dir.file("data.txt");
    {
        CFile file(name.c_str(), CFile::modeCreate | CFile::modeWrite);
        file.Write("hello, world", 12);  // exactly the bytes given, no terminator
        EXPECT_EQ(file.GetLength(), 12u);
    }
    EXPECT_EQ(tarvel_test::read_bytes(name), "hello, world");
    {
        CFile file(name.c_str(), CFile::modeCreate | CFile::modeNoTruncate | CFile::modeReadWrite);
        EXPECT_EQ(file.GetLength(), 12u);
        EXPECT_EQ(file.GetPosition(), 0u);
        file.Write("J", 1);
    }
    EXPECT_EQ(tarvel_test::read_bytes(name), "Jello, world");
    {
        CFile file(name.c_str(), CFile::modeCreate | CFile::modeReadWrite | CFile::shareExclusive |
                                     CFile::typeBinary);
        EXPECT_EQ(file.GetLength(), 0u);
        EXPECT_EQ(file.GetFilePath(), CString(name.c_str()));
    }
    EXPECT_EQ(tarvel_test::read_bytes(name), "");
}

TEST(File, SeekFromEachOriginPositionAndLength)
{
    TempDir dir;
    CFile file;
    ASSERT_TRUE(file.Open(dir.file("seek.bin").c_str(), CFile::modeCreate | CFile::modeReadWrite));
    file.Write("0123456789", 10);
    EXPECT_EQ(file.GetPosition(), 10u);
    EXPECT_EQ(file.Seek(3, CFile::begin), 3u);
    EXPECT_EQ(file.Seek(4, CFile::current), 7u);
    EXPECT_EQ(file.Seek(-2, CFile::current), 5u);
    EXPECT_EQ(file.Seek(-1, CFile::end), 9u);
    EXPECT_EQ(file.GetPosition(), 9u);
    char c = 0;
    EXPECT_EQ(file.Read(&c, 1), 1u);
    EXPECT_EQ(c, '9');
    EXPECT_EQ(file.Read(&c, 1), 0u);  // end of file: a short read, no error

    file.SeekToBegin();
    char buf[4] = {};
    EXPECT_EQ(file.Read(buf, 4), 4u);
    EXPECT_EQ(std::string(buf, 4), "0123");
    EXPECT_EQ(file.SeekToEnd(), 10u);

    // Seeking past the end and writing extends the file with zero bytes.
    EXPECT_EQ(file.Seek(2, CFile::end), 12u);
    file.Write("X", 1);
    EXPECT_EQ(file.GetLength(), 13u);
    file.Close();
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(tarvel_test::read_bytes(dir.file("seek.bin")), std::string("0123456789\0\0X", 13));
}

TEST(File, OpenFailureIsReportedByItsResult)
{
    TempDir dir;
    const std::string missing = dir.file("no-such-dir/file.txt");
    CFile file;
    CFileException error;
    EXPECT_FALSE(file.Open(missing.c_str(), CFile::modeCreate | CFile::modeWrite, &error));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(error.m_cause, CFileException::fileNotFound);
    EXPECT_EQ(error.m_lOsError, ENOENT);
    EXPECT_EQ(error.m_strFileName, CString(missing.c_str()));
    EXPECT_FALSE(file.Open(missing.c_str(), CFile::modeRead));  // no error object: fine too

    // A directory is not a file, even though the system would open it for reading.
    EXPECT_FALSE(file.Open(dir.path().string().c_str(), CFile::modeRead, &error));
    EXPECT_EQ(error.m_cause, CFileException::accessDenied);
    EXPECT_FALSE(file.Open("", CFile::modeRead, &error));
    EXPECT_EQ(error.m_cause, CFileException::badPath);
}

TEST(File, ThrowingConstructorAndOperationErrors)
{
    TempDir dir;
    const std::string missing = dir.file("missing.txt");
    try
    {
        CFile file(missing.c_str(), CFile::modeRead);
        FAIL() << "no exception";
    }
    catch (const CFileException& e)
    {
        EXPECT_EQ(e.m_cause, CFileException::fileNotFound);
        EXPECT_EQ(e.m_strFileName, CString(missing.c_str()));
        EXPECT_STREQ(e.what(), "file error: file not found");
    }

    CFile file(dir.file("w.bin").c_str(), CFile::modeCreate | CFile::modeWrite);
    char c;
    EXPECT_THROW(file.Read(&c, 1), CFileException);  // opened for writing only
    try
    {
        file.Seek(-1, CFile::begin);
        FAIL() << "no exception";
    }
    catch (const CFileException& e)
    {
        EXPECT_EQ(e.m_cause, CFileException::badSeek);
    }
    file.Close();
    file.Close();  // closing a closed file does nothing
    EXPECT_THROW(file.Write("x", 1), CFileException);
    EXPECT_THROW(file.GetLength(), CFileException);
}
