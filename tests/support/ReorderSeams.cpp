#include "support/ReorderSeams.h"

#include <ctime>
#include <utility>

namespace
{

tarvel_test::ReorderPath g_path = tarvel_test::ReorderPath::fast;
tarvel_test::SeedSource g_seedSource = nullptr;

}  // namespace

namespace tarvel::detail
{

ReorderPath reorder_path() { return g_path; }

unsigned tabu_seed()
{
    return g_seedSource ? g_seedSource() : static_cast<unsigned>(std::time(nullptr));
}

}  // namespace tarvel::detail

namespace tarvel_test
{

ReorderPath SetReorderPath(ReorderPath path) { return std::exchange(g_path, path); }

SeedSource SetTabuSeedSource(SeedSource source) { return std::exchange(g_seedSource, source); }

}  // namespace tarvel_test
