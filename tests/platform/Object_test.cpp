// Run-time class records: registration, lookup by name, derivation and dynamic creation.
#include <tarvel/Tarvel.h>

#include <gtest/gtest.h>
#include <memory>

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

TEST(RuntimeClass, FromNameFindsTheLibrarysRecords)
{
    const CRuntimeClass* virtMat = CRuntimeClass::FromName("CVirtMat");
    ASSERT_EQ(virtMat, RUNTIME_CLASS(CVirtMat));
    EXPECT_STREQ(virtMat->m_lpszClassName, "CVirtMat");
    EXPECT_EQ(virtMat->m_pBaseClass, RUNTIME_CLASS(CObject));
    EXPECT_EQ(virtMat->m_wSchema, 0xFFFFu);
    EXPECT_EQ(CRuntimeClass::FromName("CVirtRealMat"), RUNTIME_CLASS(CVirtRealMat));
    EXPECT_EQ(CRuntimeClass::FromName("CObject"), RUNTIME_CLASS(CObject));
    EXPECT_EQ(CRuntimeClass::FromName("CNoSuchClass"), nullptr);
    EXPECT_EQ(CRuntimeClass::FromName("cvirtmat"), nullptr);  // names are case-sensitive
    EXPECT_EQ(CRuntimeClass::FromName(nullptr), nullptr);
}

TEST(RuntimeClass, IsKindOfFollowsTheBaseChain)
{
    CTestCircle circle;
    EXPECT_EQ(circle.GetRuntimeClass(), RUNTIME_CLASS(CTestCircle));
    EXPECT_TRUE(circle.IsKindOf(RUNTIME_CLASS(CTestCircle)));
    EXPECT_TRUE(circle.IsKindOf(RUNTIME_CLASS(CTestShape)));
    EXPECT_TRUE(circle.IsKindOf(RUNTIME_CLASS(CObject)));
    EXPECT_FALSE(circle.IsKindOf(RUNTIME_CLASS(CVirtMat)));
    EXPECT_FALSE(circle.IsKindOf(nullptr));

    EXPECT_TRUE(RUNTIME_CLASS(CVirtRealMat)->IsDerivedFrom(RUNTIME_CLASS(CVirtMat)));
    EXPECT_FALSE(RUNTIME_CLASS(CVirtMat)->IsDerivedFrom(RUNTIME_CLASS(CVirtRealMat)));
    EXPECT_FALSE(RUNTIME_CLASS(CTestShape)->IsDerivedFrom(RUNTIME_CLASS(CTestCircle)));
    EXPECT_FALSE(circle.IsSerializable());  // dynamic creation alone does not make it storable
}

TEST(RuntimeClass, CreateObjectOnlyForCreatableClasses)
{
    EXPECT_EQ(RUNTIME_CLASS(CTestShape)->CreateObject(), nullptr);
    EXPECT_EQ(RUNTIME_CLASS(CVirtMat)->CreateObject(), nullptr);
    EXPECT_EQ(RUNTIME_CLASS(CObject)->CreateObject(), nullptr);

    std::unique_ptr<CObject> made(RUNTIME_CLASS(CTestCircle)->CreateObject());
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->GetRuntimeClass(), RUNTIME_CLASS(CTestCircle));
    EXPECT_EQ(static_cast<CTestCircle*>(made.get())->m_dRadius, 1.5);  // default-constructed
}

// Dynamic classes are not registered on their own; a module registers its table. Registering
// twice is harmless and withdrawing is complete.
TEST(RuntimeClass, ExtensionModuleRegistersAndWithdrawsItsTable)
{
    CRuntimeClass* table[] = {RUNTIME_CLASS(CTestShape), RUNTIME_CLASS(CTestCircle)};
    AFX_EXTENSION_MODULE module = {"TestModule", table, 2, FALSE};
    ASSERT_EQ(CRuntimeClass::FromName("CTestCircle"), nullptr);

    ASSERT_TRUE(AfxInitExtensionModule(module));
    {
        CDynLinkLibrary link(module);
        CDynLinkLibrary again(module);
    }
    EXPECT_EQ(CRuntimeClass::FromName("CTestShape"), RUNTIME_CLASS(CTestShape));
    EXPECT_EQ(CRuntimeClass::FromName("CTestCircle"), RUNTIME_CLASS(CTestCircle));

    AfxTermExtensionModule(module);
    EXPECT_EQ(CRuntimeClass::FromName("CTestShape"), nullptr);
    EXPECT_EQ(CRuntimeClass::FromName("CTestCircle"), nullptr);
    EXPECT_EQ(CRuntimeClass::FromName("CVirtMat"), RUNTIME_CLASS(CVirtMat));  // others stay

    // A record carrying a name already registered does not displace the first one.
    CRuntimeClass impostor = {"CVirtMat", 8, 1, nullptr, RUNTIME_CLASS(CObject)};
    AfxClassInit(&impostor);
    EXPECT_EQ(CRuntimeClass::FromName("CVirtMat"), RUNTIME_CLASS(CVirtMat));
    AfxClassTerm(&impostor);

    AFX_EXTENSION_MODULE broken = {"Broken", nullptr, 3, FALSE};
    EXPECT_FALSE(AfxInitExtensionModule(broken));
}
