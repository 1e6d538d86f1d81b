// Harwell-Boeing card format (I. S. Duff, R. G. Grimes, J. G. Lewis, Users' Guide for the
// Harwell-Boeing Sparse Matrix Collection, 1992): four header cards (five when right-hand sides
// are present), then the column pointers and the row indices in fixed-width integer fields
// whose width the header's Fortran formats give, e.g. (16I5). Symmetric, skew and complex
// symmetric types store one triangle; the graph is symmetrised either way.
#include "HarwellBoeing.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <set>

namespace tarvel_bench
{

namespace
{

// Width w of a format "(kIw)"; 0 when it is not an integer format.
int integer_width(const std::string& format)
{
    const size_t i = format.find_first_of("Ii");
    if (i == std::string::npos) return 0;
    return std::atoi(format.c_str() + i + 1);
}

long field(const std::string& card, size_t from, size_t width)
{
    return from >= card.size() ? 0 : std::atol(card.substr(from, width).c_str());
}

// `count` integers in fields of `width` characters, as many per card as fit.
bool read_integers(std::istream& in, long count, int width, std::vector<long>& out)
{
    out.clear();
    std::string card;
    while (static_cast<long>(out.size()) < count && std::getline(in, card))
    {
        if (!card.empty() && card.back() == '\r') card.pop_back();
        for (size_t at = 0; at + 1 <= card.size() && static_cast<long>(out.size()) < count;
             at += static_cast<size_t>(width))
        {
            const std::string text = card.substr(at, static_cast<size_t>(width));
            if (text.find_first_not_of(' ') == std::string::npos) break;
            out.push_back(std::atol(text.c_str()));
        }
    }
    return static_cast<long>(out.size()) == count;
}

}  // namespace

bool read_hb_pattern(const std::string& path, HbPattern& out, std::string& error)
{
    std::ifstream in(path);
    std::string c1, c2, c3, c4, c5;
    if (!std::getline(in, c1) || !std::getline(in, c2) || !std::getline(in, c3) ||
        !std::getline(in, c4))
    {
        error = "header cards missing";
        return false;
    }
    std::string key = c1.size() > 72 ? c1.substr(72, 8) : "";
    key.erase(key.find_last_not_of(" \r") + 1);
    key.erase(0, key.find_first_not_of(' '));
    out.key = key;
    const long rhsCards = field(c2, 56, 14);
    const std::string type = c3.substr(0, 3);
    const long rows = field(c3, 14, 14), cols = field(c3, 28, 14), entries = field(c3, 42, 14);
    if (type.size() < 3 || (type[2] != 'A' && type[2] != 'a'))
    {
        error = "not an assembled matrix: " + type;
        return false;
    }
    if (rows != cols || rows < 1 || rows > 1000000 || entries < 0 || entries > 100000000)
    {
        error = "not a square matrix of a sensible size";
        return false;
    }
    if (rhsCards > 0) std::getline(in, c5);
    const int ptrWidth = integer_width(c4.substr(0, 16));
    const int indWidth = integer_width(c4.size() > 16 ? c4.substr(16, 16) : "");
    std::vector<long> ptr, ind;
    if (ptrWidth < 1 || indWidth < 1 || !read_integers(in, cols + 1, ptrWidth, ptr) ||
        !read_integers(in, entries, indWidth, ind))
    {
        error = "pointer or index cards unreadable";
        return false;
    }
    out.n = static_cast<int>(rows);
    out.edges.clear();
    std::set<std::pair<int, int>> seen;
    for (long j = 0; j < cols; ++j)
    {
        if (ptr[j] < 1 || ptr[j + 1] < ptr[j] || ptr[j + 1] - 1 > entries)
        {
            error = "column pointers out of order";
            return false;
        }
        for (long q = ptr[j] - 1; q < ptr[j + 1] - 1; ++q)
        {
            const long i = ind[q] - 1;
            if (i < 0 || i >= rows)
            {
                error = "row index out of range";
                return false;
            }
            if (i == j) continue;
            const std::pair<int, int> e(static_cast<int>(std::min(i, j)),
                                        static_cast<int>(std::max(i, j)));
            if (seen.insert(e).second) out.edges.push_back(e);
        }
    }
    return true;
}

}  // namespace tarvel_bench
