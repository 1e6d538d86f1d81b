/// \file
/// Object root and run-time class records: CObject, CRuntimeClass, the
/// DECLARE_/IMPLEMENT_ macros, and the registry that FromName and archive loading search.
///
/// Registration: IMPLEMENT_SERIAL registers its record when the module that holds it is loaded
/// (a static AFX_CLASSINIT object). An extension library registers its table of records through
/// AfxInitExtensionModule and a CDynLinkLibrary object at load time and withdraws them with
/// AfxTermExtensionModule at unload. Registering a record twice is harmless; when two records
/// carry the same name, FromName gives the one registered first.
#pragma once

#include <tarvel/platform/AfxTypes.h>
#include <tarvel/platform/Export.h>

class CArchive;
class CObject;

/// Diagnostic sink of CObject::Dump; it has no output on this platform.
class TARVEL_API CDumpContext
{
};

/// The run-time record of a class: its name, size, schema, creation function and base.
struct TARVEL_API CRuntimeClass
{
    LPCSTR m_lpszClassName;           ///< the class's own name, e.g. "CMatrix"
    int m_nObjectSize;                ///< sizeof the class
    UINT m_wSchema;                   ///< 0xFFFF: type information only, not storable
    CObject* (*m_pfnCreateObject)();  ///< null when the class is not creatable
    CRuntimeClass* m_pBaseClass;      ///< null only for CObject

    /// A new default-constructed object (the caller owns it), or null when the class has no
    /// creation function or the allocation fails.
    CObject* CreateObject() const;
    /// True when this record is pBaseClass or derives from it.
    BOOL IsDerivedFrom(const CRuntimeClass* pBaseClass) const;
    /// The registered record of that name, or null.
    static const CRuntimeClass* FromName(LPCSTR lpszClassName);

    /// Archive form of a class reference: schema word, name length word, name bytes.
    void Store(CArchive& ar) const;
    /// Reads a stored class reference; null when the name is not registered. *pwSchemaNum
    /// receives the stored schema.
    static CRuntimeClass* Load(CArchive& ar, UINT* pwSchemaNum);
};

/// Registry operations behind the macros and the extension module.
///@{
TARVEL_API void AfxClassInit(CRuntimeClass* pNewClass);
TARVEL_API void AfxClassTerm(CRuntimeClass* pOldClass);
///@}

/// Registers a record for the lifetime of the module that holds it: a static AFX_CLASSINIT
/// registers at load and withdraws the record at unload, so no dangling record stays behind.
struct TARVEL_API AFX_CLASSINIT
{
    /// Registers pNewClass.
    explicit AFX_CLASSINIT(CRuntimeClass* pNewClass) : m_pClass(pNewClass)
    {
        AfxClassInit(pNewClass);
    }
    ~AFX_CLASSINIT() { AfxClassTerm(m_pClass); }
    AFX_CLASSINIT(const AFX_CLASSINIT&) = delete;
    AFX_CLASSINIT& operator=(const AFX_CLASSINIT&) = delete;

    CRuntimeClass* m_pClass;  ///< the record registered
};

/// An extension library: its name and its table of run-time class records.
struct AFX_EXTENSION_MODULE
{
    LPCSTR m_lpszModuleName;           ///< the library's name
    CRuntimeClass* const* m_pClasses;  ///< m_nClasses records
    int m_nClasses;                    ///< records in m_pClasses
    BOOL m_bInitialized;               ///< set by AfxInitExtensionModule
};

/// Prepares the module (FALSE when its table is missing); the CDynLinkLibrary object then makes
/// its records known to the application; AfxTermExtensionModule withdraws them.
///@{
TARVEL_API BOOL AfxInitExtensionModule(AFX_EXTENSION_MODULE& state);
TARVEL_API void AfxTermExtensionModule(AFX_EXTENSION_MODULE& state);
///@}

/// Makes an extension library's records known to the application while it lives.
class TARVEL_API CDynLinkLibrary
{
public:
    explicit CDynLinkLibrary(AFX_EXTENSION_MODULE& state);  ///< registers the records of state
    CDynLinkLibrary(const CDynLinkLibrary&) = delete;
    CDynLinkLibrary& operator=(const CDynLinkLibrary&) = delete;

private:
    AFX_EXTENSION_MODULE& m_state;
};

