// The Matlab script a reordering leaves (ReorderOutput.cpp): its file, its text and the
// trailers that close it.
#pragma once

#include <tarvel/platform/File.h>
#include <tarvel/platform/detail/ReplaceFile.h>
#include <tarvel/reorder/ReorderMat.h>

namespace tarvel::detail
{

extern const char kTrailerSymmmd[];  // after the minimum-degree reorderings
extern const char kTrailerPlain[];   // after the backward labellings and TabuReorder
// The script file of one run, written through ReplaceFile beside GetScriptPath() and renamed
// onto it by commit(), so that the target always holds one whole script, also when several
// threads or processes reorder at once (the last to finish wins). There is no script when the
// path is empty or ReplaceFile refuses the target (a missing or read-only folder, a directory, a
// pipe); a character device is written in place. A write that fails drops the script (the
// target is left as it was). Either way the reordering runs: the script is only its record.
class ScriptFile
{
public:
    ScriptFile();
    // One MatlabWrite block of g, named name; the text of a trailer.
    void block(CReorderMat& g, const char* name);
    void text(const char* text);
    void commit();  // an uncommitted script is removed when the object goes

private:
    template <class Write> void guarded(Write write);
    ReplaceFile m_place;
    CFile m_file;  // open while there is a script to write
};
void write_text(CFile& file, const char* text);

}  // namespace tarvel::detail
