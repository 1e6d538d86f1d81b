// Helpers shared by the object vector and the object matrix.
#pragma once

#include <tarvel/platform/Object.h>

namespace tarvel::detail
{

// Deletes each distinct non-null object among entries[0 .. n) exactly once, visiting the
// entries from the last to the first (an object is deleted at its last entry), and sets every
// entry to null. Expected time linear in n.
void delete_distinct(CObject** entries, long n);

// A new array of n null pointers, or null when it cannot be obtained.
CObject** new_entries(long n);

}  // namespace tarvel::detail
