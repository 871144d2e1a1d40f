// The constants both programs share, each defined once with its unit. The
// values are those the astrometry is built on; a constant that belongs to one
// theory alone (SGP4's WGS-72 Earth, Vinti's spheroid) stays with its theory.
#pragma once

namespace fieldsearch {

// Angles.
inline constexpr double PI = 3.141592653589793;
inline constexpr double TWO_PI = 6.283185307179586;
inline constexpr double HALF_PI = 1.5707963267948966;
inline constexpr double DEG_TO_RAD = 0.017453292519943295;
inline constexpr double RAD_TO_DEG = 57.29577951308232;
inline constexpr double ARCSEC_TO_RAD = 4.84813681109536e-6;
inline constexpr double ARCSEC_PER_DEGREE = 3600.0;

// Time.
inline constexpr double MJD_J2000 = 51544.5;             // J2000.0, MJD
inline constexpr double CENTURIES_PER_DAY = 2.7378507871321012e-5;  // 1/36525
inline constexpr double DAYS_PER_SECOND = 1.1574074074074073e-5;    // 1/86400
inline constexpr double SECONDS_PER_DAY = 86400.0;
inline constexpr double TT_MINUS_TAI_SECONDS = 32.184;

// The solar system.
inline constexpr double KM_PER_AU = 149597870.691;          // km per astronomical unit
inline constexpr double GAUSSIAN_CONSTANT = 0.01720209895;  // k, AU^1.5 / day: the Sun's GM is k^2 AU^3/day^2
inline constexpr double OBLIQUITY_J2000 = 0.40909280422232897;  // of the ecliptic at J2000.0 (84381.448"), radians
inline constexpr double SPEED_OF_LIGHT_KM_S = 299792.458;
inline constexpr double SUN_RADIUS_KM = 695700.0;  // the IAU 2015 nominal value

// The Earth.
inline constexpr double WGS84_EQUATORIAL_RADIUS_KM = 6378.137;
inline constexpr double WGS84_FLATTENING = 1.0 / 298.257223563;
inline constexpr double EARTH_GM_KM3_S2 = 398600.448;  // the Earth's gravitational parameter, km^3/s^2
// The Earth's sidereal rate of rotation: 1.00273781191135448 turns per UT1 day, radians per day.
inline constexpr double EARTH_ROTATION_RAD_PER_DAY = 2.0 * PI * 1.00273781191135448;
inline constexpr double EARTH_ROTATION_RAD_PER_S = EARTH_ROTATION_RAD_PER_DAY / SECONDS_PER_DAY;
// The farthest an observer may be from the Earth's centre, km: a site or an
// observer's position beyond it is an error in its input.
inline constexpr double MAX_OBSERVER_DISTANCE_KM = 1.0e6;

// Half the interval of the central difference that gives an object's
// apparent motion: one minute, in days.
inline constexpr double MOTION_STEP_DAYS = 1.0 / 1440.0;

static_assert(PI / 180.0 == DEG_TO_RAD && 180.0 / PI == RAD_TO_DEG && 2.0 * PI == TWO_PI && PI / 2.0 == HALF_PI);

}  // namespace fieldsearch
