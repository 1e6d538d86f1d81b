// The line reader of CArchive: line ends (LF, CRLF, CR with any character), the last line,
// empty files, lines and line ends across buffer boundaries, and the file position after Close.
#include "support/TempDir.h"

#include <tarvel/Tarvel.h>

#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

using tarvel_test::TempDir;

namespace
{

class ArchiveLines : public ::testing::Test
{
protected:
    // Every line ReadString gives for a file with these contents.
    std::vector<std::string> lines_of(const std::string& contents)
    {
        tarvel_test::write_bytes(m_name, contents);
        CFile file(m_name.c_str(), CFile::modeRead);
        CArchive ar(&file, CArchive::load);
        std::vector<std::string> lines;
        CString line("stale");
        while (ar.ReadString(line)) lines.push_back(line.str());
        EXPECT_TRUE(line.IsEmpty());        // FALSE comes with an empty string
        EXPECT_FALSE(ar.ReadString(line));  // and stays FALSE
        return lines;
    }

    // File position after reading n lines and closing the archive.
    ULONGLONG position_after(const std::string& contents, int n)
    {
        tarvel_test::write_bytes(m_name, contents);
        CFile file(m_name.c_str(), CFile::modeRead);
        CArchive ar(&file, CArchive::load);
        CString line;
        for (int k = 0; k < n; ++k) ar.ReadString(line);
        ar.Close();
        return file.GetPosition();
    }

    TempDir m_dir;
    std::string m_name = m_dir.file("lines.txt");
};

using Lines = std::vector<std::string>;

}  // namespace

TEST_F(ArchiveLines, LineEnds)
{
    EXPECT_EQ(lines_of("a\nbb\r\nccc\n"), (Lines{"a", "bb", "ccc"}));
    EXPECT_EQ(lines_of("\n\r\n\n"), (Lines{"", "", ""}));
    // A carriage return takes the character after it, whatever it is.
    EXPECT_EQ(lines_of("ab\rXcd\r\n"), (Lines{"ab", "cd"}));
    EXPECT_EQ(lines_of("ab\r\rcd"), (Lines{"ab", "cd"}));
    EXPECT_EQ(lines_of("ab\r\n\ncd"), (Lines{"ab", "", "cd"}));
    EXPECT_EQ(lines_of("x\r"), (Lines{"x"}));
    EXPECT_EQ(lines_of("\r"), (Lines{""}));
    // Other control characters are text.
    EXPECT_EQ(lines_of(std::string("t\tu\0v\n", 6)), (Lines{std::string("t\tu\0v", 5)}));
}

TEST_F(ArchiveLines, LastLineWithoutLineEndAndEmptyFile)
{
    EXPECT_EQ(lines_of("first\r\nlast"), (Lines{"first", "last"}));
    EXPECT_EQ(lines_of("only"), (Lines{"only"}));
    EXPECT_EQ(lines_of(""), Lines{});
}

// The buffer holds 4096 bytes: lines of every length around it, and line ends split by a
// buffer boundary (CR as the buffer's last byte and LF, or another character, as the next
// buffer's first).
TEST_F(ArchiveLines, LinesAcrossBufferBoundaries)
{
    for (std::size_t length : {4094u, 4095u, 4096u, 4097u, 8191u, 8192u, 12289u})
    {
        SCOPED_TRACE(length);
        const std::string text(length, 'q');
        EXPECT_EQ(lines_of(text + "\r\nz"), (Lines{text, "z"}));
        EXPECT_EQ(lines_of(text + "\rXz"), (Lines{text, "z"}));
        EXPECT_EQ(lines_of(text + "\n\nz\n"), (Lines{text, "", "z"}));
        EXPECT_EQ(lines_of(text), (Lines{text}));
    }
}

// Many random lines with random line ends over many buffers come back as written.
TEST_F(ArchiveLines, ManyBuffers)
{
    std::mt19937 rng(7);
    Lines expected;
    std::string contents;
    for (int k = 0; k < 3000; ++k)
    {
        std::string line(rng() % 300, ' ');
        for (char& c : line) c = char('!' + rng() % 90);
        expected.push_back(line);
        const unsigned kind = rng() % 3;
        contents += line + (kind == 0 ? "\n" : kind == 1 ? "\r\n" : "\r#");
    }
    ASSERT_GT(contents.size(), 100u * 4096u);
    EXPECT_EQ(lines_of(contents), expected);
}

// After Close the file stands just after the last character consumed, line end included, so
// that a caller can read on with another archive or with the file itself.
TEST_F(ArchiveLines, FilePositionAfterClose)
{
    const std::string text = "first\r\nsecond\nab\rXlast";
    EXPECT_EQ(position_after(text, 0), 0u);
    EXPECT_EQ(position_after(text, 1), 7u);
    EXPECT_EQ(position_after(text, 2), 14u);
    EXPECT_EQ(position_after(text, 3), 18u);
    EXPECT_EQ(position_after(text, 4), text.size());
    EXPECT_EQ(position_after(text, 5), text.size());
    const std::string longLine(5000, 'w');
    EXPECT_EQ(position_after(longLine + "\r\n" + text, 1), 5002u);

    tarvel_test::write_bytes(m_name, text);
    CFile file(m_name.c_str(), CFile::modeRead);
    CString line;
    {
        CArchive ar(&file, CArchive::load);
        ar.ReadString(line);
    }  // the destructor closes as well
    CArchive ar(&file, CArchive::load);
    ASSERT_TRUE(ar.ReadString(line));
    EXPECT_EQ(line, "second");
}

TEST_F(ArchiveLines, WriteStringWritesTheTextAsItStands)
{
    {
        CFile file(m_name.c_str(), CFile::modeCreate | CFile::modeWrite);
        CArchive ar(&file, CArchive::store);
        ar.WriteString("one\r\n");
        ar.WriteString("");
        ar.WriteString(nullptr);
        ar.WriteString("two");
    }
    EXPECT_EQ(tarvel_test::read_bytes(m_name), "one\r\ntwo");
}
