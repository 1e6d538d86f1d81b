// Text input and output: writes the system matrix and right-hand side of a chain of three
// springs as text, then reads a sectioned input file of the kind a finite-element program
// keeps (comments, a nested block, symbolic numbers) and prints what it read.
// Exit status 0 when the input file reads as expected, 1 otherwise.
#include <tarvel/Tarvel.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace
{

std::string contents(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void print(const char* title, const CMatrix& m)
{
    std::cout << title << " (" << m.GetRows() << " x " << m.GetColumns() << "):\n";
    m.COUT("  ");
}

}  // namespace

int main()
{
    const std::string tag = std::to_string(::getpid());
    const std::string output = "text_io_system_" + tag + ".txt";
    const std::string input = "text_io_input_" + tag + ".txt";

    // -- A chain of three springs of stiffness 100, fixed at node 0, pulled at node 3 --
    CSystSpMat K(4);
    for (long e = 0; e < 3; ++e)
    {
        long dofs[] = {e, e + 1};
        double ke[] = {100.0, -100.0, -100.0, 100.0};
        K.AddValues(dofs, ke, 2);
    }
    CMatrix B(4, 1, true, 0.0);
    B(3, 0) = 5.0;
    {
        CFile file(output.c_str(), CFile::modeCreate | CFile::modeWrite);
        K.WriteASCII(&file, "", " ", 11, 3, 1, true, false);  // dense rows, exponent form
        B.WriteASCII(&file, "", " ", 8, 2, 0, true, true);    // fixed form, header and labels
    }
    std::cout << "The system matrix and its right-hand side as text:\n" << contents(output);

    // -- A sectioned input file: comments after "!", keywords in any case, symbols --
    {
        std::ofstream in(input, std::ios::binary);
        in << "! model input\r\n"
              "title: three springs\r\n"
              "Stiffness          ! the block after this line, up to END\r\n"
              "  2   -1   0       ! first row\r\n"
              "\r\n"
              " -1    2  -g       ! g is 9.81\r\n"
              "Skipped            ! a line beginning with S opens a nested block...\r\n"
              "  99 99 99\r\n"
              "end of skipped     ! ...closed by the next END\r\n"
              " -I3               ! the third unit vector, negated: 0 0 -1\r\n"
              " pi/2  2pi  PI     ! only a stand-alone pi is a symbol\r\n"
              "END\r\n"
              "loads\r\n"
              " I1\r\n"
              "end\r\n";
    }
    CMatrix stiffness, loads;
    {
        CFile file(input.c_str(), CFile::modeRead);
        stiffness.ReadASCII(&file, "stiffness", "end", "!");
        loads.ReadASCII(&file, "LOADS", "END", "!");
    }
    print("Block STIFFNESS", stiffness);
    print("Block LOADS", loads);

    std::remove(output.c_str());
    std::remove(input.c_str());

    const bool ok = stiffness.GetRows() == 4 && stiffness.GetColumns() == 3 &&
                    stiffness(1, 2) == -9.81 && stiffness(2, 2) == -1.0 && stiffness(3, 0) == 2.0 &&
                    stiffness(3, 2) == 3.141592653589793 && loads.GetRows() == 1 &&
                    loads(0, 0) == 1.0;
    std::cout << (ok ? "read as expected\n" : "NOT read as expected\n");
    return ok ? 0 : 1;
}
