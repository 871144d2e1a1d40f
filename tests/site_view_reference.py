#!/usr/bin/python3
# Reference values for the site's view in the rows and scenarios of both
# programs (tests/end_to_end_test.cpp and
# satfield/tests/satellite_illumination_test.cpp), made with astropy
# (Debian's python3-astropy, run with /usr/bin/python3) and numpy; nothing of
# the programs is used. Prints each value; the tests hold them as printed.
#
# Throughout: UT1 = UTC (the programs' default --ut1-utc 0), polar motion set
# to zero (the programs have none), geometric places (no aberration, no
# refraction: pressure 0), the topocentric ITRS -> AltAz rotation of astropy
# 5.2 about the WGS84 normal. J2000 directions (the mean equator and equinox
# of J2000.0, FK5) are turned into ICRS axes by astropy's FK5 -> ICRS rotation.
#
# 1. Satellites: four sets of the published SGP4 verification catalogue
#    (satfield/tests/data/SGP4-VER.TLE) at instants of their published TEME
#    states (tcppver.out), seen from the README's site (43.7417 N, 42.6630 E,
#    2094 m): astropy's TEME -> ITRS (GMST 1982), less the site, to AltAz;
#    the range is the length of the topocentric ITRS vector.
# 2. The scenarios' altitudes: the compiled-in fields of both programs at
#    their instants, seen from the compiled-in observer (geocentric
#    Earth-fixed 3395.0303, 3128.7911, 4388.8511 km): the centre as a
#    direction (placed 1e12 km away), the Sun from astropy's built-in
#    ephemeris (ERFA's epv00: barycentric Sun less barycentric Earth at the
#    instant, no light time), both through GCRS -> ITRS -> topocentric -> AltAz.
# 3. Asteroid rows: the altitude and azimuth of the J2000 places the
#    compiled-in astfield run prints for 26016 and 53696 (its CSV's ra_deg and
#    dec_deg, pasted below), as directions; and their triangle with the Sun
#    from the catalogue's elements (data/astorb.dat): Kepler's equation solved
#    here by Newton's method, the orbit turned from the ecliptic of J2000.0
#    (obliquity 84381.448"), the observer the Earth's heliocentric position
#    (astropy, at the instant's TDB) plus the site's GCRS position, light time
#    iterated to convergence. The orbit's time argument is the UTC instant,
#    as the programs take it (README: "asteroid epochs taken on the UTC axis
#    like the observation instant"), the epoch 0 h of its date.
import numpy as np
import astropy.units as u
from astropy.coordinates import (FK5, GCRS, ICRS, ITRS, TEME, AltAz, CartesianRepresentation, EarthLocation,
                                 UnitSphericalRepresentation, get_body_barycentric)
from astropy.time import Time
from astropy.utils import iers
import astropy.coordinates.builtin_frames.intermediate_rotation_transforms as rotations

iers.conf.auto_download = False
rotations.get_polar_motion = lambda time: (0.0, 0.0)

KM_PER_AU = 149597870.691      # the programs' astronomical unit, for the asteroids' elements
GAUSS_K = 0.01720209895
OBLIQUITY = np.radians(84381.448 / 3600.0)
C_KM_S = 299792.458


def instant(mjd_day, mjd_fraction=0.0):
    t = Time(mjd_day, mjd_fraction, format='mjd', scale='utc')
    t.delta_ut1_utc = 0.0
    return t


def altaz_of_itrs(itrs_cartesian, t, site):
    topocentric = itrs_cartesian - site.get_itrs(t).cartesian
    aa = ITRS(topocentric, obstime=t, location=site).transform_to(AltAz(obstime=t, location=site, pressure=0 * u.hPa))
    return topocentric.norm().to_value(u.km), aa.alt.deg, aa.az.deg


def altaz_of_gcrs(vector_km, t, site):
    gcrs = GCRS(CartesianRepresentation(np.asarray(vector_km) * u.km), obstime=t)
    return altaz_of_itrs(gcrs.transform_to(ITRS(obstime=t)).cartesian, t, site)


def icrs_unit(ra_deg, dec_deg):
    icrs = FK5(ra=ra_deg * u.deg, dec=dec_deg * u.deg, equinox='J2000').transform_to(ICRS())
    return icrs.represent_as(UnitSphericalRepresentation).to_cartesian().xyz.value


def direction_altaz(ra_deg, dec_deg, t, site):
    return altaz_of_gcrs(icrs_unit(ra_deg, dec_deg) * 1e12, t, site)[1:]


def sun_geocentric_km(t):
    return (get_body_barycentric('sun', t) - get_body_barycentric('earth', t)).xyz.to_value(u.km)


