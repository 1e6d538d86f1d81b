// Run-time class records: lookup by name, derivation, dynamic creation, and registration of a
// module's table.
#include <tarvel/Tarvel.h>

#include <gtest/gtest.h>

namespace
{

// A class with type information only, and a creatable one derived from it.
class CTestShape : public CObject
{
    DECLARE_DYNAMIC(CTestShape)
};

class CTestCircle : public CTestShape
{
    DECLARE_DYNCREATE(CTestCircle)

public:
    double m_dRadius = 1.5;
};

IMPLEMENT_DYNAMIC(CTestShape, CObject)
IMPLEMENT_DYNCREATE(CTestCircle, CTestShape)

}  // namespace

// Creation and derivation; dynamic classes are found by name only once a module registers its
// table; registering twice is harmless, withdrawing is complete, and a second record of a taken
// name never displaces the first.
// The library's storable classes are found by name from the start, with schema 1 and their
// base, and make objects of their own class.
TEST(RuntimeClass, CreationDerivationRegistrationAndLibraryRecords)
{
    EXPECT_EQ(RUNTIME_CLASS(CTestShape)->CreateObject(), nullptr);
    std::unique_ptr<CObject> made(RUNTIME_CLASS(CTestCircle)->CreateObject());
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(static_cast<CTestCircle*>(made.get())->m_dRadius, 1.5);  // default-constructed
    // dynamic creation alone does not make it storable
    EXPECT_TRUE(made->IsKindOf(RUNTIME_CLASS(CTestShape)) &&
                made->IsKindOf(RUNTIME_CLASS(CObject)) &&
                !made->IsKindOf(RUNTIME_CLASS(CVirtMat)) && !made->IsSerializable());

    CRuntimeClass* table[] = {RUNTIME_CLASS(CTestShape), RUNTIME_CLASS(CTestCircle)};
    AFX_EXTENSION_MODULE module = {"TestModule", table, 2, FALSE};
    EXPECT_EQ(CRuntimeClass::FromName("CTestCircle"), nullptr);
    ASSERT_TRUE(AfxInitExtensionModule(module));
    {
        CDynLinkLibrary link(module), again(module);
    }
    EXPECT_EQ(CRuntimeClass::FromName("CTestCircle"), RUNTIME_CLASS(CTestCircle));
    AfxTermExtensionModule(module);
    EXPECT_TRUE(!CRuntimeClass::FromName("CTestShape") && !CRuntimeClass::FromName("CTestCircle"));

    CRuntimeClass impostor = {"CVirtMat", 8, 1, nullptr, RUNTIME_CLASS(CObject)};
    AfxClassInit(&impostor);
    EXPECT_EQ(CRuntimeClass::FromName("CVirtMat"), RUNTIME_CLASS(CVirtMat));
    AfxClassTerm(&impostor);
    EXPECT_EQ(CRuntimeClass::FromName("CVirtMat"), RUNTIME_CLASS(CVirtMat));  // still there
    EXPECT_EQ(CRuntimeClass::FromName(nullptr), nullptr);
    AFX_EXTENSION_MODULE broken = {"Broken", nullptr, 3, FALSE};
    EXPECT_FALSE(AfxInitExtensionModule(broken));

    const CRuntimeClass *object = RUNTIME_CLASS(CObject), *real = RUNTIME_CLASS(CVirtRealMat);
    // clang-format off
    const std::pair<const char*, const CRuntimeClass*> records[] = {
        {"CVector", real}, {"CMatrix", RUNTIME_CLASS(CVector)}, {"CSparseMatrix", real},
        {"CSystSpMat", RUNTIME_CLASS(CSparseMatrix)}, {"CSkylineMatrix", real},
        {"CLongVector", object}, {"CLongMatrix", object}, {"CObjVect", object}, {"CObjMat", object}};
    // clang-format on
    for (auto [name, base] : records)
    {
        const CRuntimeClass* rc = CRuntimeClass::FromName(name);
        ASSERT_TRUE(rc && rc->m_wSchema == 1 && rc->m_pBaseClass == base) << name;
        std::unique_ptr<CObject> made(rc->CreateObject());
        EXPECT_TRUE(made && made->GetRuntimeClass() == rc && made->IsKindOf(base)) << name;
    }
    EXPECT_FALSE(CVector().IsKindOf(RUNTIME_CLASS(CMatrix)));
}
