// Helpers shared by the integer and object containers.
#pragma once

#include <tarvel/platform/Object.h>

namespace tarvel::detail
{

// The entry count of a rows x cols table: rows * cols, 0 unless both are positive.
inline long entry_count(int rows, int cols)
{
    return rows > 0 && cols > 0 ? static_cast<long>(rows) * cols : 0;
}

// Deletes each distinct non-null object among entries[0 .. n) exactly once, visiting the
// entries from the last to the first (an object is deleted at its last entry), and sets every
// entry to null. Expected time linear in n.
void delete_distinct(CObject** entries, long n);

// A new array of n null pointers, or null when it cannot be obtained.
CObject** new_entries(long n);

}  // namespace tarvel::detail