def satellites():
    site = EarthLocation.from_geodetic(lon=42.6630 * u.deg, lat=43.7417 * u.deg, height=2094 * u.m, ellipsoid='WGS84')
    cases = [
        ('00005 +360 min', 51722.78495062, 360.0, (-7154.03120202, -3783.17682504, -3536.19412294)),
        ('06251 +120 min', 53911.82412014, 120.0, (-3935.69800083, 409.10980837, 5471.33577327)),
        ('09880 +240 min', 53911.56157475, 240.0, (11332.67806218, 16517.99124008, 38569.78482991)),
        ('28057 +240 min', 53912.78615833, 240.0, (1483.17364291, 5395.21248786, 4448.65907172)),
    ]
    for label, epoch, minutes, r in cases:
        t = instant(epoch, minutes / 1440.0)
        itrs = TEME(CartesianRepresentation(np.array(r) * u.km), obstime=t).transform_to(ITRS(obstime=t))
        rng, alt, az = altaz_of_itrs(itrs.cartesian, t, site)
        print(f'satellite {label}: range {rng:.6f} km  alt {alt:.9f}  az {az:.9f}')


COMPILED_IN_SITE = EarthLocation.from_geocentric(3395.0303 * u.km, 3128.7911 * u.km, 4388.8511 * u.km)


def scenarios():
    for program, mjd, ra, dec in [('satfield', 54606 + 20.9 / 24, 172.0, 1 + 16 / 60),
                                  ('astfield', 54606 + 314 / 1440, 10.0 / 240.0, 0.5)]:
        t = instant(54606, mjd - 54606)
        centre = direction_altaz(ra, dec, t, COMPILED_IN_SITE)[0]
        sun = altaz_of_gcrs(sun_geocentric_km(t), t, COMPILED_IN_SITE)[1]
        print(f'{program} scenario: centre_altitude_deg {centre:.7f}  sun_altitude_deg {sun:.7f}')


def kepler_position_km(elements, t_mjd):
    m0, w, node, i, e, a, epoch = elements
    n = GAUSS_K / a ** 1.5
    m = np.radians(m0) + n * (t_mjd - epoch)
    big_e = m
    for _ in range(50):
        big_e -= (big_e - e * np.sin(big_e) - m) / (1 - e * np.cos(big_e))
    x = a * (np.cos(big_e) - e)
    y = a * np.sqrt(1 - e * e) * np.sin(big_e)
    w, node, i = np.radians(w), np.radians(node), np.radians(i)
    p = np.array([np.cos(w) * np.cos(node) - np.sin(w) * np.sin(node) * np.cos(i),
                  np.cos(w) * np.sin(node) + np.sin(w) * np.cos(node) * np.cos(i),
                  np.sin(w) * np.sin(i)])
    q = np.array([-np.sin(w) * np.cos(node) - np.cos(w) * np.sin(node) * np.cos(i),
                  -np.sin(w) * np.sin(node) + np.cos(w) * np.cos(node) * np.cos(i),
                  np.cos(w) * np.sin(i)])
    ecliptic = (x * p + y * q) * KM_PER_AU
    ce, se = np.cos(OBLIQUITY), np.sin(OBLIQUITY)
    return np.array([ecliptic[0], ce * ecliptic[1] - se * ecliptic[2], se * ecliptic[1] + ce * ecliptic[2]])


def angle(a, b):
    return np.degrees(np.arctan2(np.linalg.norm(np.cross(a, b)), np.dot(a, b)))


def asteroids():
    mjd = 54606 + 314 / 1440
    t = instant(54606, 314 / 1440)
    earth = (get_body_barycentric('earth', t) - get_body_barycentric('sun', t)).xyz.to_value(u.km)
    site = COMPILED_IN_SITE.get_gcrs(t).cartesian.xyz.to_value(u.km)
    observer = earth + site
    rows = [
        # number, J2000 place the run prints, elements (M, w, node, i, e, a, epoch MJD) of data/astorb.dat
        ('26016', 359.4885791431272, 0.29628663647883813,
         (50.345707, 306.619175, 325.719790, 3.000000, 0.12000000, 2.35000000, 54600.0)),
        ('53696', 359.99882252572519, 0.74628894313708927,
         (21.629578, 119.000084, 62.176545, 4.000000, 0.42000000, 1.45000000, 54600.0)),
    ]
    for number, ra, dec, elements in rows:
        alt, az = direction_altaz(ra, dec, t, COMPILED_IN_SITE)
        tau = 0.0
        for _ in range(10):
            body = kepler_position_km(elements, mjd - tau)
            tau = np.linalg.norm(body - observer) / C_KM_S / 86400.0
        body = kepler_position_km(elements, mjd - tau)
        seen = body - observer
        print(f'asteroid {number}: r {np.linalg.norm(body) / KM_PER_AU:.10f} AU  delta {np.linalg.norm(seen) / KM_PER_AU:.10f} AU'
              f'  phase {angle(-body, -seen):.6f}  elongation {angle(-observer, seen):.6f}'
              f'  alt {alt:.9f}  az {az:.9f}')


satellites()
scenarios()
asteroids()
