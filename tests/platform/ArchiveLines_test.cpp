// The line reader of CArchive: line ends (LF, CRLF, CR with any character), the last line,
// empty files, lines across the 4096-byte buffer, and the file position after Close.
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace tarvel_test;
using Lines = std::vector<std::string>;

namespace
{

// Every line ReadString gives for a file with these contents (FALSE comes with an empty string
// and stays FALSE), or the file position after reading `stopAfter` lines and closing the archive.
Lines lines_of(const std::string& contents, int stopAfter = -1, ULONGLONG* position = nullptr)
{
    TempDir dir;
    write_bytes(dir.file("lines.txt"), contents);
    CFile file(dir.file("lines.txt").c_str(), CFile::modeRead);
    CArchive ar(&file, CArchive::load);
    Lines lines;
    CString line("stale");
    while (int(lines.size()) != stopAfter && ar.ReadString(line)) lines.push_back(line.str());
    EXPECT_TRUE(stopAfter >= 0 || (line.IsEmpty() && !ar.ReadString(line)));
    ar.Close();
    if (position != nullptr) *position = file.GetPosition();
    return lines;
}

}  // namespace

// Other bytes are text; a carriage return takes the next character, whatever it is; the last
// line needs no line end. Lines of every length around the buffer, with line ends split by a
// buffer boundary (a CR as the buffer's last byte and LF or another character as the next
// buffer's first), and "abc\r\n" across five buffers: a boundary at every offset of a line.
// After Close the file stands just after the last character consumed, line end included, so
// a caller can read on with another archive or with the file itself (also after the archive
// read ahead a buffer). WriteString writes the text as it stands, a null text as nothing.
TEST(ArchiveLines, LinesPositionsAndWriting)
{
    std::string many;
    for (int k = 0; k < 5000; ++k) many += "abc\r\n";
    std::vector<std::pair<std::string, Lines>> cases = {
        {"a\nbb\r\nccc\n", {"a", "bb", "ccc"}},
        {"\n\r\n\n", {"", "", ""}},
        {"ab\rXcd\r\n", {"ab", "cd"}},
        {"ab\r\rcd", {"ab", "cd"}},
        {"ab\r\n\ncd", {"ab", "", "cd"}},
        {"x\r", {"x"}},
        {"first\r\nlast", {"first", "last"}},
        {"", {}},
        {std::string("t\tu\0v\n", 6), {std::string("t\tu\0v", 5)}},
        {many, Lines(5000, "abc")},
    };
    for (std::size_t length : {4095u, 4096u, 4097u, 8192u, 12289u})
    {
        const std::string text(length, 'q');
        cases.insert(cases.end(),
                     {{text + "\r\nz", {text, "z"}}, {text + "\rXz", {text, "z"}}, {text, {text}}});
    }
    for (const auto& [contents, lines] : cases)
        EXPECT_EQ(lines_of(contents), lines) << contents.substr(0, 20) << " " << contents.size();

    const std::string text = "first\r\nsecond\nab\rXlast";
    const ULONGLONG afterLines[] = {0, 7, 14, 18, text.size(), text.size()};
    ULONGLONG position = 99;
    for (int n = 0; n < 6; ++n)
    {
        lines_of(text, n, &position);
        EXPECT_EQ(position, afterLines[n]) << n;
    }
    lines_of(std::string(5000, 'w') + "\r\n" + text, 1, &position);
    EXPECT_EQ(position, 5002u);
    const auto write = [](CArchive& ar)
    {
        ar.WriteString("one\r\n");
        ar.WriteString(nullptr);
        ar.WriteString("two");
    };
    EXPECT_EQ(stored_bytes(write), "one\r\ntwo");
}
