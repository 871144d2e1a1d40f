#include "angles.hpp"

#include <cmath>

namespace fieldsearch {

double square(double x)
{
    return x * x;
}

double frac(double x)
{
    return std::fmod(x, 1.0);
}

double atan2_radians(double y, double x)
{
    return std::atan2(y, x);
}

double position_angle_deg(double y, double x)
{
    double angle = atan2_radians(y, x) * RAD_TO_DEG;
    if (angle < 0.0) {
        angle += 360.0;
    }
    return angle;
}

double right_ascension_change_deg(double ra1_deg, double ra2_deg)
{
    double change = ra2_deg - ra1_deg;
    if (change > 180.0) {
        change -= 360.0;
    } else if (change <= -180.0) {
        change += 360.0;
    }
    return change;
}

SphericalCoordinates spherical_from_vector(const Vector3& v)
{
    const double r2 = square(v(1)) + square(v(2)) + square(v(3));
    const double rho2 = square(v(1)) + square(v(2));
    const double r = std::sqrt(r2);
    const double rho = std::sqrt(rho2);
    if (r == 0.0) {
        return {0.0, 0.0, 0.0};
    }
    if (rho == 0.0) {
        return {0.0, v(3) > 0.0 ? 90.0 : -90.0, r};
    }
    const double ra = position_angle_deg(v(2) * (1.0 / rho), v(1) * (1.0 / rho));
    const double dec = atan2_radians(v(3) * (1.0 / r), rho * (1.0 / r)) * RAD_TO_DEG;
    return {ra, dec, r};
}

namespace {

// The shared carry scheme of the sexagesimal split: a is a non-negative
// value in hours or degrees.
struct SexagesimalParts {
    int whole;
    int minutes;
    double seconds;
};

constexpr double CARRY_THRESHOLD = 59.999999;

// Truncation toward zero; values that no int can hold (never a real angle)
// give 0 rather than undefined behaviour.
int truncated_int(double x)
{
    return std::fabs(x) < 2.0e9 ? static_cast<int>(x) : 0;
}

SexagesimalParts sexagesimal_parts(double a)
{
    double whole = std::floor(a);
    const double x = (a - whole) * 60.0;
    double minutes = std::floor(x);
    double seconds = (x - minutes) * 60.0;
    if (seconds > CARRY_THRESHOLD) {
        seconds = 0.0;
        minutes += 1.0;
    }
    if (minutes > CARRY_THRESHOLD) {
        minutes = 0.0;
        whole += 1.0;
    }
    return {truncated_int(whole), truncated_int(minutes), seconds};
}

}  // namespace

HoursMinutesSeconds ra_to_hms(double ra_deg)
{
    const SexagesimalParts p = sexagesimal_parts(std::fabs(ra_deg) * (1.0 / 15.0));
    return {p.whole, p.minutes, p.seconds};
}

SignDegreesMinutesSeconds dec_to_dms(double dec_deg)
{
    const char sign = dec_deg < 0.0 ? '-' : '+';
    const SexagesimalParts p = sexagesimal_parts(std::fabs(dec_deg));
    return {sign, p.whole, p.minutes, p.seconds};
}

Vector3 unit_vector_from_sky(double ra_deg, double dec_deg)
{
    const double ra = ra_deg * DEG_TO_RAD;
    const double dec = dec_deg * DEG_TO_RAD;
    Vector3 u;
    u(1) = std::cos(dec) * std::cos(ra);
    u(2) = std::cos(dec) * std::sin(ra);
    u(3) = std::sin(dec);
    return u;
}

double angle_between(const Vector3& a, const Vector3& b)
{
    Vector3 cross;
    cross(1) = a(2) * b(3) - a(3) * b(2);
    cross(2) = a(3) * b(1) - a(1) * b(3);
    cross(3) = a(1) * b(2) - a(2) * b(1);
    return std::atan2(std::sqrt(dot_product(cross, cross)), dot_product(a, b));
}

}  // namespace fieldsearch
