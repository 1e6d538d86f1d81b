// The readers' number scan: CVirtMat::ReadNumber's grammar (core/NumberGrammar.h) over a
// line, with the number text in storage the caller keeps.
#pragma once

#include <tarvel/platform/String.h>

#include <string>

namespace tarvel::detail
{

// CVirtMat::ReadNumber with the number text in a string the caller keeps from call to call
// (the readers' loop allocates nothing per number); false when the line holds no further
// number. With substitute false the substitutions are skipped: only for a caller that
// substituted the line from a position at or before pos and has not changed it since.
// NumberGrammar.cpp.
bool next_number(int& pos, CString& line, std::string& text, bool substitute);

// Calls f(text) for every number text of line, scanned from position 0 as by
// CVirtMat::ReadNumber (the line is substituted in place); returns how many there were. The
// line is substituted once, by the first call: a substituted tail holds no stand-alone keyword,
// so substituting it again would change nothing, and the scan stays linear in the length.
template <class F> long for_each_number(CString& line, F f)
{
    long count = 0;
    int pos = 0;
    std::string text;
    while (next_number(pos, line, text, count == 0))
    {
        f(static_cast<const std::string&>(text));
        ++count;
    }
    return count;
}

}  // namespace tarvel::detail
