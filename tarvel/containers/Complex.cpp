// complex_d arithmetic, modulus, part-wise root and console output.
#include <tarvel/containers/Complex.h>

#include <cmath>
#include <iostream>

namespace
{

complex_d make(double re, double im)
{
    complex_d z;
    return z(re, im);
}

}  // namespace

complex_d& complex_d::operator=(double re)
{
    m_dRe = re;
    m_dIm = 0.0;
    return *this;
}

complex_d& complex_d::operator()(double re, double im)
{
    m_dRe = re;
    m_dIm = im;
    return *this;
}

bool complex_d::operator>(const complex_d& z) const { return fabs(*this) > fabs(z); }

bool complex_d::operator<(const complex_d& z) const { return fabs(*this) < fabs(z); }

complex_d complex_d::operator+(double d) const { return make(m_dRe + d, m_dIm); }
complex_d complex_d::operator-(double d) const { return make(m_dRe - d, m_dIm); }
complex_d complex_d::operator*(double d) const { return make(m_dRe * d, m_dIm * d); }
complex_d complex_d::operator/(double d) const { return make(m_dRe / d, m_dIm / d); }

complex_d& complex_d::operator+=(double d)
{
    m_dRe += d;
    return *this;
}

complex_d& complex_d::operator-=(double d)
{
    m_dRe -= d;
    return *this;
}

complex_d& complex_d::operator*=(double d)
{
    m_dRe *= d;
    m_dIm *= d;
    return *this;
}

complex_d& complex_d::operator/=(double d)
{
    m_dRe /= d;
    m_dIm /= d;
    return *this;
}

complex_d complex_d::operator+(const complex_d& z) const
{
    return make(m_dRe + z.m_dRe, m_dIm + z.m_dIm);
}

complex_d complex_d::operator-(const complex_d& z) const
{
    return make(m_dRe - z.m_dRe, m_dIm - z.m_dIm);
}

// (re + i im)(a + i b) = (a re - b im) + i (a im + b re)
complex_d complex_d::operator*(const complex_d& z) const
{
    const double a = z.m_dRe, b = z.m_dIm;
    return make(a * m_dRe - b * m_dIm, a * m_dIm + b * m_dRe);
}

// (re + i im) / (a + i b) = ((a re + b im) + i (a im - b re)) / (a^2 + b^2), unscaled
complex_d complex_d::operator/(const complex_d& z) const
{
    const double a = z.m_dRe, b = z.m_dIm;
    const double d = a * a + b * b;
    return make((a * m_dRe + b * m_dIm) / d, (a * m_dIm - b * m_dRe) / d);
}

complex_d& complex_d::operator+=(const complex_d& z) { return *this = *this + z; }
complex_d& complex_d::operator-=(const complex_d& z) { return *this = *this - z; }
complex_d& complex_d::operator*=(const complex_d& z) { return *this = *this * z; }
complex_d& complex_d::operator/=(const complex_d& z) { return *this = *this / z; }

complex_d& complex_d::Conj()
{
    m_dIm = -m_dIm;
    return *this;
}

complex_d& complex_d::Inv()
{
    const double d = m_dRe * m_dRe + m_dIm * m_dIm;
    m_dRe = m_dRe / d;
    m_dIm = -(m_dIm / d);
    return *this;
}

void complex_d::COUT() const
{
    std::cout << m_dRe << ' ';
    if (m_dIm > 0.0)
        std::cout << '+' << m_dIm << 'i';
    else if (m_dIm < 0.0)
        std::cout << m_dIm << 'i';
    std::cout << std::endl;
}

double fabs(complex_d z) { return std::sqrt(z.m_dIm * z.m_dIm + z.m_dRe * z.m_dRe); }

complex_d sqrt(complex_d z) { return make(std::sqrt(z.m_dRe), std::sqrt(z.m_dIm)); }
