#!/usr/bin/python3
# Reference altitudes and azimuths for horizontal_coordinates_test.cpp, made
# with astropy (Debian's python3-astropy; run with /usr/bin/python3).
#
# The site is the README's (43.7417 N, 42.6630 E, 2094 m on WGS84), the
# instant 2008-05-20 20:55:00 UTC with astropy's own UT1 - UTC from its
# bundled IERS-B table (printed; the test uses the same value). Each J2000
# direction (the mean equator and equinox of J2000.0, FK5) is turned into
# ICRS axes by astropy's fixed FK5 -> ICRS rotation, placed in GCRS at its
# geocentric distance, carried to ITRS, made topocentric by subtracting the
# site and turned into AltAz by astropy's direct topocentric ITRS -> AltAz
# rotation: geometric throughout, no aberration and (pressure 0) no
# refraction. Astropy includes polar motion (IERS-B) and uses the IAU
# 2006/2000A precession-nutation with the frame bias, which differ from the
# programs' frame by a fraction of an arcsecond; the second block repeats the
# computation with polar motion set to zero.
import numpy as np
import astropy.units as u
from astropy.coordinates import (GCRS, ITRS, AltAz, EarthLocation, FK5, ICRS,
                                 CartesianRepresentation, UnitSphericalRepresentation)
from astropy.time import Time
from astropy.utils import iers

iers.conf.auto_download = False

site = EarthLocation.from_geodetic(lon=42.6630 * u.deg, lat=43.7417 * u.deg, height=2094 * u.m, ellipsoid='WGS84')
t = Time('2008-05-20T20:55:00', scale='utc')
print('UT1-UTC', t.delta_ut1_utc)

# (label, J2000 geocentric vector in km)
def radec(ra, dec, dist):
    ra, dec = np.radians(ra), np.radians(dec)
    return dist * np.array([np.cos(dec) * np.cos(ra), np.cos(dec) * np.sin(ra), np.sin(dec)])

cases = [
    ('distant 1', radec(250.0, 30.0, 1e12)),
    ('distant 2', radec(10.0, -20.0, 1e12)),
    ('distant 3', radec(150.0, 75.0, 1e12)),
    ('low satellite', radec(255.0, 50.0, 7000.0)),
    ('low, setting', radec(200.0, 20.0, 7200.0)),
    ('geostationary', radec(225.0, -0.5, 42164.0)),
]


def altaz(vector_km):
    dist = np.linalg.norm(vector_km)
    fk5 = FK5(ra=np.degrees(np.arctan2(vector_km[1], vector_km[0])) * u.deg,
              dec=np.degrees(np.arcsin(vector_km[2] / dist)) * u.deg, equinox='J2000')
    icrs = fk5.transform_to(ICRS())
    unit = icrs.represent_as(UnitSphericalRepresentation).to_cartesian()
    gcrs = GCRS(CartesianRepresentation(unit.xyz * dist * u.km), obstime=t)
    itrs = gcrs.transform_to(ITRS(obstime=t))
    topocentric = itrs.cartesian - site.get_itrs(t).cartesian
    aa = ITRS(topocentric, obstime=t, location=site).transform_to(AltAz(obstime=t, location=site, pressure=0 * u.hPa))
    return aa.alt.deg, aa.az.deg


def report():
    for label, v in cases:
        alt, az = altaz(v)
        print(f'{label:14s} {v[0]!r:>22} {v[1]!r:>22} {v[2]!r:>22}  alt {alt:.9f}  az {az:.9f}')


report()
import astropy.coordinates.builtin_frames.intermediate_rotation_transforms as rotations
rotations.get_polar_motion = lambda time: (0.0, 0.0)
print('without polar motion')
report()