/// The root of the storable classes: run-time class record, Serialize and diagnostics.
class TARVEL_API CObject
{
public:
    /// Virtual operations, in this order: the record, destruction, storage, diagnostics.
    ///@{
    virtual CRuntimeClass* GetRuntimeClass() const;
    ///@}
    virtual ~CObject() = default;
    virtual void Serialize(CArchive& ar);       ///< does nothing
    virtual void AssertValid() const;           ///< does nothing
    virtual void Dump(CDumpContext& dc) const;  ///< does nothing

    BOOL IsKindOf(const CRuntimeClass* pClass) const;  ///< its class is pClass or derives from it
    BOOL IsSerializable() const;                       ///< the record's schema is not 0xFFFF

    static CRuntimeClass classCObject;  ///< CObject's own record

protected:
    CObject() = default;
    /// Copies and moves (nothing to copy).
    ///@{
    CObject(const CObject&) = default;
    CObject(CObject&&) = default;
    CObject& operator=(const CObject&) = default;
    CObject& operator=(CObject&&) = default;
    ///@}
};

/// The record of class_name.
#define RUNTIME_CLASS(class_name) (&class_name::class##class_name)

/// Inside a class: its run-time record.
#define DECLARE_DYNAMIC(class_name)                                                                \
public:                                                                                            \
    static CRuntimeClass class##class_name;                                                        \
    CRuntimeClass* GetRuntimeClass() const override;

/// Inside a class: its record and a creation function.
#define DECLARE_DYNCREATE(class_name)                                                              \
    DECLARE_DYNAMIC(class_name)                                                                    \
    static CObject* CreateObject();

/// Inside a class: its record, a creation function and operator>> of a pointer.
#define DECLARE_SERIAL(class_name)                                                                 \
    DECLARE_DYNCREATE(class_name)                                                                  \
    friend TARVEL_API CArchive& operator>>(CArchive& ar, class_name*& pOb);

/// Defines the record of class_name: schema wSchema, creation function pfnNew.
#define TARVEL_IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, wSchema, pfnNew)                \
    CRuntimeClass class_name::class##class_name = {#class_name, int(sizeof(class_name)),           \
                                                   UINT(wSchema), pfnNew,                          \
                                                   RUNTIME_CLASS(base_class_name)};                \
    CRuntimeClass* class_name::GetRuntimeClass() const { return RUNTIME_CLASS(class_name); }

/// The definitions of DECLARE_DYNAMIC: type information only (schema 0xFFFF).
#define IMPLEMENT_DYNAMIC(class_name, base_class_name)                                             \
    TARVEL_IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, 0xFFFF, nullptr)

/// The definitions of DECLARE_DYNCREATE: creatable, not storable.
#define IMPLEMENT_DYNCREATE(class_name, base_class_name)                                           \
    CObject* class_name::CreateObject() { return new (std::nothrow) class_name; }                  \
    TARVEL_IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, 0xFFFF, class_name::CreateObject)

/// The definitions of DECLARE_SERIAL: storable with schema wSchema, registered at load.
#define IMPLEMENT_SERIAL(class_name, base_class_name, wSchema)                                     \
    CObject* class_name::CreateObject() { return new (std::nothrow) class_name; }                  \
    TARVEL_IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, wSchema, class_name::CreateObject)  \
    static const AFX_CLASSINIT tarvel_classinit_##class_name(RUNTIME_CLASS(class_name));           \
    [[maybe_unused]] CArchive& operator>>(CArchive& ar, class_name*& pOb)                          \
    {                                                                                              \
        pOb = static_cast<class_name*>(ar.ReadObject(RUNTIME_CLASS(class_name)));                  \
        return ar;                                                                                 \
    }

#include <tarvel/platform/Archive.h>  // operator>> of IMPLEMENT_SERIAL reads through the archive

#include <new>  // std::nothrow for the IMPLEMENT_ macros
