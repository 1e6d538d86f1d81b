// Output files of the demo through ReplaceFile (rules in OutputFile.h).
#include "OutputFile.h"

namespace tarvel_demo
{

bool OutputFile::open(const std::string& target)
{
    if (!m_place.open(target)) return false;
    m_out.open(m_place.path(), std::ios::binary | std::ios::trunc);
    if (m_out) return true;
    m_place.discard();
    return false;
}

bool OutputFile::commit()
{
    m_out.flush();
    const bool written = static_cast<bool>(m_out);
    m_out.close();
    if (written && !m_out.fail()) return m_place.commit();
    m_place.discard();
    return false;
}

}  // namespace tarvel_demo
