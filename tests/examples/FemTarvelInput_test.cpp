// The library's inputs made from a model problem: the element loop, the load column and the
// prescribed-DOF vectors, in exactly the layout the system matrix's operations read.
#include "fem/TarvelInput.h"

#include <gtest/gtest.h>
#include <vector>

using namespace tarvel_fem;

namespace
{

// Records what an AddValues caller hands over.
struct RecordingMatrix
{
    std::vector<std::vector<long>> dofs;
    std::vector<double> first_values;
    void AddValues(long* d, double* ke, int n)
    {
        dofs.emplace_back(d, d + n);
        first_values.push_back(ke[0]);
    }
};

}  // namespace

TEST(FemTarvelInput, AssembleCallsAddValuesOncePerElementInOrder)
{
    FemProblem p = poisson_2d(2);
    RecordingMatrix K;
    assemble(K, p);
    ASSERT_EQ(K.dofs.size(), 4u);
    EXPECT_EQ(K.dofs[0], (std::vector<long>{0, 1, 4, 3}));
    EXPECT_EQ(K.dofs[3], (std::vector<long>{4, 5, 8, 7}));
    EXPECT_DOUBLE_EQ(K.first_values[2], p.matrix(2)[0]);
}

// 4 x 2 plate: fixed DOFs {0, 1, 5, 10, 11, 20, 21}, the prop (DOF 5) at -1e-3.
TEST(FemTarvelInput, PrescribedVectorsAndLoadColumn)
{
    const FemProblem p = cantilever_plate(4, 2);
    CVector dofs, values;
    prescribed_vectors(p, dofs, values);
    const auto elements = [](const CVector& v)
    { return std::vector<double>(v.m_pData, v.m_pData + v.GetSize()); };
    EXPECT_EQ(elements(dofs), (std::vector<double>{0, 1, 5, 10, 11, 20, 21}));
    EXPECT_EQ(elements(values), (std::vector<double>{0, 0, -1e-3, 0, 0, 0, 0}));
    const CMatrix B = load_matrix(p);
    EXPECT_EQ(std::pair(B.GetRows(), B.GetColumns()), std::pair(30, 1));
    EXPECT_EQ(elements(B), p.load);
}
