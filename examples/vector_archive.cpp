// Stores a dense vector and a small matrix in an archive file, loads them back through the
// extraction operators and checks that they are equal to the originals. Then stores a small
// finite-element model the same way: the degree-of-freedom table of two bar elements
// (CLongMatrix), the nodal coordinates (CMatrix) and a table of element properties (CObjVect)
// in which both elements share one material object; loading gives back one material object
// for both elements.
// Exit status 0 when every round trip agrees, 1 otherwise.
#include <tarvel/Tarvel.h>

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <unistd.h>

namespace
{

void print(const char* title, const CVector& v)
{
    std::cout << title << " (" << v.GetSize() << " elements):";
    for (int i = 0; i < v.GetSize(); ++i) std::cout << ' ' << v[i];
    std::cout << '\n';
}

}  // namespace

// The model: 3 nodes on a line, 2 degrees of freedom per node, elements (0, 1) and (1, 2).
// Returns true when the loaded model equals the stored one and shares its material.
bool model_round_trip(const std::string& name)
{
    CLongMatrix dofs;  // row e: the degrees of freedom of element e
    dofs.Allocate(2, 4, false, 0);
    for (int e = 0; e < 2; ++e)
        for (int k = 0; k < 4; ++k) dofs[e][k] = 2 * e + k;
    CMatrix nodes(3, 2, true, 0.0);  // x, y of each node
    for (int i = 0; i < 3; ++i) nodes(i, 0) = 0.5 * i;
    CVector steel(2, false, 0.0);  // Young's modulus and cross-section area
    steel[0] = 210e9;
    steel[1] = 1e-4;
    CObjVect properties;
    properties.Allocate(2, true, &steel);  // both elements point at one material

    {
        CFile file(name.c_str(), CFile::modeCreate | CFile::modeWrite);
        CArchive ar(&file, CArchive::store);
        ar << &dofs << &nodes << &properties;
        ar.Close();
    }
    CLongMatrix* dofs2 = nullptr;
    CMatrix* nodes2 = nullptr;
    CObjVect* properties2 = nullptr;
    std::unique_ptr<CLongMatrix> ownDofs;  // each loaded object is owned as soon as it exists
    std::unique_ptr<CMatrix> ownNodes;
    std::unique_ptr<CObjVect> ownProperties;
    {
        CFile file(name.c_str(), CFile::modeRead);
        CArchive ar(&file, CArchive::load);
        ar >> dofs2;
        ownDofs.reset(dofs2);
        ar >> nodes2;
        ownNodes.reset(nodes2);
        ar >> properties2;
        ownProperties.reset(properties2);
        ar.Close();
    }

    std::cout << "loaded DOF table (" << dofs2->GetRows() << " x " << dofs2->GetColumns() << "):\n";
    for (int e = 0; e < dofs2->GetRows(); ++e)
    {
        for (int k = 0; k < dofs2->GetColumns(); ++k) std::cout << ' ' << (*dofs2)[e][k];
        std::cout << '\n';
    }
    const auto* material = dynamic_cast<const CVector*>((*properties2)[0]);
    const bool shared = material && (*properties2)[1] == (*properties2)[0];
    if (material) print("loaded material", *material);
    std::cout << "elements share one material object: " << (shared ? "yes" : "no") << '\n';

    bool same = dofs2->GetRows() == 2 && dofs2->GetColumns() == 4 && *nodes2 == nodes &&
                nodes2->GetRows() == 3 && shared && *material == steel;
    for (int e = 0; same && e < 2; ++e)
        for (int k = 0; k < 4; ++k) same = same && (*dofs2)[e][k] == dofs[e][k];
    properties2->DeleteEntries();  // the loaded material belongs to the caller: deleted once
    return same;
}

int main()
{
    CVector v(5, false, 0.0);
    v.SetIncremental(0.25, 1.0);  // 1, 1.25, 1.5, 1.75, 2
    v[4] = -3.5;
    CMatrix m(2, 3, false, 0.0);
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 3; ++j) m(i, j) = 10.0 * i + j;

    print("stored vector", v);
    std::cout << "stored matrix (" << m.GetRows() << " x " << m.GetColumns() << "):\n";
    m.COUT(" ");

    // A file in the current directory, removed at the end.
    const std::string name = "vector_archive_" + std::to_string(::getpid()) + ".bin";
    std::unique_ptr<CVector> loadedVector;
    std::unique_ptr<CMatrix> loadedMatrix;
    try
    {
        {
            CFile file(name.c_str(), CFile::modeCreate | CFile::modeWrite);
            CArchive ar(&file, CArchive::store);
            ar << &v << &m;
            ar.Close();
        }
        CFile file(name.c_str(), CFile::modeRead);
        CArchive ar(&file, CArchive::load);
        CVector* pv = nullptr;
        CMatrix* pm = nullptr;
        ar >> pv;
        loadedVector.reset(pv);
        ar >> pm;
        loadedMatrix.reset(pm);
        ar.Close();
    }
    catch (const CException& e)
    {
        std::remove(name.c_str());
        std::cerr << "archive error: " << e.what() << '\n';
        return 1;
    }
    std::remove(name.c_str());

    print("loaded vector", *loadedVector);
    std::cout << "loaded matrix (" << loadedMatrix->GetRows() << " x " << loadedMatrix->GetColumns()
              << "):\n";
    loadedMatrix->COUT(" ");

    const bool same =
        *loadedVector == v && *loadedMatrix == m && loadedMatrix->GetRows() == m.GetRows();
    std::cout << (same ? "round trip: equal" : "round trip: MISMATCH") << std::endl;

    bool modelSame = false;
    try
    {
        modelSame = model_round_trip(name);
    }
    catch (const CException& e)
    {
        std::cerr << "archive error: " << e.what() << '\n';
    }
    std::remove(name.c_str());
    std::cout << (modelSame ? "model round trip: equal" : "model round trip: MISMATCH")
              << std::endl;
    return same && modelSame ? 0 : 1;
}
