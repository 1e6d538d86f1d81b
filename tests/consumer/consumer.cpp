// Uses the installed headers and library: the umbrella header, a class record found by name,
// and a dense vector. Exits non-zero when anything is missing.
#include <tarvel/Tarvel.h>

#include <memory>

int main()
{
    const CRuntimeClass* record = CRuntimeClass::FromName("CVector");
    if (record == nullptr) return 1;
    std::unique_ptr<CObject> object(record->CreateObject());
    auto* v = dynamic_cast<CVector*>(object.get());
    if (v == nullptr || !v->Allocate(3, true, 2.0)) return 2;
    return v->Sum() == 6.0 ? 0 : 3;
}
