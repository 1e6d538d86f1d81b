// Text files for the reader and writer tests: a temporary file opened for reading and writing,
// the bytes a writer leaves, and the number texts of a scanned line.
#pragma once

#include "support/TempDir.h"

#include <tarvel/Tarvel.h>

#include <string>
#include <vector>

namespace tarvel_test
{

// A file holding the given bytes, open for reading and writing at position 0.
class TextFile
{
public:
    explicit TextFile(const std::string& bytes = "") : m_name(m_dir.file("text.txt"))
    {
        write_bytes(m_name, bytes);
        m_file.Open(m_name.c_str(), CFile::modeReadWrite);
    }
    CFile& file() { return m_file; }
    CFile* operator->() { return &m_file; }
    ULONGLONG position() const { return m_file.GetPosition(); }
    // What the file holds now.
    std::string bytes() { return read_bytes(m_name); }
    // The rest of the line at the file's position (up to its "\r" or "\n").
    std::string rest_of_line()
    {
        const std::string all = bytes();
        const std::size_t at = std::size_t(position());
        if (at >= all.size()) return "";
        return all.substr(at, all.find_first_of("\r\n", at) - at);
    }

private:
    TempDir m_dir;
    std::string m_name;
    CFile m_file;
};

// The bytes that write(CFile*) leaves in a fresh file.
template <class Write> std::string written(Write write)
{
    TextFile f;
    write(&f.file());
    return f.bytes();
}

// The number texts ReadNumber gives for line, scanned from 0; the substituted line to *after.
inline std::vector<std::string> scan(const std::string& text, std::string* after = nullptr)
{
    CString line(text);
    std::vector<std::string> numbers;
    int pos = 0;
    CString number;
    for (;;)
    {
        CVirtMat::ReadNumber(pos, line, number);
        if (number.IsEmpty()) break;
        numbers.push_back(number.str());
    }
    if (after != nullptr) *after = line.str();
    return numbers;
}

// The lines, each followed by the next of ends (taken in turn); starts[k], when asked, receives
// where line k begins (starts[lines.size()] the end of the file).
inline std::string with_line_ends(const std::vector<std::string>& lines,
                                  const std::vector<std::string>& ends,
                                  std::vector<std::size_t>* starts = nullptr)
{
    std::string s;
    for (std::size_t k = 0; k < lines.size(); ++k)
    {
        if (starts != nullptr) starts->push_back(s.size());
        s += lines[k] + ends[k % ends.size()];
    }
    if (starts != nullptr) starts->push_back(s.size());
    return s;
}
inline std::string with_line_ends(const std::vector<std::string>& lines, const std::string& end)
{
    return with_line_ends(lines, std::vector<std::string>{end});
}

// The line-end forms every search and reader must read alike: CR LF, LF, and the two in turn.
inline const std::vector<std::vector<std::string>> kLineEndForms = {
    {"\r\n"}, {"\n"}, {"\n", "\r\n"}};

}  // namespace tarvel_test
