#include "precession_nutation.hpp"

#include <cmath>

#include "angles.hpp"
#include "time_scales.hpp"

namespace fieldsearch {

double mean_obliquity(double mjd)
{
    const double t = (mjd - MJD_J2000) * CENTURIES_PER_DAY;
    const double t2 = t * t;
    const double t3 = t * t2;
    return (((84381.448 - 46.815 * t) - 0.00059 * t2) + 0.001813 * t3) * ARCSEC_TO_RAD;
}

FundamentalArguments fundamental_arguments(double mjd)
{
    const double t = (mjd - MJD_J2000) * CENTURIES_PER_DAY;
    const double t2 = t * t;
    const double t3 = t * t2;
    // Degrees: (rate T + constant), then the T^2 and T^3 terms in that order.
    FundamentalArguments p;
    p(1) = (((481267.8812772222 * t + 218.3164325) - 0.00161167 * t2) + 5.28e-6 * t3) * DEG_TO_RAD;
    p(2) = (((477198.8673980556 * t + 134.96298139) + 0.00869722 * t2) + 1.778e-5 * t3) * DEG_TO_RAD;
    p(3) = (((35999.05034 * t + 357.52772333) - 0.00016028 * t2) - 3.33e-6 * t3) * DEG_TO_RAD;
    p(4) = (((483202.0175380555 * t + 93.27191028) - 0.0036825 * t2) + 3.06e-6 * t3) * DEG_TO_RAD;
    p(5) = (((445267.11148 * t + 297.85036306) - 0.00191417 * t2) + 5.28e-6 * t3) * DEG_TO_RAD;
    return p;
}

NutationAngles nutation_angles(double mjd)
{
    const FundamentalArguments p = fundamental_arguments(mjd);
    const double t = (mjd - MJD_J2000) * CENTURIES_PER_DAY;
    double dpsi = 0.0;
    double deps = 0.0;
    // Omega is not stored: it is L - F.
    for (const NutationTerm& term : NUTATION_TERMS) {
        double argument = static_cast<double>(term.multiplier[0]) * (p(1) - p(4));
        argument += static_cast<double>(term.multiplier[1]) * p(2);
        argument += static_cast<double>(term.multiplier[2]) * p(3);
        argument += static_cast<double>(term.multiplier[3]) * p(4);
        argument += static_cast<double>(term.multiplier[4]) * p(5);
        dpsi += (term.s0 + term.s1 * t) * std::sin(argument);
        deps += (term.c0 + term.c1 * t) * std::cos(argument);
    }
    return {dpsi * ARCSEC_TO_RAD, deps * ARCSEC_TO_RAD};
}

PrecessionAngles precession_angles(double t0, double t1)
{
    const double t = (t0 - MJD_J2000) * CENTURIES_PER_DAY;
    const double tau = (t1 - t0) * CENTURIES_PER_DAY;
    const double t2 = t * t;
    const double tau2 = tau * tau;
    const double tau3 = tau * tau2;
    const double rate = 2306.2181 + 1.39656 * t - 0.000139 * t2;
    PrecessionAngles angles;
    angles.zeta = rate * tau + (0.30188 - 0.000344 * t) * tau2 + 0.017998 * tau3;
    angles.theta = (2004.3109 - 0.8533 * t - 0.000217 * t2) * tau - (0.42665 + 0.000217 * t) * tau2 - 0.041833 * tau3;
    angles.z = rate * tau + (1.09468 + 0.000066 * t) * tau2 + 0.018203 * tau3;
    return angles;
}

Matrix3 precession_matrix(double t0, double t1)
{
    const PrecessionAngles angles = precession_angles(t0, t1);
    const double zeta = angles.zeta * ARCSEC_TO_RAD;
    const double theta = angles.theta * ARCSEC_TO_RAD;
    const double z = angles.z * ARCSEC_TO_RAD;
    const Matrix3 inner = matrix_product(rotation_matrix(2, theta), rotation_matrix(3, -zeta));
    return matrix_product(rotation_matrix(3, -z), inner);
}

Matrix3 nutation_matrix(double dpsi, double deps, double eps)
{
    const Matrix3 inner = matrix_product(rotation_matrix(3, -dpsi), rotation_matrix(1, eps));
    return matrix_product(rotation_matrix(1, -eps - deps), inner);
}

Matrix3 precession_nutation_matrix(double mjd)
{
    const Matrix3 p = precession_matrix(MJD_J2000, mjd);
    const NutationAngles nutation = nutation_angles(mjd);
    const double eps = mean_obliquity(mjd);
    const Matrix3 n = nutation_matrix(nutation.dpsi, nutation.deps, eps);
    return matrix_product(n, p);
}

Matrix3 inverse_precession_nutation_matrix(double mjd)
{
    return transpose_matrix(precession_nutation_matrix(mjd));
}

Matrix3 frame_bias_matrix()
{
    return matrix_product(rotation_matrix(1, -FRAME_BIAS_ETA0_RAD),
                          matrix_product(rotation_matrix(2, FRAME_BIAS_XI0_RAD), rotation_matrix(3, FRAME_BIAS_DALPHA0_RAD)));
}

}  // namespace fieldsearch
