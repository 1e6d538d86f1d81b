// A storable test object that counts the live instances of its class and records the values of
// the instances it destroys, so tests can see leaks and double deletions in every build (the
// sanitizer build adds LeakSanitizer and AddressSanitizer on top). Also a deleter for the object
// graphs that archive loads give back: every object reachable through object vectors and
// matrices, each deleted once.
#pragma once

#include <tarvel/Tarvel.h>

#include <gtest/gtest.h>
#include <vector>

namespace tarvel_test
{

class CTracked : public CObject
{
    DECLARE_SERIAL(CTracked)

public:
    explicit CTracked(int value = 0);
    ~CTracked() override;
    void Serialize(CArchive& ar) override;

    int m_nValue;
    static int s_nLive;                   // instances alive now
    static std::vector<int> s_destroyed;  // values of the instances destroyed, in order
};

// Fixture: clears the record of destroyed instances and checks at the end that no tracked
// instance created during the test is still alive.
class TrackedObjectsTest : public ::testing::Test
{
protected:
    void SetUp() override { CTracked::s_destroyed.clear(); }
    void TearDown() override { EXPECT_EQ(CTracked::s_nLive, m_nLive); }  // nothing leaked

    const int m_nLive = CTracked::s_nLive;
};

// Deletes root and every distinct object reachable from it through CObjVect and CObjMat
// entries, each once (cycles included).
void DeleteGraph(CObject* root);

}  // namespace tarvel_test
