#include "precession_nutation.hpp"

#include <cmath>

#include <gtest/gtest.h>

#include "angles.hpp"

using namespace fieldsearch;

namespace {

double max_difference(const Matrix3& a, const Matrix3& b)
{
    double largest = 0.0;
    for (int i = 1; i <= 3; ++i) {
        for (int j = 1; j <= 3; ++j) {
            largest = std::fmax(largest, std::fabs(a(i, j) - b(i, j)));
        }
    }
    return largest;
}

Matrix3 identity()
{
    return rotation_matrix(0, 0.0);
}

}  // namespace

// The obliquity and the fundamental arguments at J2000.0 are their constant
// terms: a wrong constant or a wrong unit shows here.
TEST(PrecessionNutation, ObliquityAndArgumentsAtJ2000AreTheirConstants)
{
    EXPECT_EQ(mean_obliquity(51544.5), 0.40909280422232897);
    const FundamentalArguments p = fundamental_arguments(51544.5);
    const double degrees[] = {218.3164325, 134.96298139, 357.52772333, 93.27191028, 297.85036306};
    for (int i = 1; i <= 5; ++i) {
        EXPECT_NEAR(p(i) * RAD_TO_DEG, degrees[i - 1], 1e-12) << i;
    }
}

// The series depends on every one of its 106 rows: these three dates come
// from an independent evaluation of the 1980 theory and would catch a wrong,
// missing or reordered row, or a wrong multiplier of Omega.
TEST(PrecessionNutation, NutationMatchesReferenceValuesAtThreeDates)
{
    struct Case {
        double mjd;
        double dpsi_arcsec;
        double deps_arcsec;
    };
    const Case cases[] = {
        {51544.5, -13.92338537, -5.77380845},
        {53736.0, -1.98914737, 8.37445669},
        {46895.0, -3.78782436, 9.44246571},
    };
    for (const Case& c : cases) {
        const NutationAngles n = nutation_angles(c.mjd);
        EXPECT_NEAR(n.dpsi / ARCSEC_TO_RAD, c.dpsi_arcsec, 5e-9) << c.mjd;
        EXPECT_NEAR(n.deps / ARCSEC_TO_RAD, c.deps_arcsec, 5e-9) << c.mjd;
    }
    EXPECT_EQ(NUTATION_TERMS.front().s0, -17.1996f);
    EXPECT_EQ(NUTATION_TERMS.back().multiplier[4], 1);
}

// The IAU 1976 angles over one century, and the matrix built from them: the
// reverse precession is the transpose (to one unit in the last place), equal
// epochs give the identity, and the precession-nutation matrix is a rotation.
TEST(PrecessionNutation, PrecessionOverOneCenturyAndItsInverse)
{
    const PrecessionAngles a = precession_angles(51544.5, 88069.5);
    EXPECT_NEAR(a.zeta, 2306.537978, 5e-7);
    EXPECT_NEAR(a.theta, 2003.842417, 5e-7);
    EXPECT_NEAR(a.z, 2307.330983, 5e-7);

    const PrecessionAngles none = precession_angles(51544.5, 51544.5);
    EXPECT_EQ(none.zeta, 0.0);
    EXPECT_EQ(none.theta, 0.0);
    EXPECT_EQ(none.z, 0.0);
    EXPECT_EQ(max_difference(precession_matrix(51544.5, 51544.5), identity()), 0.0);

    const double epochs[][2] = {{51544.5, 88069.5}, {47000.25, 60123.75}, {88069.5, 51544.5}};
    for (const auto& e : epochs) {
        const Matrix3 forward = precession_matrix(e[0], e[1]);
        const Matrix3 back = precession_matrix(e[1], e[0]);
        EXPECT_LT(max_difference(back, transpose_matrix(forward)), 2e-16);
    }

    // At J2000 + 1 century the frame has turned by about 1.4 degrees in right
    // ascension: the x axis of J2000 moves by roughly zeta + z.
    const Matrix3 p = precession_matrix(51544.5, 88069.5);
    EXPECT_NEAR(p(2, 1), (2306.537978 + 2307.330983) * ARCSEC_TO_RAD, 1e-5);

    for (double t : {51544.5, 54606.21881001337, 46895.0}) {
        const Matrix3 pn = precession_nutation_matrix(t);
        EXPECT_LT(max_difference(matrix_product(inverse_precession_nutation_matrix(t), pn), identity()), 1e-15);
    }
}

// The nutation matrix of zero nutation is the identity whatever the
// obliquity, and a nutation in longitude alone turns the frame about the
// ecliptic pole.
TEST(PrecessionNutation, NutationMatrixTurnsAboutTheEclipticPole)
{
    EXPECT_LT(max_difference(nutation_matrix(0.0, 0.0, 0.4), identity()), 1e-16);
    const double dpsi = 1e-4;
    const double eps = 0.4;
    const Matrix3 n = nutation_matrix(dpsi, 0.0, eps);
    // The x axis (the equinox) moves by dpsi along the ecliptic.
    EXPECT_NEAR(n(2, 1), dpsi * std::cos(eps), 1e-12);
    EXPECT_NEAR(n(3, 1), dpsi * std::sin(eps), 1e-12);
}

// The frame bias to first order in its angles is the matrix the IERS
// Conventions publish, [[1, da0, -xi0], [-da0, 1, -eta0], [xi0, eta0, 1]],
// with xi0 = -16.617 mas, eta0 = -6.819 mas, da0 = -14.6 mas; the second
// order terms (below 1e-14) are all it may add. A sign or an axis taken the
// wrong way, or a value in the wrong unit, shows at the 1e-8 level.
TEST(PrecessionNutation, FrameBiasIsThePublishedRotation)
{
    const double mas = ARCSEC_TO_RAD / 1000.0;
    const double xi0 = -16.617 * mas;
    const double eta0 = -6.819 * mas;
    const double da0 = -14.6 * mas;
    Matrix3 first_order;
    first_order(1, 1) = 1.0;
    first_order(1, 2) = da0;
    first_order(1, 3) = -xi0;
    first_order(2, 1) = -da0;
    first_order(2, 2) = 1.0;
    first_order(2, 3) = -eta0;
    first_order(3, 1) = xi0;
    first_order(3, 2) = eta0;
    first_order(3, 3) = 1.0;
    const Matrix3 b = frame_bias_matrix();
    EXPECT_LT(max_difference(b, first_order), 1e-14);
    EXPECT_LT(max_difference(matrix_product(b, transpose_matrix(b)), identity()), 1e-15);
}
