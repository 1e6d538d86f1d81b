// The line reader of the text formats.
#include <tarvel/io/detail/LineReader.h>
#include <tarvel/platform/Exceptions.h>

#include <algorithm>
#include <cstring>

namespace tarvel::detail
{

LineReader::LineReader(CFile& file, LineEnds ends, std::size_t block, std::size_t longest)
    : m_file(file), m_ends(ends), m_block(block), m_longest(longest), m_data(new char[block])
{
}

LineReader::~LineReader()
{
    if (!m_open) return;
    try
    {
        close();
    }
    catch (const CException&)
    {
        // A destructor cannot report; a caller who needs the outcome calls close() first.
    }
}

bool LineReader::refill()
{
    m_end = m_file.Read(m_data.get(), static_cast<UINT>(m_block));
    m_pos = 0;
    return m_end > 0;
}

const char* LineReader::find_end(const char* begin) const
{
    const char* stop = m_data.get() + m_end;
    const char* nl = static_cast<const char*>(std::memchr(begin, '\n', std::size_t(stop - begin)));
    if (m_ends == LineEnds::exchange) return nl;
    const char* cr = static_cast<const char*>(
        std::memchr(begin, '\r', std::size_t((nl != nullptr ? nl : stop) - begin)));
    return cr != nullptr ? cr : nl;
}

void LineReader::take_end(const char* end)
{
    m_pos = std::size_t(end - m_data.get()) + 1;
    m_skip = m_ends == LineEnds::text && *end == '\r';
}

bool LineReader::next(const char*& first, const char*& last)
{
    m_first = m_last = nullptr;
    if (m_skip)
    {
        m_skip = false;
        if (m_pos < m_end || refill()) ++m_pos;
    }
    if (m_pos == m_end && !refill()) return false;
    const char* begin = m_data.get() + m_pos;
    const char* end = find_end(begin);
    if (end != nullptr)
    {
        first = begin;
        last = end;
        take_end(end);
    }
    else
    {
        m_joined.assign(begin, std::min(m_end - m_pos, m_longest + 1));
        m_pos = m_end;
        while (end == nullptr && refill())
        {
            begin = m_data.get();
            end = find_end(begin);
            const std::size_t take = end != nullptr ? std::size_t(end - begin) : m_end;
            if (m_joined.size() <= m_longest)
                m_joined.append(begin, std::min(take, m_longest + 1 - m_joined.size()));
            if (end != nullptr)
                take_end(end);
            else
                m_pos = m_end;
        }
        first = m_joined.data();
        last = first + m_joined.size();
    }
    ++m_line;
    if (m_ends == LineEnds::exchange && last > first && last[-1] == '\r') --last;
    m_first = first;
    m_last = last;
    return true;
}

bool LineReader::next(CString& line)
{
    const char* first = nullptr;
    const char* last = nullptr;
    if (!next(first, last))
    {
        line = CString(std::string());
        return false;
    }
    line = CString(std::string(first, last));
    return true;
}

bool LineReader::holds_nul() const
{
    return m_first != nullptr &&
           std::memchr(m_first, '\0', std::size_t(m_last - m_first)) != nullptr;
}

void LineReader::close()
{
    m_open = false;
    if (m_skip)
    {
        m_skip = false;
        if (m_pos < m_end)
        {
            ++m_pos;
        }
        else
        {
            char follower;
            m_file.Read(&follower, 1);
        }
    }
    const LONGLONG unread = LONGLONG(m_end - m_pos);
    m_pos = m_end = 0;
    if (unread > 0) m_file.Seek(-unread, CFile::current);
}

}  // namespace tarvel::detail
