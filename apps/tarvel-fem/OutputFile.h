// An output file of the demo (--vtk, --spy), written by the library's rules for every output
// (tarvel/platform/detail/ReplaceFile.h): beside its target and renamed over it only when
// complete, so that a run that fails, or stops, before commit leaves an existing target as it
// was and no partial file; a character device (/dev/null) is written in place; a target that
// is any other non-regular file, or that may not be written, is refused at open.
#pragma once

#include <tarvel/platform/detail/ReplaceFile.h>

#include <fstream>
#include <string>

namespace tarvel_demo
{

class OutputFile
{
public:
    // Starts writing for target; false (nothing left behind) when it is refused.
    bool open(const std::string& target);
    std::ostream& stream() { return m_out; }
    // Flushes, closes and renames the file over the target; false, the target untouched and the
    // file removed, when a write or the rename failed.
    bool commit();

private:
    tarvel::detail::ReplaceFile m_place;
    std::ofstream m_out;  // closed before m_place removes an uncommitted file
};

}  // namespace tarvel_demo
