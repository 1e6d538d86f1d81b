// CFile: creation and truncation, seeking from each origin, position and length, writes
// without terminator, and both ways of reporting failure.
#include "support/TempDir.h"

#include <cerrno>
#include <gtest/gtest.h>

using namespace tarvel_test;

TEST(File, CreateSeekPositionLengthAndFailures)
{
    TempDir dir;
    const std::string name = dir.file("data.txt");
    {
        CFile file(name.c_str(), CFile::modeCreate | CFile::modeWrite);
        file.Write("hello, world", 12);  // exactly the bytes given, no terminator
    }
    EXPECT_EQ(read_bytes(name), "hello, world");
    {
        CFile file(name.c_str(), CFile::modeCreate | CFile::modeNoTruncate | CFile::modeReadWrite);
        EXPECT_EQ(file.GetLength(), 12u);
        file.Write("J", 1);
    }
    EXPECT_EQ(read_bytes(name), "Jello, world");
    CFile(name.c_str(), CFile::modeCreate | CFile::modeWrite | CFile::typeBinary);
    EXPECT_EQ(read_bytes(name), "");

    // Seeking from each origin, position and length.
    CFile file;
    ASSERT_TRUE(file.Open(dir.file("seek.bin").c_str(), CFile::modeCreate | CFile::modeReadWrite));
    file.Write("0123456789", 10);
    EXPECT_EQ((std::vector<ULONGLONG>{file.GetPosition(), file.Seek(3, CFile::begin),
                                      file.Seek(4, CFile::current), file.Seek(-2, CFile::current),
                                      file.Seek(-1, CFile::end)}),
              (std::vector<ULONGLONG>{10, 3, 7, 5, 9}));  // the list is formed in order
    char buf[8] = {};
    EXPECT_EQ(file.Read(buf + 4, 4), 1u);  // a short read at the end, no error
    file.SeekToBegin();
    EXPECT_EQ(file.Read(buf, 4), 4u);
    EXPECT_EQ(std::string(buf, 5), "01239");
    EXPECT_EQ(file.Seek(2, CFile::end), 12u);  // past the end: a write fills the gap with zeros
    file.Write("X", 1);
    EXPECT_EQ(file.GetLength(), 13u);
    EXPECT_EQ(file.SeekToEnd(), 13u);
    file.Close();
    EXPECT_EQ(read_bytes(dir.file("seek.bin")), std::string("0123456789\0\0X", 13));

    const std::string missing = dir.file("no-such-dir/file.txt");
    CFileException error;
    EXPECT_FALSE(file.Open(missing.c_str(), CFile::modeCreate | CFile::modeWrite, &error));
    EXPECT_EQ(error.m_cause, CFileException::fileNotFound);
    EXPECT_EQ(error.m_lOsError, ENOENT);
    // A directory is not a file, though the system would open it for reading.
    EXPECT_FALSE(file.Open(dir.path().string().c_str(), CFile::modeRead, &error));
    EXPECT_EQ(error.m_cause, CFileException::accessDenied);
    EXPECT_FALSE(file.Open("", CFile::modeRead, &error));  // an empty name is no path
    EXPECT_EQ(error.m_cause, CFileException::badPath);
    EXPECT_FALSE(file.Open("", CFile::modeRead));  // no error object: fine too
    EXPECT_THROW(CFile(missing.c_str(), CFile::modeRead), CFileException);  // the constructor
    ASSERT_TRUE(file.Open(dir.file("w.bin").c_str(), CFile::modeCreate | CFile::modeWrite));
    EXPECT_THROW(file.Read(buf, 1), CFileException);  // opened for writing only
    EXPECT_THROW(file.Seek(-1, CFile::begin), CFileException);
    file.Close();
    EXPECT_THROW(file.Write("x", 1), CFileException);  // closed
}
