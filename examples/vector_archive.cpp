// Stores a dense vector and a small matrix in an archive file, loads them back through the
// extraction operators and checks that they are equal to the originals.
// Exit status 0 when both round trips agree, 1 otherwise.
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
    return same ? 0 : 1;
}
