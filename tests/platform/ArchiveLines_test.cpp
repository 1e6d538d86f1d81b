// The line reader of CArchive: line ends (LF, CRLF, CR with any character), the last line,
// empty files, lines across the 4096-byte buffer, and the file position after Close.
#include "support/TempDir.h"

#include <tarvel/Tarvel.h>

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace tarvel_test;
using Lines = std::vector<std::string>;

namespace
{

// Every line ReadString gives for a file with these contents, and the file position after
// reading `stopAfter` lines and closing the archive.
Lines lines_of(const std::string& contents, int stopAfter = -1, ULONGLONG* position = nullptr)
{
    TempDir dir;
    write_bytes(dir.file("lines.txt"), contents);
    CFile file(dir.file("lines.txt").c_str(), CFile::modeRead);
    CArchive ar(&file, CArchive::load);
    Lines lines;
    CString line("stale");
    while (int(lines.size()) != stopAfter && ar.ReadString(line)) lines.push_back(line.str());
    if (stopAfter < 0)
    {
        EXPECT_TRUE(line.IsEmpty());        // FALSE comes with an empty string ...
        EXPECT_FALSE(ar.ReadString(line));  // ... and stays FALSE
    }
    ar.Close();
    if (position != nullptr) *position = file.GetPosition();
    return lines;
}

}  // namespace

TEST(ArchiveLines, LineEndsReadAndWritten)
{
    const std::pair<std::string, Lines> cases[] = {
        {"a\nbb\r\nccc\n", {"a", "bb", "ccc"}},
        {"\n\r\n\n", {"", "", ""}},
        {"ab\rXcd\r\n", {"ab", "cd"}},  // a carriage return takes the next character, whatever
        {"ab\r\rcd", {"ab", "cd"}},     // it is
        {"ab\r\n\ncd", {"ab", "", "cd"}},
        {"x\r", {"x"}},
        {"first\r\nlast", {"first", "last"}},  // the last line needs no line end
        {"", {}},
        {std::string("t\tu\0v\n", 6), {std::string("t\tu\0v", 5)}},  // other bytes are text
    };
    for (const auto& [contents, lines] : cases) EXPECT_EQ(lines_of(contents), lines) << contents;

    // WriteString writes the text as it stands, a null text as nothing.
    const auto write = [](CArchive& ar)
    {
        ar.WriteString("one\r\n");
        ar.WriteString(nullptr);
        ar.WriteString("two");
    };
    EXPECT_EQ(stored_bytes(write), "one\r\ntwo");
}

// Lines of every length around the buffer, with line ends split by a buffer boundary (a CR as
// the buffer's last byte and LF or another character as the next buffer's first).
TEST(ArchiveLines, LinesAcrossBufferBoundaries)
{
    for (std::size_t length : {4095u, 4096u, 4097u, 8192u, 12289u})
    {
        const std::string text(length, 'q');
        EXPECT_EQ(lines_of(text + "\r\nz"), (Lines{text, "z"})) << length;
        EXPECT_EQ(lines_of(text + "\rXz"), (Lines{text, "z"})) << length;
        EXPECT_EQ(lines_of(text), (Lines{text})) << length;
    }
    std::string many;  // "abc\r\n" across five buffers: a boundary at every offset of a line
    for (int k = 0; k < 5000; ++k) many += "abc\r\n";
    EXPECT_EQ(lines_of(many), Lines(5000, "abc"));
}

// After Close the file stands just after the last character consumed, line end included, so
// a caller can read on with another archive or with the file itself.
TEST(ArchiveLines, FilePositionAfterClose)
{
    const std::string text = "first\r\nsecond\nab\rXlast";
    const ULONGLONG afterLines[] = {0, 7, 14, 18, text.size(), text.size()};
    ULONGLONG position = 99;
    for (int n = 0; n < 6; ++n)
    {
        lines_of(text, n, &position);
        EXPECT_EQ(position, afterLines[n]) << n;
    }
    lines_of(std::string(5000, 'w') + "\r\n" + text, 1, &position);  // read ahead a buffer
    EXPECT_EQ(position, 5002u);
}
