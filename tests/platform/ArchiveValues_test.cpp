// CArchive binary values and buffering: exact little-endian bytes of every value type, sign
// extension of long, reads cut short, writes and reads larger than the buffer, mode errors.
#include "support/TempDir.h"

#include <tarvel/Tarvel.h>

#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <string>

using tarvel_test::TempDir;

TEST(ArchiveValues, LittleEndianBytesOfEachType)
{
    TempDir dir;
    const std::string name = dir.file("values.bin");
    {
        CFile file(name.c_str(), CFile::modeCreate | CFile::modeWrite);
        CArchive ar(&file, CArchive::store);
        ar << BYTE(0xAB) << WORD(0x1234) << DWORD(0x89ABCDEF) << int(-2) << long(-3)
           << LONGLONG(0x0102030405060708LL) << 1.0f << -2.5;
        ar << unsigned(7);
    }  // the destructor closes the archive and writes the buffer out
    const std::string expected =
        std::string("\xAB") + "\x34\x12" + "\xEF\xCD\xAB\x89" + "\xFE\xFF\xFF\xFF" +
        "\xFD\xFF\xFF\xFF" + "\x08\x07\x06\x05\x04\x03\x02\x01" +
        std::string("\x00\x00\x80\x3F", 4) + std::string("\x00\x00\x00\x00\x00\x00\x04\xC0", 8) +
        std::string("\x07\x00\x00\x00", 4);
    EXPECT_EQ(tarvel_test::read_bytes(name), expected);

    CFile file(name.c_str(), CFile::modeRead);
    CArchive ar(&file, CArchive::load);
    BYTE b;
    WORD w;
    DWORD dw;
    int i;
    long l;
    LONGLONG ll;
    float f;
    double d;
    unsigned u;
    ar >> b >> w >> dw >> i >> l >> ll >> f >> d >> u;
    EXPECT_EQ(b, 0xAB);
    EXPECT_EQ(w, 0x1234);
    EXPECT_EQ(dw, 0x89ABCDEFu);
    EXPECT_EQ(i, -2);
    EXPECT_EQ(l, -3L);  // sign-extended from 4 bytes
    EXPECT_EQ(ll, 0x0102030405060708LL);
    EXPECT_EQ(f, 1.0f);
    EXPECT_EQ(d, -2.5);
    EXPECT_EQ(u, 7u);
    EXPECT_THROW(ar >> b, CArchiveException);  // nothing left
}

// A long keeps its low 32 bits in the archive.
TEST(ArchiveValues, LongIsStoredInFourBytes)
{
    TempDir dir;
    const std::string name = dir.file("long.bin");
    {
        CFile file(name.c_str(), CFile::modeCreate | CFile::modeWrite);
        CArchive ar(&file, CArchive::store);
        ar << long(0x100000005L) << long(-0x80000000L);
    }
    EXPECT_EQ(tarvel_test::read_bytes(name), std::string("\x05\0\0\0\0\0\0\x80", 8));
    CFile file(name.c_str(), CFile::modeRead);
    CArchive ar(&file, CArchive::load);
    long a = 0, b = 0;
    ar >> a >> b;
    EXPECT_EQ(a, 5L);
    EXPECT_EQ(b, -0x80000000L);
}

// A value cut short throws endOfFile; Read hands back what there is.
TEST(ArchiveValues, ShortReads)
{
    TempDir dir;
    const std::string name = dir.file("short.bin");
    tarvel_test::write_bytes(name, "\x01\x02\x03");
    CFile file(name.c_str(), CFile::modeRead);
    CArchive ar(&file, CArchive::load);
    double d = 7.0;
    try
    {
        ar >> d;
        FAIL() << "no exception";
    }
    catch (const CArchiveException& e)
    {
        EXPECT_EQ(e.m_cause, CArchiveException::endOfFile);
    }
    EXPECT_EQ(d, 7.0);
    ar.Close();
    file.SeekToBegin();
    CArchive again(&file, CArchive::load);
    char buf[8] = {};
    EXPECT_EQ(again.Read(buf, 8), 3u);
    EXPECT_EQ(std::string(buf, 3), "\x01\x02\x03");
}

// Blocks larger than the buffer mixed with small values, with a tiny buffer so that every
// path (buffered, direct, refill) runs; after Close the file stands just after the last byte.
TEST(ArchiveValues, LargeBlocksThroughASmallBuffer)
{
    TempDir dir;
    const std::string name = dir.file("blocks.bin");
    std::string block(1000, '\0');
    for (std::size_t k = 0; k < block.size(); ++k) block[k] = char(k * 7 + 1);
    {
        CFile file(name.c_str(), CFile::modeCreate | CFile::modeWrite);
        CArchive ar(&file, CArchive::store, 16);
        for (int round = 0; round < 5; ++round)
        {
            ar << round;
            ar.Write(block.data(), UINT(round * 200));
            ar << BYTE(round);
        }
        ar.Close();
        EXPECT_EQ(file.GetLength(), 5u * 5 + 2000u);
    }
    CFile file(name.c_str(), CFile::modeRead);
    CArchive ar(&file, CArchive::load, 16);
    for (int round = 0; round < 4; ++round)
    {
        int r = -1;
        BYTE tail = 0xFF;
        std::string got(std::size_t(round * 200), '\0');
        ar >> r;
        ASSERT_EQ(ar.Read(&got[0], UINT(got.size())), got.size());
        ar >> tail;
        EXPECT_EQ(r, round);
        EXPECT_EQ(got, block.substr(0, got.size()));
        EXPECT_EQ(tail, round);
    }
    ar.Close();
    EXPECT_EQ(file.GetPosition(), 5u * 4 + 1200u);
}

TEST(ArchiveValues, WrongDirectionIsRefused)
{
    TempDir dir;
    const std::string name = dir.file("mode.bin");
    CFile file(name.c_str(), CFile::modeCreate | CFile::modeReadWrite);
    {
        CArchive ar(&file, CArchive::store);
        EXPECT_TRUE(ar.IsStoring());
        EXPECT_FALSE(ar.IsLoading());
        EXPECT_EQ(ar.GetFile(), &file);
        int i = 0;
        try
        {
            ar >> i;
            FAIL() << "no exception";
        }
        catch (const CArchiveException& e)
        {
            EXPECT_EQ(e.m_cause, CArchiveException::writeOnly);
        }
    }
    CArchive ar(&file, CArchive::load);
    try
    {
        ar << 1;
        FAIL() << "no exception";
    }
    catch (const CArchiveException& e)
    {
        EXPECT_EQ(e.m_cause, CArchiveException::readOnly);
    }
}
