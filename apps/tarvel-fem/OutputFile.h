// An output file written beside its target and renamed over it only when complete: a run that
// fails, or stops, before commit leaves an existing target as it was and no partial file.
//
// Choices:
//  - The file being written is ".NAME.XXXXXX" (mkstemp) in the target's folder, so that the
//    rename stays within one file system; it is removed when the object goes without commit.
//  - The finished file takes the permissions of the file it replaces, else 0666 less the umask.
//  - A target that is a symbolic link is followed: the file it names is replaced.
//  - A target that exists but may not be written is refused at open, as writing in place would.
#pragma once

#include <fstream>
#include <string>

namespace tarvel_demo
{

class OutputFile
{
public:
    OutputFile() = default;
    ~OutputFile();  // removes the file being written unless committed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Starts writing for target; false (nothing left behind) when its folder takes no new file.
    bool open(const std::string& target);
    std::ostream& stream() { return m_out; }
    // Flushes, closes and renames the file over the target; false, the target untouched and the
    // file removed, when a write or the rename failed.
    bool commit();

private:
    void discard();

    std::ofstream m_out;
    std::string m_target, m_temporary;
};

}  // namespace tarvel_demo
