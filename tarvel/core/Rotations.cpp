// Rotations: rotation vector to unit quaternion, and the 2-D and 3-D rotation matrices.
// Reference for the quaternion forms: J. Diebel, Representing Attitude: Euler Angles, Unit
// Quaternions, and Rotation Vectors, Stanford University, 2006, sec. 6 and 7.
#include <tarvel/core/Matrix.h>
#include <tarvel/core/Vector.h>

#include <cmath>

// q = (v sin(theta/2) / theta, cos(theta/2)) normalized, theta = |v|. Below theta = 1e-4 the
// factor sin(theta/2)/theta is its series 1/2 - theta^2/48 + theta^4/3840 - theta^6/645120,
// which avoids 0/0 for the zero vector (q = (0, 0, 0), result 1).
double CVector::VectToQuat(const double* v, double* q)
{
    const double theta = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    const double c = std::cos(theta * 0.5);
    double s;
    if (theta < 0.0001)
    {
        const double t2 = theta * theta;
        const double t4 = t2 * t2;
        const double t6 = t4 * t2;
        s = 0.5 - t2 * 0.0625 * 0.3333333333333333 + t4 * 0.00026041666666666666 -
            t6 * 1.5500992063492063e-6;
    }
    else
    {
        s = std::sin(theta * 0.5) / theta;
    }
    for (int i = 0; i < 3; ++i) q[i] = s * v[i];
    const double n = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + c * c);
    for (int i = 0; i < 3; ++i) q[i] = q[i] / n;
    return c / n;
}

// R = [[c, -s], [s, c]], or its transpose.
void CMatrix::RotMat2D(CMatrix& R, double angle, bool transposed)
{
    if (!R.Allocate(2, 2, false, 0.0)) return;
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    R(0, 0) = c;
    R(1, 1) = c;
    R(0, 1) = transposed ? s : -s;
    R(1, 0) = transposed ? -s : s;
}

// The nine element formulas of the two-angle matrix, evaluated exactly as written. For a = 0
// it is the rotation by b about the second axis, for b = 0 the rotation by a about the third;
// for other pairs of angles it is not orthogonal in general.
void CMatrix::RotMat(double a, double b)
{
    if (!Allocate(3, 3, false, 0.0)) return;
    const double sa = std::sin(a);
    const double ca = std::cos(a);
    const double S = sa * sa;
    const double C = ca * ca;
    const double cb = std::cos(b);
    const double sb = std::sin(b);
    CMatrix& R = *this;
    R(2, 2) = cb;
    R(0, 0) = ((1.0 - cb) * S + cb + (cb - 1.0) * S) * ca;
    R(0, 1) = ((cb - 1.0) * C - (S + cb - S * cb)) * sa;
    R(1, 0) = (C + cb - C * cb + (cb - 1.0) * C) * sa;
    R(1, 1) = (C + cb - C * cb - (cb - 1.0) * S) * ca;
    R(1, 2) = -(sa * sb);
    R(2, 0) = (S - C) * sb;
    R(2, 1) = 2.0 * (ca * sb * sa);
    R(0, 2) = ca * sb;
}

// The rotation matrix of the unit quaternion (x, y, z, w) of a rotation vector.
CMatrix& CMatrix::MakeRotMat(const CVector& rotVec)
{
    double q[3];
    const double w = VectToQuat(rotVec.m_pData, q);
    if (!Allocate(3, 3, false, 0.0)) return *this;
    const double x = q[0];
    const double y = q[1];
    const double z = q[2];
    CMatrix& R = *this;
    R(0, 0) = 2.0 * (x * x + w * w) - 1.0;
    R(1, 1) = 2.0 * (y * y + w * w) - 1.0;
    R(2, 2) = 2.0 * (z * z + w * w) - 1.0;
    R(0, 1) = 2.0 * (x * y - z * w);
    R(1, 0) = 2.0 * (x * y + z * w);
    R(0, 2) = 2.0 * (x * z + y * w);
    R(2, 0) = 2.0 * (x * z - y * w);
    R(1, 2) = 2.0 * (y * z - x * w);
    R(2, 1) = 2.0 * (y * z + x * w);
    return *this;
}
