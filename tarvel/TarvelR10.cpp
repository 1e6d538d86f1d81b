// The library module: at load time it registers the run-time class records of its classes
// with the framework layer, so that CRuntimeClass::FromName and archive loading find them;
// at unload it withdraws them.
#include <tarvel/Tarvel.h>

namespace
{

// One record per line, in the order of the class table.
// clang-format off
CRuntimeClass* const kLibraryClasses[] = {
    RUNTIME_CLASS(CVirtMat),
    RUNTIME_CLASS(CVirtRealMat),
    RUNTIME_CLASS(CVector),
    RUNTIME_CLASS(CMatrix),
    RUNTIME_CLASS(CSparseMatrix),
    RUNTIME_CLASS(CSystSpMat),
    RUNTIME_CLASS(CSkylineMatrix),
    RUNTIME_CLASS(CLongVector),
    RUNTIME_CLASS(CLongMatrix),
    RUNTIME_CLASS(CObjVect),
    RUNTIME_CLASS(CObjMat),
};

AFX_EXTENSION_MODULE TarvelR10DLL = {"TarvelR10", kLibraryClasses,
                                     int(sizeof(kLibraryClasses) / sizeof(kLibraryClasses[0])),
                                     FALSE};
// clang-format on

// Stands for the framework's library entry point: initialization, then the link object that
// makes the records known; termination when the library is unloaded.
struct ModuleRegistration
{
    ModuleRegistration()
    {
        if (AfxInitExtensionModule(TarvelR10DLL)) m_pLink = new CDynLinkLibrary(TarvelR10DLL);
    }
    ~ModuleRegistration()
    {
        delete m_pLink;
        AfxTermExtensionModule(TarvelR10DLL);
    }
    ModuleRegistration(const ModuleRegistration&) = delete;
    ModuleRegistration& operator=(const ModuleRegistration&) = delete;

    CDynLinkLibrary* m_pLink = nullptr;
};

const ModuleRegistration registration;

}  // namespace
