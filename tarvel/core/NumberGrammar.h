/// \file
/// The number grammar of every text reader, and the keyword searches that find sections of a
/// text file. CVirtMat::ReadNumber, ReplacePI, ReplaceIs and ReplaceGravity (declared with
/// CVirtMat) and the two free functions below live in NumberGrammar.cpp.
///
/// Scanning (ReadNumber). The three substitutions are applied to the line from the position on
/// (pi, then the unit vectors, then gravity); then the next number is taken: it starts at a
/// digit, or at a sign followed by a digit, and runs over digits, signs, "." "," (stored as
/// ".") and "E" "e". Everything else separates numbers. The text is not validated ("1-2",
/// "1.2.3", "3e" are each one number text; readers take the longest leading number).
///
/// Substitutions. A keyword is stand-alone when the character before it and the one after it,
/// where they exist, are a blank, a tab or "-". Every stand-alone keyword of the family that
/// begins at or after the start index is replaced: "PI" "Pi" "pi" by 3.141592653589793, "I1"
/// "i1" by "1 0 0", "I2" "i2" by "0 1 0", "I3" "i3" by "0 0 1", "G" "g" by "9.81". A "-" right
/// before "I2" or "I3" is swallowed ("-I2" gives "0 -1 0"); before the others it stays and
/// negates the first number ("-I1" gives "-1 0 0", "-g" gives "-9.81").
///
/// Choices where the behaviour is open:
///  - Stand-alone is judged on the line as it stands before the call, so all keywords of one
///    family are replaced as if at once: "I1-I2" gives "1 0 00 -1 0" (the "-" goes to I2).
///  - A sign followed by a decimal separator begins a number whose text is the sign, a "0" and
///    the collected characters: "-.5" gives "-0.5", "+,25" gives "+0.25", a lone "-." gives
///    "-0." (read as -0.0).
///  - A negative position is taken as 0; a position beyond the line finds nothing and becomes
///    the line's length. A negative start index of a substitution is taken as 0.
///  - Speed: ReadNumber remembers, per thread, the last line it substituted (its text after the
///    substitutions) and where they started. A call on a line of exactly that text, at or after
///    that position, skips the substitutions, which would change nothing; any other line is
///    substituted. The result thus depends only on the line and the position, however the
///    caller filled its string, and a scan of a line number by number substitutes it once (each
///    call compares the line's text, a memory comparison). The library's readers substitute
///    each line once themselves.
///  - Conversion of a number text by the readers is strtod's in the C locale, whatever the
///    caller's locale; out-of-range numbers become what strtod makes of them ("1e999" is
///    +HUGE_VAL, "-1e-999" is -0.0).
///
/// Keyword searches (SeekTo, SeekTo_ReplLine). From the file's beginning (fromCurrent false) or
/// its current position, lines are read until one contains the keyword once trimmed of white
/// space, upper-cased and cut before the comment marker (ignoring case on both sides); the file
/// is then positioned just after that line's own line end as read: two bytes for CR LF, one for
/// a lone LF, none for a last line without one, so files with LF, CR LF or mixed line ends all
/// position right. Not found, or an error of the file: false, and the file back where the
/// search started. An empty keyword is found in the first line.
///
/// Choices where the behaviour is open:
///  - A search that starts at or after the end of the file returns false before anything else,
///    so neither the keyword nor the comment marker is upper-cased then.
///  - A non-null empty comment marker cuts every line to nothing: only an empty keyword is found.
///  - A carriage return ends a line together with the character after it, whatever that is:
///    a lone "\r" takes the next character with it.
#pragma once

#include <tarvel/platform/Export.h>
#include <tarvel/platform/File.h>
#include <tarvel/platform/String.h>

/// Searches file for the first line containing keyword (see above). comment may be null; a
/// non-null one is upper-cased in place.
TARVEL_API bool SeekTo(CString keyword, CFile& file, CString* comment, bool fromCurrent);

/// As SeekTo; keyword is upper-cased in place and, when found, replaced by the matching line as
/// compared (trimmed, upper-cased, cut before the comment marker).
TARVEL_API bool SeekTo_ReplLine(CString& keyword, CFile& file, CString* comment, bool fromCurrent);
