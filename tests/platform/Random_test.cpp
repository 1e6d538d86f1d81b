// TarvelRand: the sequence the linear congruential rule gives for seed 1, and reseeding.
#include <tarvel/Tarvel.h>

#include <gtest/gtest.h>

TEST(TarvelRand, SeedOneGivesTheRuleSequenceAndReseedingRepeatsIt)
{
    for (int pass = 0; pass < 2; ++pass)
    {
        TarvelSrand(1);
        for (int value : {41, 18467, 6334, 26500, 19169}) EXPECT_EQ(TarvelRand(), value);
    }
}
