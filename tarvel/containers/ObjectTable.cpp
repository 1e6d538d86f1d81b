// Deletion of the distinct objects of an object table, and its pointer arrays.
#include <tarvel/containers/detail/ObjectTable.h>

#include <algorithm>
#include <new>
#include <unordered_set>

namespace tarvel::detail
{

// Rescanning the earlier entries for each object deleted (the direct reading of "delete p,
// null every other entry equal to p") costs O(n^2) on a table of n entries; remembering the
// objects already deleted gives the same deletions, in the same order, in expected O(n).
void delete_distinct(CObject** entries, long n)
{
    std::unordered_set<const CObject*> deleted;
    for (long i = n - 1; i >= 0; --i)
    {
        CObject* p = entries[i];
        entries[i] = nullptr;
        if (p == nullptr || !deleted.insert(p).second) continue;  // held again at a later entry
        delete p;
    }
}

CObject** new_entries(long n)
{
    CObject** entries = new (std::nothrow) CObject*[static_cast<std::size_t>(n)];
    if (entries) std::fill_n(entries, n, nullptr);
    return entries;
}

}  // namespace tarvel::detail
