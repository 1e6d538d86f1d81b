// TarvelRand: the sequence the classic generator gives for a seed, and its range.
#include <tarvel/Tarvel.h>

#include <gtest/gtest.h>

TEST(TarvelRand, SeedOneGivesTheClassicSequence)
{
    TarvelSrand(1);
    const int expected[] = {41, 18467, 6334, 26500, 19169};
    for (int value : expected) EXPECT_EQ(TarvelRand(), value);
}

// Reseeding restarts the sequence: the state is nothing but the last seed and the steps since.
TEST(TarvelRand, ReseedingRepeatsTheSequence)
{
    TarvelSrand(12345u);
    int first[100];
    for (int& r : first) r = TarvelRand();
    TarvelSrand(12345u);
    for (int r : first) ASSERT_EQ(TarvelRand(), r);
    for (int r : first) EXPECT_LE(r, TARVEL_RAND_MAX);
}
