/// \file
/// complex_d: a complex number in double precision, a plain value type. Every comparison is
/// exact; ordering compares moduli only, so numbers of equal modulus are neither greater nor
/// smaller than each other. Division by zero gives the infinities and NaNs of floating-point
/// division.
#pragma once

#include <tarvel/platform/Export.h>

/// A complex number in double precision (this file's comment states its rules).
class TARVEL_API complex_d
{
public:
    complex_d() : m_dRe(0.0), m_dIm(0.0) {}

    complex_d& operator=(double re);              ///< (re, 0)
    complex_d& operator()(double re, double im);  ///< (re, im)

    bool IsReal() const { return m_dIm == 0.0; }  ///< the imaginary part is 0
    bool IsIm() const { return m_dRe == 0.0; }    ///< the real part is 0
    /// Exact comparison; a double is (d, 0).
    ///@{
    bool operator==(double d) const { return m_dRe == d && m_dIm == 0.0; }
    bool operator!=(double d) const { return !(*this == d); }
    bool operator==(const complex_d& z) const { return m_dRe == z.m_dRe && m_dIm == z.m_dIm; }
    bool operator!=(const complex_d& z) const { return !(*this == z); }
    ///@}
    bool operator>(const complex_d& z) const;  ///< |this| > |z|
    bool operator<(const complex_d& z) const;  ///< |this| < |z|

    /// Arithmetic with the real number d.
    ///@{
    complex_d operator+(double d) const;
    complex_d operator-(double d) const;
    complex_d operator*(double d) const;
    complex_d operator/(double d) const;
    complex_d& operator+=(double d);
    complex_d& operator-=(double d);
    complex_d& operator*=(double d);
    complex_d& operator/=(double d);
    ///@}

    /// Complex arithmetic (division without scaling).
    ///@{
    complex_d operator+(const complex_d& z) const;
    complex_d operator-(const complex_d& z) const;
    complex_d operator*(const complex_d& z) const;
    complex_d operator/(const complex_d& z) const;
    complex_d& operator+=(const complex_d& z);
    complex_d& operator-=(const complex_d& z);
    complex_d& operator*=(const complex_d& z);
    complex_d& operator/=(const complex_d& z);
    ///@}

    complex_d& Conj();  ///< negates the imaginary part
    complex_d& Inv();   ///< the reciprocal 1 / z
    /// Writes "re ", then "+im" and "i" for im > 0, "im" and "i" for im < 0, then a line end, to
    /// standard output (default formatting of doubles), and flushes it.
    void COUT() const;

    double m_dRe;  ///< real part
    double m_dIm;  ///< imaginary part
};

/// The modulus sqrt(im^2 + re^2), without scaling.
TARVEL_API double fabs(complex_d z);
/// The part-wise root (sqrt(re), sqrt(im)): a negative part gives a NaN part. This is not the
/// principal complex square root.
TARVEL_API complex_d sqrt(complex_d z);
