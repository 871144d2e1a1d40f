// Precession (IAU 1976), nutation (IAU 1980) and the mean obliquity of the
// ecliptic (IAU 1980): the reduction from the mean equator and equinox of
// J2000.0 to the true equator and equinox of a date; and the frame bias
// (IAU 2006) that lies between the ICRS and that mean equator and equinox.
#pragma once

#include <array>

#include "constants.hpp"
#include "vectors_matrices.hpp"

namespace fieldsearch {

// Mean obliquity of the ecliptic (IAU 1980) at `mjd`, in radians.
// The time scale is the caller's: TT or TDB.
double mean_obliquity(double mjd);

// The lunisolar fundamental arguments at `mjd`, radians, not reduced to one
// turn: p(1) = L (Moon's mean longitude, F + Omega), p(2) = l (Moon's mean
// anomaly), p(3) = l' (Sun's mean anomaly), p(4) = F (Moon's argument of
// latitude), p(5) = D (elongation of the Moon from the Sun).
struct FundamentalArguments {
    std::array<double, 5> element{};

    double& operator()(int i) { return element[static_cast<std::size_t>(i - 1)]; }
    double operator()(int i) const { return element[static_cast<std::size_t>(i - 1)]; }
};
FundamentalArguments fundamental_arguments(double mjd);

// One term of the 1980 IAU Theory of Nutation: the multipliers of Omega, l,
// l', F, D (in that order), the sine amplitude in longitude S0 + S1 T and the
// cosine amplitude in obliquity C0 + C1 T, in arcseconds (S1, C1 per Julian
// century), held in single precision.
struct NutationTerm {
    std::array<int, 5> multiplier;
    float s0;
    float s1;
    float c0;
    float c1;
};

// The 106 terms in the order of the published table, the 18.6-year term first.
// The published coefficients are in units of 0.0001 arcsecond.
inline constexpr std::array<NutationTerm, 106> NUTATION_TERMS{{
    {{ 1,  0,  0,  0,  0}, -17.1996f, -0.01742f, 9.2025f, 0.00089f},  // 1
    {{ 2,  0,  0,  0,  0}, 0.2062f, 0.00002f, -0.0895f, 0.00005f},  // 2
    {{ 1, -2,  0,  2,  0}, 0.0046f, 0.0f, -0.0024f, 0.0f},  // 3
    {{ 0,  2,  0, -2,  0}, 0.0011f, 0.0f, 0.0f, 0.0f},  // 4
    {{ 2, -2,  0,  2,  0}, -0.0003f, 0.0f, 0.0001f, 0.0f},  // 5
    {{ 0,  1, -1,  0, -1}, -0.0003f, 0.0f, 0.0f, 0.0f},  // 6
    {{ 1,  0, -2,  2, -2}, -0.0002f, 0.0f, 0.0001f, 0.0f},  // 7
    {{ 1,  2,  0, -2,  0}, 0.0001f, 0.0f, 0.0f, 0.0f},  // 8
    {{ 2,  0,  0,  2, -2}, -1.3187f, -0.00016f, 0.5736f, -0.00031f},  // 9
    {{ 0,  0,  1,  0,  0}, 0.1426f, -0.00034f, 0.0054f, -0.00001f},  // 10
    {{ 2,  0,  1,  2, -2}, -0.0517f, 0.00012f, 0.0224f, -0.00006f},  // 11
    {{ 2,  0, -1,  2, -2}, 0.0217f, -0.00005f, -0.0095f, 0.00003f},  // 12
    {{ 1,  0,  0,  2, -2}, 0.0129f, 0.00001f, -0.007f, 0.0f},  // 13
    {{ 0,  2,  0,  0, -2}, 0.0048f, 0.0f, 0.0001f, 0.0f},  // 14
    {{ 0,  0,  0,  2, -2}, -0.0022f, 0.0f, 0.0f, 0.0f},  // 15
    {{ 0,  0,  2,  0,  0}, 0.0017f, -0.00001f, 0.0f, 0.0f},  // 16
    {{ 1,  0,  1,  0,  0}, -0.0015f, 0.0f, 0.0009f, 0.0f},  // 17
    {{ 2,  0,  2,  2, -2}, -0.0016f, 0.00001f, 0.0007f, 0.0f},  // 18
    {{ 1,  0, -1,  0,  0}, -0.0012f, 0.0f, 0.0006f, 0.0f},  // 19
    {{ 1, -2,  0,  0,  2}, -0.0006f, 0.0f, 0.0003f, 0.0f},  // 20
    {{ 1,  0, -1,  2, -2}, -0.0005f, 0.0f, 0.0003f, 0.0f},  // 21
    {{ 1,  2,  0,  0, -2}, 0.0004f, 0.0f, -0.0002f, 0.0f},  // 22
    {{ 1,  0,  1,  2, -2}, 0.0004f, 0.0f, -0.0002f, 0.0f},  // 23
    {{ 0,  1,  0,  0, -1}, -0.0004f, 0.0f, 0.0f, 0.0f},  // 24
    {{ 0,  2,  1,  0, -2}, 0.0001f, 0.0f, 0.0f, 0.0f},  // 25
    {{ 1,  0,  0, -2,  2}, 0.0001f, 0.0f, 0.0f, 0.0f},  // 26
    {{ 0,  0,  1, -2,  2}, -0.0001f, 0.0f, 0.0f, 0.0f},  // 27
    {{ 2,  0,  1,  0,  0}, 0.0001f, 0.0f, 0.0f, 0.0f},  // 28
    {{ 1, -1,  0,  0,  1}, 0.0001f, 0.0f, 0.0f, 0.0f},  // 29
    {{ 0,  0,  1,  2, -2}, -0.0001f, 0.0f, 0.0f, 0.0f},  // 30
    {{ 2,  0,  0,  2,  0}, -0.2274f, -0.00002f, 0.0977f, -0.00005f},  // 31
    {{ 0,  1,  0,  0,  0}, 0.0712f, 0.00001f, -0.0007f, 0.0f},  // 32
    {{ 1,  0,  0,  2,  0}, -0.0386f, -0.00004f, 0.02f, 0.0f},  // 33
    {{ 2,  1,  0,  2,  0}, -0.0301f, 0.0f, 0.0129f, -0.00001f},  // 34
    {{ 0,  1,  0,  0, -2}, -0.0158f, 0.0f, -0.0001f, 0.0f},  // 35
    {{ 2, -1,  0,  2,  0}, 0.0123f, 0.0f, -0.0053f, 0.0f},  // 36
    {{ 0,  0,  0,  0,  2}, 0.0063f, 0.0f, -0.0002f, 0.0f},  // 37
    {{ 1,  1,  0,  0,  0}, 0.0063f, 0.00001f, -0.0033f, 0.0f},  // 38
    {{ 1, -1,  0,  0,  0}, -0.0058f, -0.00001f, 0.0032f, 0.0f},  // 39
    {{ 2, -1,  0,  2,  2}, -0.0059f, 0.0f, 0.0026f, 0.0f},  // 40
    {{ 1,  1,  0,  2,  0}, -0.0051f, 0.0f, 0.0027f, 0.0f},  // 41
    {{ 2,  0,  0,  2,  2}, -0.0038f, 0.0f, 0.0016f, 0.0f},  // 42
    {{ 0,  2,  0,  0,  0}, 0.0029f, 0.0f, -0.0001f, 0.0f},  // 43
    {{ 2,  1,  0,  2, -2}, 0.0029f, 0.0f, -0.0012f, 0.0f},  // 44
    {{ 2,  2,  0,  2,  0}, -0.0031f, 0.0f, 0.0013f, 0.0f},  // 45
    {{ 0,  0,  0,  2,  0}, 0.0026f, 0.0f, -0.0001f, 0.0f},  // 46
    {{ 1, -1,  0,  2,  0}, 0.0021f, 0.0f, -0.001f, 0.0f},  // 47
    {{ 1, -1,  0,  0,  2}, 0.0016f, 0.0f, -0.0008f, 0.0f},  // 48
    {{ 1,  1,  0,  0, -2}, -0.0013f, 0.0f, 0.0007f, 0.0f},  // 49
    {{ 1, -1,  0,  2,  2}, -0.001f, 0.0f, 0.0005f, 0.0f},  // 50
    {{ 0,  1,  1,  0, -2}, -0.0007f, 0.0f, 0.0f, 0.0f},  // 51
    {{ 2,  0,  1,  2,  0}, 0.0007f, 0.0f, -0.0003f, 0.0f},  // 52
    {{ 2,  0, -1,  2,  0}, -0.0007f, 0.0f, 0.0003f, 0.0f},  // 53
    {{ 2,  1,  0,  2,  2}, -0.0008f, 0.0f, 0.0003f, 0.0f},  // 54
    {{ 0,  1,  0,  0,  2}, 0.0006f, 0.0f, 0.0f, 0.0f},  // 55
    {{ 2,  2,  0,  2, -2}, 0.0006f, 0.0f, -0.0003f, 0.0f},  // 56
    {{ 1,  0,  0,  0,  2}, -0.0006f, 0.0f, 0.0003f, 0.0f},  // 57
    {{ 1,  0,  0,  2,  2}, -0.0007f, 0.0f, 0.0003f, 0.0f},  // 58
    {{ 1,  1,  0,  2, -2}, 0.0006f, 0.0f, -0.0003f, 0.0f},  // 59
    {{ 1,  0,  0,  0, -2}, -0.0005f, 0.0f, 0.0003f, 0.0f},  // 60
    {{ 0,  1, -1,  0,  0}, 0.0005f, 0.0f, 0.0f, 0.0f},  // 61
    {{ 1,  2,  0,  2,  0}, -0.0005f, 0.0f, 0.0003f, 0.0f},  // 62
    {{ 0,  0,  1,  0, -2}, -0.0004f, 0.0f, 0.0f, 0.0f},  // 63
    {{ 0,  1,  0, -2,  0}, 0.0004f, 0.0f, 0.0f, 0.0f},  // 64
    {{ 0,  0,  0,  0,  1}, -0.0004f, 0.0f, 0.0f, 0.0f},  // 65
    {{ 0,  1,  1,  0,  0}, -0.0003f, 0.0f, 0.0f, 0.0f},  // 66
    {{ 0,  1,  0,  2,  0}, 0.0003f, 0.0f, 0.0f, 0.0f},  // 67
    {{ 2,  1, -1,  2,  0}, -0.0003f, 0.0f, 0.0001f, 0.0f},  // 68
    {{ 2, -1, -1,  2,  2}, -0.0003f, 0.0f, 0.0001f, 0.0f},  // 69
    {{ 1, -2,  0,  0,  0}, -0.0002f, 0.0f, 0.0001f, 0.0f},  // 70
    {{ 2,  3,  0,  2,  0}, -0.0003f, 0.0f, 0.0001f, 0.0f},  // 71
    {{ 2,  0, -1,  2,  2}, -0.0003f, 0.0f, 0.0001f, 0.0f},  // 72
    {{ 2,  1,  1,  2,  0}, 0.0002f, 0.0f, -0.0001f, 0.0f},  // 73
    {{ 1, -1,  0,  2, -2}, -0.0002f, 0.0f, 0.0001f, 0.0f},  // 74
    {{ 1,  2,  0,  0,  0}, 0.0002f, 0.0f, -0.0001f, 0.0f},  // 75
    {{ 2,  1,  0,  0,  0}, -0.0002f, 0.0f, 0.0001f, 0.0f},  // 76
    {{ 0,  3,  0,  0,  0}, 0.0002f, 0.0f, 0.0f, 0.0f},  // 77
    {{ 2,  0,  0,  2,  1}, 0.0002f, 0.0f, -0.0001f, 0.0f},  // 78
    {{ 2, -1,  0,  0,  0}, 0.0001f, 0.0f, -0.0001f, 0.0f},  // 79
    {{ 0,  1,  0,  0, -4}, -0.0001f, 0.0f, 0.0f, 0.0f},  // 80
    {{ 2, -2,  0,  2,  2}, 0.0001f, 0.0f, -0.0001f, 0.0f},  // 81
    {{ 2, -1,  0,  2,  4}, -0.0002f, 0.0f, 0.0001f, 0.0f},  // 82
    {{ 0,  2,  0,  0, -4}, -0.0001f, 0.0f, 0.0f, 0.0f},  // 83
    {{ 2,  1,  1,  2, -2}, 0.0001f, 0.0f, -0.0001f, 0.0f},  // 84
    {{ 1,  1,  0,  2,  2}, -0.0001f, 0.0f, 0.0001f, 0.0f},  // 85
    {{ 2, -2,  0,  2,  4}, -0.0001f, 0.0f, 0.0001f, 0.0f},  // 86
    {{ 2, -1,  0,  4,  0}, 0.0001f, 0.0f, 0.0f, 0.0f},  // 87
    {{ 0,  1, -1,  0, -2}, 0.0001f, 0.0f, 0.0f, 0.0f},  // 88
    {{ 1,  2,  0,  2, -2}, 0.0001f, 0.0f, -0.0001f, 0.0f},  // 89
    {{ 2,  2,  0,  2,  2}, -0.0001f, 0.0f, 0.0f, 0.0f},  // 90
    {{ 1,  1,  0,  0,  2}, -0.0001f, 0.0f, 0.0f, 0.0f},  // 91
    {{ 2,  0,  0,  4, -2}, 0.0001f, 0.0f, 0.0f, 0.0f},  // 92
    {{ 2,  3,  0,  2, -2}, 0.0001f, 0.0f, 0.0f, 0.0f},  // 93
    {{ 0,  1,  0,  2, -2}, -0.0001f, 0.0f, 0.0f, 0.0f},  // 94
    {{ 1,  0,  1,  2,  0}, 0.0001f, 0.0f, 0.0f, 0.0f},  // 95
    {{ 1, -1, -1,  0,  2}, 0.0001f, 0.0f, 0.0f, 0.0f},  // 96
    {{ 1,  0,  0, -2,  0}, -0.0001f, 0.0f, 0.0f, 0.0f},  // 97
    {{ 2,  0,  0,  2, -1}, -0.0001f, 0.0f, 0.0f, 0.0f},  // 98
    {{ 0,  0,  1,  0,  2}, -0.0001f, 0.0f, 0.0f, 0.0f},  // 99
    {{ 0,  1,  0, -2, -2}, -0.0001f, 0.0f, 0.0f, 0.0f},  // 100
    {{ 1,  0, -1,  2,  0}, -0.0001f, 0.0f, 0.0f, 0.0f},  // 101
    {{ 1,  1,  1,  0, -2}, -0.0001f, 0.0f, 0.0f, 0.0f},  // 102
    {{ 0,  1,  0, -2,  2}, -0.0001f, 0.0f, 0.0f, 0.0f},  // 103
    {{ 0,  2,  0,  0,  2}, 0.0001f, 0.0f, 0.0f, 0.0f},  // 104
    {{ 2,  0,  0,  2,  4}, -0.0001f, 0.0f, 0.0f, 0.0f},  // 105
    {{ 0,  0,  1,  0,  1}, 0.0001f, 0.0f, 0.0f, 0.0f},  // 106
}};

// Nutation in longitude and in obliquity, radians.
struct NutationAngles {
    double dpsi;
    double deps;
};

// Nutation at `mjd` (TT or TDB) from all 106 terms, radians.
NutationAngles nutation_angles(double mjd);

// The IAU 1976 precession angles zeta, theta, z from the mean equator and
// equinox of t0 to those of t1 (MJDs), arcseconds.
struct PrecessionAngles {
    double zeta;
    double theta;
    double z;
};
PrecessionAngles precession_angles(double t0, double t1);

// The matrix that takes a vector from the mean equator and equinox of t0 to
// that of t1: R3(-z) R2(theta) R3(-zeta).
Matrix3 precession_matrix(double t0, double t1);

// The matrix from the mean to the true equator and equinox of a date, from
// the nutation angles and the mean obliquity (radians):
// R1(-(eps + deps)) R3(-dpsi) R1(eps).
Matrix3 nutation_matrix(double dpsi, double deps, double eps);

// N(t) P(J2000.0 -> t): from the mean equator and equinox of J2000.0 to the
// true equator and equinox of `mjd`.
Matrix3 precession_nutation_matrix(double mjd);

// The transpose of precession_nutation_matrix(mjd): from the true equator and
// equinox of `mjd` to J2000.0.
Matrix3 inverse_precession_nutation_matrix(double mjd);

// The frame bias of the IAU 2006 resolutions: the offsets of the ICRS pole
// (xi0, eta0) and of its right ascension origin (d alpha0) from the mean
// pole and equinox of J2000.0, radians.
inline constexpr double FRAME_BIAS_XI0_RAD = -0.016617 * ARCSEC_TO_RAD;
inline constexpr double FRAME_BIAS_ETA0_RAD = -0.006819 * ARCSEC_TO_RAD;
inline constexpr double FRAME_BIAS_DALPHA0_RAD = -0.0146 * ARCSEC_TO_RAD;

// The matrix that takes a vector from the ICRS to the mean equator and
// equinox of J2000.0: R1(-eta0) R2(xi0) R3(d alpha0). Its transpose goes back.
Matrix3 frame_bias_matrix();

}  // namespace fieldsearch
