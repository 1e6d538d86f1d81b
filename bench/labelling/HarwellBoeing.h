// Reading the pattern of a matrix in the Harwell-Boeing card format (assembled types only), as
// the undirected graph of its off-diagonal entries.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace tarvel_bench
{

struct HbPattern
{
    std::string key;  // the matrix's 8-character key, outer blanks dropped
    int n = 0;        // rows (the matrix is square)
    // Off-diagonal couplings {i, j}, i < j, 0-based, each once, in the order the file stores
    // them (column by column).
    std::vector<std::pair<int, int>> edges;
};

// Reads one file; false with a message in `error` when it is not a square assembled
// Harwell-Boeing matrix that can be read.
bool read_hb_pattern(const std::string& path, HbPattern& out, std::string& error);

}  // namespace tarvel_bench
