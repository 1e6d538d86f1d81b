// CObject, CRuntimeClass and the registry of run-time class records.
//
// The registry is a list of record addresses reached through a function-local static, so it
// exists before the first registration whatever order the modules' static initializers run in;
// it is never destroyed, so withdrawals from static destructors at process exit stay safe.
#include <tarvel/platform/Archive.h>
#include <tarvel/platform/Object.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

CRuntimeClass CObject::classCObject = {"CObject", int(sizeof(CObject)), 0xFFFF, nullptr, nullptr};

namespace
{

// Registered records in order of registration; each address appears at most once. The root's
// record is always present.
std::vector<CRuntimeClass*>& class_registry()
{
    static std::vector<CRuntimeClass*>& registry =
        *new std::vector<CRuntimeClass*>{&CObject::classCObject};
    return registry;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// CObject

CRuntimeClass* CObject::GetRuntimeClass() const { return &classCObject; }

void CObject::Serialize(CArchive&) {}

void CObject::AssertValid() const {}

void CObject::Dump(CDumpContext&) const {}

BOOL CObject::IsKindOf(const CRuntimeClass* pClass) const
{
    return GetRuntimeClass()->IsDerivedFrom(pClass);
}

BOOL CObject::IsSerializable() const { return GetRuntimeClass()->m_wSchema != 0xFFFF; }

// ---------------------------------------------------------------------------------------------
// CRuntimeClass

CObject* CRuntimeClass::CreateObject() const
{
    if (m_pfnCreateObject == nullptr) return nullptr;
    try
    {
        return m_pfnCreateObject();
    }
    catch (const std::bad_alloc&)  // a constructor that allocates with the throwing new
    {
        return nullptr;
    }
}

BOOL CRuntimeClass::IsDerivedFrom(const CRuntimeClass* pBaseClass) const
{
    if (pBaseClass == nullptr) return FALSE;
    for (const CRuntimeClass* p = this; p != nullptr; p = p->m_pBaseClass)
        if (p == pBaseClass) return TRUE;
    return FALSE;
}

// The first registered record of that name wins when two modules register the same name.
const CRuntimeClass* CRuntimeClass::FromName(LPCSTR lpszClassName)
{
    if (lpszClassName == nullptr) return nullptr;
    for (const CRuntimeClass* p : class_registry())
        if (std::strcmp(p->m_lpszClassName, lpszClassName) == 0) return p;
    return nullptr;
}

void CRuntimeClass::Store(CArchive& ar) const
{
    const std::size_t length = std::strlen(m_lpszClassName);
    ar << WORD(m_wSchema) << WORD(length);
    ar.Write(m_lpszClassName, UINT(length));
}

CRuntimeClass* CRuntimeClass::Load(CArchive& ar, UINT* pwSchemaNum)
{
    WORD schema = 0;
    WORD length = 0;
    ar >> schema >> length;
    // A length word bounds the name to 65535 bytes, so a corrupt length cannot ask for more.
    std::vector<char> name(std::size_t(length) + 1, '\0');
    if (ar.Read(name.data(), length) != length)
        throw CArchiveException(CArchiveException::endOfFile);
    if (pwSchemaNum != nullptr) *pwSchemaNum = schema;
    if (std::memchr(name.data(), '\0', length) != nullptr) return nullptr;  // no such name
    return const_cast<CRuntimeClass*>(FromName(name.data()));
}

// ---------------------------------------------------------------------------------------------
// Registry and extension modules

void AfxClassInit(CRuntimeClass* pNewClass)
{
    if (pNewClass == nullptr) return;
    std::vector<CRuntimeClass*>& registry = class_registry();
    if (std::find(registry.begin(), registry.end(), pNewClass) == registry.end())
        registry.push_back(pNewClass);
}

void AfxClassTerm(CRuntimeClass* pOldClass)
{
    if (pOldClass == nullptr || pOldClass == &CObject::classCObject) return;
    std::vector<CRuntimeClass*>& registry = class_registry();
    registry.erase(std::remove(registry.begin(), registry.end(), pOldClass), registry.end());
}

BOOL AfxInitExtensionModule(AFX_EXTENSION_MODULE& state)
{
    if (state.m_nClasses < 0 || (state.m_nClasses > 0 && state.m_pClasses == nullptr)) return FALSE;
    state.m_bInitialized = TRUE;
    return TRUE;
}

void AfxTermExtensionModule(AFX_EXTENSION_MODULE& state)
{
    if (!state.m_bInitialized) return;
    for (int i = 0; i < state.m_nClasses; ++i) AfxClassTerm(state.m_pClasses[i]);
    state.m_bInitialized = FALSE;
}

CDynLinkLibrary::CDynLinkLibrary(AFX_EXTENSION_MODULE& state) : m_state(state)
{
    if (!m_state.m_bInitialized) return;
    for (int i = 0; i < m_state.m_nClasses; ++i) AfxClassInit(m_state.m_pClasses[i]);
}
