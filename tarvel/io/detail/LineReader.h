// The line reader of every text format: a file read in blocks, each line handed out where it
// lies in the block, or gathered into a string of its own when it crosses blocks.
#pragma once

#include <tarvel/platform/File.h>
#include <tarvel/platform/String.h>

#include <cstddef>
#include <memory>
#include <string>

namespace tarvel::detail
{

// Where a line ends.
enum class LineEnds
{
    // The library's text files: at "\n", "\r\n", or a lone "\r", which takes the character
    // after it along, whatever that is (CArchive::ReadString's rule).
    text,
    // Files of other programs (Matrix Market): at "\n"; a "\r" right before it is dropped, any
    // other "\r" belongs to the line.
    exchange
};

class LineReader
{
public:
    // block: the bytes read at once. A line that crosses blocks keeps its first longest + 1
    // characters (too_long() then tells); a line within a block is handed out whole.
    LineReader(CFile& file, LineEnds ends, std::size_t block, std::size_t longest = kWhole);
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;
    ~LineReader();  // close(), its errors swallowed, unless close() or abort() came first

    // The next line, without its line end, as [first, last) (valid until the next call) or as
    // a string; false at the end of the file. A line exists once any byte of it, or its line
    // end, was read. Throws what CFile::Read throws.
    bool next(const char*& first, const char*& last);
    bool next(CString& line);

    long line_number() const { return m_line; }  // of the last line read, from 1
    // Of the last line read; false after the end of the file.
    bool too_long() const { return std::size_t(m_last - m_first) > m_longest; }
    bool holds_nul() const;

    // The read-ahead goes back: the file stands just after the last line read (its line end
    // as read included). Throws what CFile::Seek throws.
    void close();
    // The file stays where the reading left it.
    void abort() { m_open = false; }

private:
    static constexpr std::size_t kWhole = std::size_t(-1) / 2;
    bool refill();
    // The end of the line that starts at begin within the block, or null when the block ends
    // first.
    const char* find_end(const char* begin) const;
    // Consumes the line end at `end` (in the block). The character after a lone "\r" is taken
    // by the next call (or by close()): the line may still lie in the block.
    void take_end(const char* end);

    CFile& m_file;
    const LineEnds m_ends;
    const std::size_t m_block;
    const std::size_t m_longest;
    std::unique_ptr<char[]> m_data;
    std::size_t m_pos = 0, m_end = 0;
    std::string m_joined;
    const char* m_first = nullptr;
    const char* m_last = nullptr;
    long m_line = 0;
    bool m_skip = false;  // the character after a lone "\r" is still to be taken
    bool m_open = true;
};

}  // namespace tarvel::detail
