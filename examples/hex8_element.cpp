// The stiffness matrix of one trilinear hexahedron (Hex8) of an isotropic elastic material,
// integrated by 2 x 2 x 2 Gauss points, with the dense forms that run fastest at element sizes:
// at each point the Jacobian J = dN/dxi X (operator*=), its determinant (Det), the shape
// derivatives dN/dx = J^-1 dN/dxi (SolveAxEqb), the strain matrix B, and then
//     T = D;  T.PostPreMult(Bt, 0);  T *= w det J;  ke += T        (ke += w B^T D B)
// where T, ke and the other work matrices keep their shapes from one point to the next.
// Reference: T. J. R. Hughes, The Finite Element Method, Dover 2000, sec. 3.5 and 3.8.
// Exit status 0 when ke is symmetric and the rigid translations give no forces, 1 otherwise.
#include <tarvel/Tarvel.h>

#include <cmath>
#include <cstdio>

namespace
{

// Natural coordinates of the nodes, counter-clockwise on the bottom face, then the top face.
const double kNode[8][3] = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                            {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};

// D of Hooke's law in Voigt order (xx, yy, zz, xy, yz, zx), engineering shear strains.
CMatrix elasticity(double E, double nu)
{
    CMatrix D(6, 6, true, 0.0);
    const double f = E / ((1 + nu) * (1 - 2 * nu));
    for (int i = 0; i < 3; ++i)
    {
        for (int j = 0; j < 3; ++j) D(i, j) = f * (i == j ? 1 - nu : nu);
        D(3 + i, 3 + i) = f * (1 - 2 * nu) / 2;
    }
    return D;
}

}  // namespace

int main()
{
    // A slightly distorted brick, 2 x 1 x 1, nodal coordinates X (8 x 3).
    CMatrix X(8, 3, true, 0.0);
    for (int a = 0; a < 8; ++a)
        for (int d = 0; d < 3; ++d) X(a, d) = (kNode[a][d] + 1) / 2 * (d == 0 ? 2.0 : 1.0);
    X(6, 0) += 0.1;
    X(6, 2) += 0.05;

    const CMatrix D = elasticity(210e3, 0.3);
    CMatrix ke(24, 24, true, 0.0), T(24, 24), J(3, 3), dNdx(3, 8), B(6, 24, true, 0.0), Bt;
    CMatrix dNdxi(3, 8);
    const double g = 1 / std::sqrt(3.0);
    for (int p = 0; p < 8; ++p)
    {
        const double xi[3] = {kNode[p][0] * g, kNode[p][1] * g, kNode[p][2] * g};
        // -- 1. dN_a/dxi_d = xi_ad / 8 prod_{e != d} (1 + xi_ae xi_e) --
        for (int a = 0; a < 8; ++a)
            for (int d = 0; d < 3; ++d)
            {
                double v = kNode[a][d] / 8;
                for (int e = 0; e < 3; ++e)
                    if (e != d) v *= 1 + kNode[a][e] * xi[e];
                dNdxi(d, a) = v;
            }
        // -- 2. J = dN/dxi X, det J, dN/dx = J^-1 dN/dxi --
        J = dNdxi;
        J *= X;  // 3 x 8 by 8 x 3: a new 3 x 3 array
        const double detJ = J.Det();
        dNdx = dNdxi;
        double seconds = 0.0;
        if (detJ <= 0.0 || !J.SolveAxEqb(&dNdx, true, seconds)) return 1;
        // -- 3. B (6 x 24): strains from the nodal displacements --
        for (int a = 0; a < 8; ++a)
        {
            const double nx = dNdx(0, a), ny = dNdx(1, a), nz = dNdx(2, a);
            const int c = 3 * a;
            B(0, c) = nx;
            B(1, c + 1) = ny;
            B(2, c + 2) = nz;
            B(3, c) = ny;
            B(3, c + 1) = nx;
            B(4, c + 1) = nz;
            B(4, c + 2) = ny;
            B(5, c) = nz;
            B(5, c + 2) = nx;
        }
        Bt = CMatrix(B, true);
        // -- 4. ke += w det J B^T D B (Gauss weights 1) --
        T = D;
        T.PostPreMult(Bt, 0);  // Bt D^T Bt^T = B^T D B, D symmetric
        T *= detJ;
        ke += T;
    }

    // Symmetry, and no force from a rigid translation: sum over the nodes of each row block.
    double asym = 0.0, force = 0.0, scale = ke.InfNorm();
    for (int i = 0; i < 24; ++i)
        for (int j = 0; j < 24; ++j) asym = std::fmax(asym, std::fabs(ke(i, j) - ke(j, i)));
    for (int d = 0; d < 3; ++d)
    {
        CVector u(24, true, 0.0), f(24, true, 0.0);
        for (int a = 0; a < 8; ++a) u[3 * a + d] = 1.0;
        ke.ApplyTo(u, f, 1);
        force = std::fmax(force, f.InfNorm());
    }
    std::printf("Hex8 stiffness 24 x 24: trace %.6g, largest row sum %.6g\n", ke.Trace(), scale);
    std::printf("asymmetry %.3g, force of a rigid translation %.3g (relative)\n", asym / scale,
                force / scale);
    return asym <= 1e-12 * scale && force <= 1e-12 * scale ? 0 : 1;
}
