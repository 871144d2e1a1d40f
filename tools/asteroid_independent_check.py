#!/usr/bin/env python3
"""Independent check of the rows that astfield prints.

Runs astfield on a catalogue (data/astorb.dat by default) and recomputes, for
every row it lists, the asteroid's topocentric place, magnitude and motion by
a route that shares no code and no series with the program:

  * Earth: heliocentric position from a truncated VSOP87 series (ecliptic and
    equinox of date), carried to J2000.0 by ecliptic precession (the IAU 1976 eta,
    Pi, p angles) and the J2000 obliquity; no solar series of the program.
  * Observer: Earth rotation angle (IAU 2000) and the IAU 2006 polynomial for
    GMST, the four largest nutation terms, and the same ecliptic precession.
  * Asteroid: Kepler's equation solved to full precision with mpmath, the
    position from the perifocal vectors, light time iterated to convergence.
  * Motion: derivative by a central difference of 10 seconds.

The physical model is the program's own: two-body orbits, asteroid epochs
taken on the UTC axis like the observation instant, the Earth at TDB, no
aberration or light deflection, the H-G magnitude.

It then reports the largest differences, and checks that every record of the
catalogue is, or is not, in the field and bright enough as the program says
(naming records so close to a boundary that the two routes may differ).

With --program-model CATALOGUE the script instead evaluates CATALOGUE with
the program's own formulas (the same solar series, IAU 1976 precession, five
Newton steps, two light-time passes), written anew here and carried out in
30-digit arithmetic, for an observer at the Earth's centre, and prints the
rows the program should print, flagging any printed digit that lies within
1e-6 of a rounding boundary. The tests take their expected report from it.

Usage:
  asteroid_independent_check.py [--astfield PATH] [--catalogue PATH]
  asteroid_independent_check.py --program-model CATALOGUE [--utc Y M D h m s]
                                [--centre RA_DEG DEC_DEG] [--half-side DEG] [--limit V]
  asteroid_independent_check.py --self-test
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

import mpmath
from mpmath import mp, mpf

mp.dps = 30

PI = mp.pi
TWO_PI = 2 * mp.pi
DEG = mp.pi / 180
ARCSEC = mp.pi / 648000
AU_KM = mpf("149597870.691")
C_KM_S = mpf("299792.458")
GAUSS_K = mpf("0.01720209895")
EPS_J2000 = mpf("84381.448") * ARCSEC

# The compiled-in scenario of astfield.
SCENARIO_UTC = (2008, 5, 20, 5, 14, 0.0)
SCENARIO_OBSERVER_KM = (mpf("3395.0303"), mpf("3128.7911"), mpf("4388.8511"))
SCENARIO_CENTRE_DEG = (mpf(10) / 3600 * 15, mpf("0.5"))
SCENARIO_HALF_SIDE_DEG = mpf(1)
SCENARIO_LIMIT = mpf(20)


# ---------------------------------------------------------------------------
# Small vector algebra.

def vsub(a, b):
    return [a[0] - b[0], a[1] - b[1], a[2] - b[2]]


def vadd(a, b):
    return [a[0] + b[0], a[1] + b[1], a[2] + b[2]]


def vscale(s, a):
    return [s * a[0], s * a[1], s * a[2]]


def vdot(a, b):
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]


def vnorm(a):
    return mp.sqrt(vdot(a, a))


def rot_x(angle, v):
    """Vector v expressed in a frame turned by +angle about x."""
    c, s = mp.cos(angle), mp.sin(angle)
    return [v[0], c * v[1] + s * v[2], -s * v[1] + c * v[2]]


def rot_z(angle, v):
    c, s = mp.cos(angle), mp.sin(angle)
    return [c * v[0] + s * v[1], -s * v[0] + c * v[1], v[2]]


def rot_y(angle, v):
    c, s = mp.cos(angle), mp.sin(angle)
    return [c * v[0] - s * v[2], v[1], s * v[0] + c * v[2]]


def ra_dec_deg(v):
    ra = mp.atan2(v[1], v[0]) / DEG
    if ra < 0:
        ra += 360
    dec = mp.atan2(v[2], mp.sqrt(v[0] ** 2 + v[1] ** 2)) / DEG
    return ra, dec


# ---------------------------------------------------------------------------
# Time.

def julian_day(year, month, day, hour=0, minute=0, second=0.0):
    """Julian day of a Gregorian calendar date and time."""
    if month <= 2:
        year -= 1
        month += 12
    a = year // 100
    b = 2 - a + a // 4
    jd0 = int(365.25 * (year + 4716)) + int(30.6001 * (month + 1)) + day + b - mpf("1524.5")
    return jd0 + (hour + (minute + mpf(second) / 60) / 60) / 24


def tt_minus_utc_seconds(jd_utc):
    # TAI - UTC is 33 s from 2006 January 1 (JD 2453736.5) to 2008 December 31.
    if not (2453736.5 <= jd_utc < 2454832.5):
        raise SystemExit("this check knows TAI - UTC only for 2006-2008")
    return mpf("33") + mpf("32.184")


def tdb_minus_tt_seconds(jd_tt):
    """The main periodic terms of TDB - TT."""
    t = (jd_tt - 2451545) / 365250
    return (mpf("0.001657") * mp.sin(mpf("6283.0758") * t + mpf("6.2401"))
            + mpf("0.000022") * mp.sin(mpf("5753.3849") * t + mpf("4.2970"))
            + mpf("0.000014") * mp.sin(mpf("12566.1517") * t + mpf("6.1969")))


# ---------------------------------------------------------------------------
# The Earth: truncated VSOP87 (heliocentric, ecliptic and equinox of date).
# Each term is A cos(B + C tau), tau in Julian millennia from J2000; L and B
# in 1e-8 rad, R in 1e-8 AU.

VSOP_L = [
    [(175347046, 0, 0), (3341656, 4.6692568, 6283.07585), (34894, 4.6261, 12566.1517),
     (3497, 2.7441, 5753.3849), (3418, 2.8289, 3.5231), (3136, 3.6277, 77713.7715),
     (2676, 4.4181, 7860.4194), (2343, 6.1352, 3930.2097), (1324, 0.7425, 11506.7698),
     (1273, 2.0371, 529.691), (1199, 1.1096, 1577.3435), (990, 5.233, 5884.927),
     (902, 2.045, 26.298), (857, 3.508, 398.149), (780, 1.179, 5223.694),
     (753, 2.533, 5507.553), (505, 4.583, 18849.228), (492, 4.205, 775.523),
     (357, 2.92, 0.067), (317, 5.849, 11790.629), (284, 1.899, 796.298),
     (271, 0.315, 10977.079), (243, 0.345, 5486.778), (206, 4.806, 2544.314),
     (205, 1.869, 5573.143), (202, 2.458, 6069.777), (156, 0.833, 213.299),
     (132, 3.411, 2942.463), (126, 1.083, 20.775), (115, 0.645, 0.98),
     (103, 0.636, 4694.003), (102, 0.976, 15720.839), (102, 4.267, 7.114),
     (99, 6.21, 2146.17), (98, 0.68, 155.42), (86, 5.98, 161000.69),
     (85, 1.3, 6275.96), (85, 3.67, 71430.7), (80, 1.81, 17260.15),
     (79, 3.04, 12036.46), (75, 1.76, 5088.63), (74, 3.5, 3154.69),
     (74, 4.68, 801.82), (70, 0.83, 9437.76), (62, 3.98, 8827.39),
     (61, 1.82, 7084.9), (57, 2.78, 6286.6), (56, 4.39, 14143.5),
     (56, 3.47, 6279.55), (52, 0.19, 12139.55), (52, 1.33, 1748.02),
     (51, 0.28, 5856.48), (49, 0.49, 1194.45), (41, 5.37, 8429.24),
     (41, 2.4, 19651.05), (39, 6.17, 10447.39), (37, 6.04, 10213.29),
     (37, 2.57, 1059.38), (36, 1.71, 2352.87), (36, 1.78, 6812.77),
     (33, 0.59, 17789.85), (30, 0.44, 83996.85), (30, 2.74, 1349.87),
     (25, 3.16, 4690.48)],
    [(628331966747, 0, 0), (206059, 2.678235, 6283.07585), (4303, 2.6351, 12566.1517),
     (425, 1.59, 3.523), (119, 5.796, 26.298), (109, 2.966, 1577.344),
     (93, 2.59, 18849.23), (72, 1.14, 529.69), (68, 1.87, 398.15),
     (67, 4.41, 5507.55), (59, 2.89, 5223.69), (56, 2.17, 155.42),
     (45, 0.4, 796.3), (36, 0.47, 775.52), (29, 2.65, 7.11),
     (21, 5.34, 0.98), (19, 1.85, 5486.78), (19, 4.97, 213.3),
     (17, 2.99, 6275.96), (16, 0.03, 2544.31), (16, 1.43, 2146.17),
     (15, 1.21, 10977.08), (12, 2.83, 1748.02), (12, 3.26, 5088.63),
     (12, 5.27, 1194.45), (12, 2.08, 4694.0), (11, 0.77, 553.57),
     (10, 1.3, 6286.6), (10, 4.24, 1349.87), (9, 2.7, 242.73),
     (9, 5.64, 951.72), (8, 5.3, 2352.87), (6, 2.65, 9437.76),
     (6, 4.67, 4690.48)],
    [(52919, 0, 0), (8720, 1.0721, 6283.0758), (309, 0.867, 12566.152),
     (27, 0.05, 3.52), (16, 5.19, 26.3), (16, 3.68, 155.42),
     (10, 0.76, 18849.23), (9, 2.06, 77713.77), (7, 0.83, 775.52),
     (5, 4.66, 1577.34), (4, 1.03, 7.11), (4, 3.44, 5573.14),
     (3, 5.14, 796.3), (3, 6.05, 5507.55), (3, 1.19, 242.73),
     (3, 6.12, 529.69), (3, 0.31, 398.15), (3, 2.28, 553.57),
     (2, 4.38, 5223.69), (2, 3.75, 0.98)],
    [(289, 5.844, 6283.076), (35, 0, 0), (17, 5.49, 12566.15),
     (3, 5.2, 155.42), (1, 4.72, 3.52), (1, 5.3, 18849.23), (1, 5.97, 242.73)],
    [(114, 3.142, 0), (8, 4.13, 6283.08), (1, 3.84, 12566.15)],
    [(1, 3.14, 0)],
]

VSOP_B = [
    [(280, 3.199, 84334.662), (102, 5.422, 5507.553), (80, 3.88, 5223.69),
     (44, 3.7, 2352.87), (32, 4.0, 1577.34)],
    [(9, 3.9, 5507.55), (6, 1.73, 5223.69)],
]

VSOP_R = [
    [(100013989, 0, 0), (1670700, 3.0984635, 6283.07585), (13956, 3.05525, 12566.1517),
     (3084, 5.1985, 77713.7715), (1628, 1.1739, 5753.3849), (1576, 2.8469, 7860.4194),
     (925, 5.453, 11506.77), (542, 4.564, 3930.21), (472, 3.661, 5884.927),
     (346, 0.964, 5507.553), (329, 5.9, 5223.694), (307, 0.299, 5573.143),
     (243, 4.273, 11790.629), (212, 5.847, 1577.344), (186, 5.022, 10977.079),
     (175, 3.012, 18849.228), (110, 5.055, 5486.778), (98, 0.89, 6069.78),
     (86, 5.69, 15720.84), (86, 1.27, 161000.69), (65, 0.27, 17260.15),
     (63, 0.92, 529.69), (57, 2.01, 83996.85), (56, 5.24, 71430.7),
     (49, 3.25, 2544.31), (47, 2.58, 775.52), (45, 5.54, 9437.76),
     (43, 6.01, 6275.96), (39, 5.36, 4694.0), (38, 2.39, 8827.39),
     (37, 0.83, 19651.05), (37, 4.9, 12139.55), (36, 1.67, 12036.46),
     (35, 1.84, 2942.46), (33, 0.24, 7084.9), (32, 0.18, 5088.63),
     (32, 1.78, 398.15), (28, 1.21, 6286.6), (28, 1.9, 6279.55),
     (26, 4.59, 10447.39)],
    [(103019, 1.10749, 6283.07585), (1721, 1.0644, 12566.1517), (702, 3.142, 0),
     (32, 1.02, 18849.23), (31, 2.84, 5507.55), (25, 1.32, 5223.69),
     (18, 1.42, 1577.34), (10, 5.91, 10977.08), (9, 1.42, 6275.96),
     (9, 0.27, 5486.78)],
    [(4359, 5.7846, 6283.0758), (124, 5.579, 12566.152), (12, 3.14, 0),
     (9, 3.63, 77713.77), (6, 1.87, 5573.14), (3, 5.47, 18849.23)],
    [(145, 4.273, 6283.076), (7, 3.92, 12566.15)],
    [(4, 2.56, 6283.08)],
]


def vsop_sum(series, tau):
    total = mpf(0)
    for power, terms in enumerate(series):
        s = mpf(0)
        for a, b, c in terms:
            s += a * mp.cos(mpf(b) + mpf(c) * tau)
        total += s * tau ** power
    return total * mpf("1e-8")


def earth_of_date(jd_tdb):
    """Heliocentric ecliptic longitude, latitude (rad) and distance (AU) of the
    Earth, mean ecliptic and equinox of date."""
    tau = (jd_tdb - 2451545) / 365250
    return vsop_sum(VSOP_L, tau), vsop_sum(VSOP_B, tau), vsop_sum(VSOP_R, tau)


def ecliptic_precession(lon, lat, t_start, t_span):
    """Ecliptic coordinates (rad) moved by precession from the epoch t_start to
    t_start + t_span (Julian centuries from J2000.0)."""
    big_t, t = t_start, t_span
    eta = ((mpf("47.0029") - mpf("0.06603") * big_t + mpf("0.000598") * big_t ** 2) * t
           + (mpf("-0.03302") + mpf("0.000598") * big_t) * t ** 2 + mpf("0.000060") * t ** 3) * ARCSEC
    big_pi = mpf("174.876384") * DEG + ((mpf("3289.4789") * big_t + mpf("0.60622") * big_t ** 2)
                                         - (mpf("869.8089") + mpf("0.50491") * big_t) * t
                                         + mpf("0.03536") * t ** 2) * ARCSEC
    p = ((mpf("5029.0966") + mpf("2.22226") * big_t - mpf("0.000042") * big_t ** 2) * t
         + (mpf("1.11113") - mpf("0.000042") * big_t) * t ** 2 - mpf("0.000006") * t ** 3) * ARCSEC
    a = mp.cos(eta) * mp.cos(lat) * mp.sin(big_pi - lon) - mp.sin(eta) * mp.sin(lat)
    b = mp.cos(lat) * mp.cos(big_pi - lon)
    c = mp.cos(eta) * mp.sin(lat) + mp.sin(eta) * mp.cos(lat) * mp.sin(big_pi - lon)
    return p + big_pi - mp.atan2(a, b), mp.asin(c)


def mean_obliquity_of_date(t):
    return (mpf("84381.448") - mpf("46.8150") * t - mpf("0.00059") * t ** 2 + mpf("0.001813") * t ** 3) * ARCSEC


def j2000_equatorial_from_ecliptic_of_date(vector, t):
    """A vector on the mean ecliptic and equinox of date (t in Julian centuries
    from J2000.0) to the mean equator and equinox of J2000.0."""
    r = vnorm(vector)
    lon = mp.atan2(vector[1], vector[0])
    lat = mp.asin(vector[2] / r)
    lon0, lat0 = ecliptic_precession(lon, lat, t, -t)
    ecliptic = [r * mp.cos(lat0) * mp.cos(lon0), r * mp.cos(lat0) * mp.sin(lon0), r * mp.sin(lat0)]
    return rot_x(-EPS_J2000, ecliptic)


def earth_j2000_km(jd_tdb):
    lon, lat, r = earth_of_date(jd_tdb)
    t = (jd_tdb - 2451545) / 36525
    # VSOP87 dynamical ecliptic to FK5 (small constant corrections).
    lon_fk5 = lon - (mpf("1.397") * t + mpf("0.00031") * t ** 2) * DEG
    lon = lon - mpf("0.09033") * ARCSEC
    lat = lat + mpf("0.03916") * (mp.cos(lon_fk5) - mp.sin(lon_fk5)) * ARCSEC
    v = [r * mp.cos(lat) * mp.cos(lon), r * mp.cos(lat) * mp.sin(lon), r * mp.sin(lat)]
    return vscale(AU_KM, j2000_equatorial_from_ecliptic_of_date(v, t))


# ---------------------------------------------------------------------------
# The observer.

def nutation_main_terms(t):
    """Nutation in longitude and obliquity (rad) from its four largest terms."""
    omega = (mpf("125.04452") - mpf("1934.136261") * t) * DEG
    l_sun = (mpf("280.4665") + mpf("36000.7698") * t) * DEG
    l_moon = (mpf("218.3165") + mpf("481267.8813") * t) * DEG
    dpsi = (-mpf("17.20") * mp.sin(omega) - mpf("1.32") * mp.sin(2 * l_sun)
            - mpf("0.23") * mp.sin(2 * l_moon) + mpf("0.21") * mp.sin(2 * omega)) * ARCSEC
    deps = (mpf("9.20") * mp.cos(omega) + mpf("0.57") * mp.cos(2 * l_sun)
            + mpf("0.10") * mp.cos(2 * l_moon) - mpf("0.09") * mp.cos(2 * omega)) * ARCSEC
    return dpsi, deps


def observer_geocentric_j2000_km(jd_utc, earth_fixed):
    jd_tt = jd_utc + tt_minus_utc_seconds(jd_utc) / 86400
    t = (jd_tt - 2451545) / 36525
    du = jd_utc - 2451545  # UT1 = UTC
    era = TWO_PI * (mpf("0.7790572732640") + mpf("1.00273781191135448") * du)
    gmst = era + (mpf("0.014506") + mpf("4612.156534") * t + mpf("1.3915817") * t ** 2) * ARCSEC
    dpsi, deps = nutation_main_terms(t)
    eps = mean_obliquity_of_date(t)
    gast = gmst + dpsi * mp.cos(eps)
    true_of_date = rot_z(-gast, earth_fixed)
    # True equator of date -> mean ecliptic of date: undo nutation, then the
    # mean obliquity.
    mean_ecliptic = rot_z(dpsi, rot_x(eps + deps, true_of_date))
    return j2000_equatorial_from_ecliptic_of_date(mean_ecliptic, t)


def observer_heliocentric_km(jd_utc, earth_fixed):
    jd_tt = jd_utc + tt_minus_utc_seconds(jd_utc) / 86400
    jd_tdb = jd_tt + tdb_minus_tt_seconds(jd_tt) / 86400
    return vadd(earth_j2000_km(jd_tdb), observer_geocentric_j2000_km(jd_utc, earth_fixed))


# ---------------------------------------------------------------------------
# The asteroid.

def read_catalogue(path):
    """Records keyed by columns 1-17 (number and name as printed)."""
    records = []
    with open(path, "rb") as f:
        data = f.read().split(b"\x1a")[0].replace(b"\r", b"")
    for line_number, raw in enumerate(data.split(b"\n"), start=1):
        line = raw.decode("latin-1")
        if len(line) < 181:
            continue
        records.append({
            "line": line_number,
            "key": line[0:17],
            "h": mpf(line[42:47]), "g": mpf(line[48:53]),
            "epoch": (int(line[106:110]), int(line[110:112]), int(line[112:114])),
            "m0": mpf(line[115:125]), "peri": mpf(line[126:136]), "node": mpf(line[137:147]),
            "incl": mpf(line[148:157]), "e": mpf(line[158:168]), "a": mpf(line[169:181]),
        })
    return records


def eccentric_anomaly(e, m):
    m = mp.fmod(m, TWO_PI)
    guess = m + e * mp.sin(m) if e < mpf("0.8") else PI
    return mp.findroot(lambda x: x - e * mp.sin(x) - m, guess, tol=mpf(10) ** (-mp.dps + 3))


def heliocentric_km(record, jd):
    """Heliocentric J2000 equatorial position (km) at `jd` on the axis of the
    epoch (the program's convention: the observation's UTC)."""
    y, mo, d = record["epoch"]
    epoch = julian_day(y, mo, d)
    a, e = record["a"], record["e"]
    n = GAUSS_K / mp.sqrt(a ** 3)
    m = record["m0"] * DEG + n * (jd - epoch)
    big_e = eccentric_anomaly(e, m)
    # Perifocal coordinates, then the three rotations of the orbit.
    x = a * (mp.cos(big_e) - e)
    y_ = a * mp.sqrt(1 - e * e) * mp.sin(big_e)
    v = [x, y_, mpf(0)]
    v = rot_z(-record["peri"] * DEG, v)
    v = rot_x(-record["incl"] * DEG, v)
    v = rot_z(-record["node"] * DEG, v)
    return vscale(AU_KM, rot_x(-EPS_J2000, v))


def seen_from(record, jd_utc, observer):
    """Light-time corrected heliocentric position and observer-to-asteroid
    vector (km), iterated until the light time settles."""
    tau = mpf(0)
    for _ in range(20):
        position = heliocentric_km(record, jd_utc - tau)
        topocentric = vsub(position, observer)
        new_tau = vnorm(topocentric) / C_KM_S / 86400
        if abs(new_tau - tau) < mpf("1e-20"):
            break
        tau = new_tau
    return position, topocentric


def hg_v(h, g, heliocentric, topocentric):
    r, delta = vnorm(heliocentric), vnorm(topocentric)
    alpha = mp.acos(vdot(heliocentric, topocentric) / (r * delta))
    tan_half = mp.tan(alpha / 2)
    phi1 = mp.exp(-mpf("3.33") * tan_half ** mpf("0.63"))
    phi2 = mp.exp(-mpf("1.87") * tan_half ** mpf("1.22"))
    return h + 5 * mp.log10(r * delta / AU_KM ** 2) - mpf("2.5") * mp.log10((1 - g) * phi1 + g * phi2)


def standard_coordinates(ra, dec, ra0, dec0):
    """Gnomonic xi, eta (degrees) and the cosine of the distance from the centre."""
    a, d, a0, d0 = ra * DEG, dec * DEG, ra0 * DEG, dec0 * DEG
    cos_c = mp.sin(d0) * mp.sin(d) + mp.cos(d0) * mp.cos(d) * mp.cos(a - a0)
    xi = mp.cos(d) * mp.sin(a - a0) / cos_c / DEG
    eta = (mp.cos(d0) * mp.sin(d) - mp.sin(d0) * mp.cos(d) * mp.cos(a - a0)) / cos_c / DEG
    return xi, eta, cos_c


def wrap180(x):
    while x > 180:
        x -= 360
    while x <= -180:
        x += 360
    return x


# ---------------------------------------------------------------------------
# The check of a run of astfield.

ROW = re.compile(r"^\|(.{6})\|(.{11})\|\s*(\d+)\s+(\d+)\s+([\d.]+)\s+([+-])\s*(\d+)\s+(\d+)\s+([\d.]+)"
                 r"\s+(\S+)\s+(\S+)\s+(\S+)$")


def run_astfield(astfield, catalogue):
    with tempfile.TemporaryDirectory() as work:
        shutil.copy(catalogue, os.path.join(work, "astorb.dat"))
        result = subprocess.run([astfield], cwd=work, capture_output=True, text=True, check=False)
    if result.returncode != 0:
        raise SystemExit("astfield failed (status %d): %s" % (result.returncode, result.stderr))
    rows = []
    for line in result.stdout.splitlines():
        match = ROW.match(line)
        if match:
            g = match.groups()
            ra = (int(g[2]) + (int(g[3]) + float(g[4]) / 60) / 60) * 15
            dec = (int(g[6]) + (int(g[7]) + float(g[8]) / 60) / 60) * (-1 if g[5] == "-" else 1)
            rows.append({"key": g[0] + g[1], "ra": mpf(ra), "dec": mpf(dec), "v": mpf(g[9]),
                         "ra_rate": mpf(g[10]), "dec_rate": mpf(g[11]), "text": line})
    return rows


def place_and_rates(record, jd, observer_km):
    step = mpf(10) / 86400
    observer = observer_heliocentric_km(jd, observer_km)
    position, topocentric = seen_from(record, jd, observer)
    ra, dec = ra_dec_deg(topocentric)
    v = hg_v(record["h"], record["g"], position, topocentric)
    places = []
    for offset in (-step, step):
        obs = observer_heliocentric_km(jd + offset, observer_km)
        places.append(ra_dec_deg(seen_from(record, jd + offset, obs)[1]))
    per_hour = 3600 / (2 * step * 24)  # degrees per (2 step) to arcsec per hour
    ra_rate = wrap180(places[1][0] - places[0][0]) * per_hour
    dec_rate = (places[1][1] - places[0][1]) * per_hour
    return ra, dec, v, ra_rate, dec_rate, topocentric


def check_run(astfield, catalogue):
    jd = julian_day(*SCENARIO_UTC)
    rows = run_astfield(astfield, catalogue)
    records = read_catalogue(catalogue)
    by_key = {r["key"]: r for r in records}
    print("astfield listed %d rows; recomputing them independently" % len(rows))
    print("%-19s %9s %9s %7s %9s %9s %8s" % ("object", "dRA*cosD", "dDec", "dV", "dRArate", "dDecrate", "delta"))
    print("%-19s %9s %9s %7s %9s %9s %8s" % ("", "arcsec", "arcsec", "mag", "arcsec/h", "arcsec/h", "AU"))
    worst = [mpf(0)] * 5
    for row in rows:
        record = by_key[row["key"]]
        ra, dec, v, ra_rate, dec_rate, topo = place_and_rates(record, jd, SCENARIO_OBSERVER_KM)
        diffs = [wrap180(row["ra"] - ra) * mp.cos(dec * DEG) * 3600, (row["dec"] - dec) * 3600,
                 row["v"] - v, row["ra_rate"] - ra_rate, row["dec_rate"] - dec_rate]
        worst = [max(w, abs(d)) for w, d in zip(worst, diffs)]
        print("%-19s %9.3f %9.3f %7.3f %9.3f %9.3f %8.4f" % (
            (row["key"],) + tuple(float(d) for d in diffs) + (float(vnorm(topo) / AU_KM),)))
    print("largest differences: place %.3f and %.3f arcsec, V %.3f mag, motion %.3f and %.3f arcsec/h"
          % tuple(float(w) for w in worst))

    # Every record: in the field and bright enough, by the independent route?
    listed = {row["key"] for row in rows}
    ra0, dec0 = SCENARIO_CENTRE_DEG
    s = SCENARIO_HALF_SIDE_DEG * mpf("1.1")
    observer = observer_heliocentric_km(jd, SCENARIO_OBSERVER_KM)
    disagreements = 0
    for record in records:
        if not (0 <= record["e"] < 1 and record["a"] > 0):
            continue
        position, topocentric = seen_from(record, jd, observer)
        ra, dec = ra_dec_deg(topocentric)
        xi, eta, cos_c = standard_coordinates(ra, dec, ra0, dec0)
        v = hg_v(record["h"], record["g"], position, topocentric)
        inside = cos_c > 0 and abs(xi) <= s and abs(eta) <= s and abs(wrap180(ra - ra0)) <= s
        found = inside and v <= SCENARIO_LIMIT
        margin = min(s - abs(xi), s - abs(eta)) * 3600 if cos_c > 0 else mpf(-1e9)
        if inside and abs(v - SCENARIO_LIMIT) < mpf("0.01") or abs(margin) < 2:
            print("close to a boundary: %s (V %.3f, %.1f arcsec from the edge)" % (record["key"], v, margin))
        if found != (record["key"] in listed):
            disagreements += 1
            print("DISAGREE: %s independent says %s (V %.3f, xi %.5f, eta %.5f)"
                  % (record["key"], "listed" if found else "not listed", v, xi, eta))
        elif inside and not found:
            print("inside the square but fainter than the limit, not listed: %s (V %.2f)" % (record["key"], v))
    print("%d records scanned, %d disagreements about being listed" % (len(records), disagreements))
    return 0 if disagreements == 0 else 1


# ---------------------------------------------------------------------------
# The program's own formulas, written anew, for an observer at the Earth's
# centre: the expected rows of a small catalogue.

SOLAR_PLANETARY = [  # body, i, j, power, Lc, Ls, Rc, Rs, Bc, Bs
    (3, 1, 0, 0, "-0.22", "6892.76", "-16707.37", "-0.54", "0", "0"),
    (3, 1, 0, 1, "-0.06", "-17.35", "42.04", "-0.15", "0", "0"),
    (3, 1, 0, 2, "-0.01", "-0.05", "0.13", "-0.02", "0", "0"),
    (3, 2, 0, 0, "0", "71.98", "-139.57", "0", "0", "0"),
    (3, 2, 0, 1, "0", "-0.36", "0.70", "0", "0", "0"),
    (3, 3, 0, 0, "0", "1.04", "-1.75", "0", "0", "0"),
    (2, 0, -1, 0, "0.03", "-0.07", "-0.16", "-0.07", "0.02", "-0.02"),
    (2, 1, -1, 0, "2.35", "-4.23", "-4.75", "-2.64", "0", "0"),
    (2, 1, -2, 0, "-0.10", "0.06", "0.12", "0.20", "0.02", "0"),
    (2, 2, -1, 0, "-0.06", "-0.03", "0.20", "-0.01", "0.01", "-0.09"),
    (2, 2, -2, 0, "-4.70", "2.90", "8.28", "13.42", "0.01", "-0.01"),
    (2, 3, -2, 0, "1.80", "-1.74", "-1.44", "-1.57", "0.04", "-0.06"),
    (2, 3, -3, 0, "-0.67", "0.03", "0.11", "2.43", "0.01", "0"),
    (2, 4, -2, 0, "0.03", "-0.03", "0.10", "0.09", "0.01", "-0.01"),
    (2, 4, -3, 0, "1.51", "-0.40", "-0.88", "-3.36", "0.18", "-0.10"),
    (2, 4, -4, 0, "-0.19", "-0.09", "-0.38", "0.77", "0", "0"),
    (2, 5, -3, 0, "0.76", "-0.68", "0.30", "0.37", "0.01", "0"),
    (2, 5, -4, 0, "-0.14", "-0.04", "-0.11", "0.43", "-0.03", "0"),
    (2, 5, -5, 0, "-0.05", "-0.07", "-0.31", "0.21", "0", "0"),
    (2, 6, -4, 0, "0.15", "-0.04", "-0.06", "-0.21", "0.01", "0"),
    (2, 6, -5, 0, "-0.03", "-0.03", "-0.09", "0.09", "-0.01", "0"),
    (2, 6, -6, 0, "0", "-0.04", "-0.18", "0.02", "0", "0"),
    (2, 7, -5, 0, "-0.12", "-0.03", "-0.08", "0.31", "-0.02", "-0.01"),
    (4, 1, -1, 0, "-0.22", "0.17", "-0.21", "-0.27", "0", "0"),
    (4, 1, -2, 0, "-1.66", "0.62", "0.16", "0.28", "0", "0"),
    (4, 2, -2, 0, "1.96", "0.57", "-1.32", "4.55", "0", "0.01"),
    (4, 2, -3, 0, "0.40", "0.15", "-0.17", "0.46", "0", "0"),
    (4, 2, -4, 0, "0.53", "0.26", "0.09", "-0.22", "0", "0"),
    (4, 3, -3, 0, "0.05", "0.12", "-0.35", "0.15", "0", "0"),
    (4, 3, -4, 0, "-0.13", "-0.48", "1.06", "-0.29", "0.01", "0"),
    (4, 3, -5, 0, "-0.04", "-0.20", "0.20", "-0.04", "0", "0"),
    (4, 4, -4, 0, "0", "-0.03", "0.10", "0.04", "0", "0"),
    (4, 4, -5, 0, "0.05", "-0.07", "0.20", "0.14", "0", "0"),
    (4, 4, -6, 0, "-0.10", "0.11", "-0.23", "-0.22", "0", "0"),
    (4, 5, -7, 0, "-0.05", "0", "0.01", "-0.14", "0", "0"),
    (4, 5, -8, 0, "0.05", "0.01", "-0.02", "0.10", "0", "0"),
    (5, -1, -1, 0, "0.01", "0.07", "0.18", "-0.02", "0", "-0.02"),
    (5, 0, -1, 0, "-0.31", "2.58", "0.52", "0.34", "0.02", "0"),
    (5, 1, -1, 0, "-7.21", "-0.06", "0.13", "-16.27", "0", "-0.02"),
    (5, 1, -2, 0, "-0.54", "-1.52", "3.09", "-1.12", "0.01", "-0.17"),
    (5, 1, -3, 0, "-0.03", "-0.21", "0.38", "-0.06", "0", "-0.02"),
    (5, 2, -1, 0, "-0.16", "0.05", "-0.18", "-0.31", "0.01", "0"),
    (5, 2, -2, 0, "0.14", "-2.73", "9.23", "0.48", "0", "0"),
    (5, 2, -3, 0, "0.07", "-0.55", "1.83", "0.25", "0.01", "0"),
    (5, 2, -4, 0, "0.02", "-0.08", "0.25", "0.06", "0", "0"),
    (5, 3, -2, 0, "0.01", "-0.07", "0.16", "0.04", "0", "0"),
    (5, 3, -3, 0, "-0.16", "-0.03", "0.08", "-0.64", "0", "0"),
    (5, 3, -4, 0, "-0.04", "-0.01", "0.03", "-0.17", "0", "0"),
    (6, 0, -1, 0, "0", "0.32", "0.01", "0", "0", "0"),
    (6, 1, -1, 0, "-0.08", "-0.41", "0.97", "-0.18", "0", "-0.01"),
    (6, 1, -2, 0, "0.04", "0.10", "-0.23", "0.10", "0", "0"),
    (6, 2, -2, 0, "0.04", "0.10", "-0.35", "0.13", "0", "0"),
]
SOLAR_ANGLES = {2: ("0.1387306", "162.5485917"), 3: ("0.9931266", "99.9973604"), 4: ("0.0543250", "53.1666028"),
                5: ("0.0551750", "8.4293972"), 6: ("0.8816500", "3.3938722"), "D": ("0.8274", "1236.8531"),
                "A": ("0.3749", "1325.5524"), "U": ("0.2591", "1342.2278")}
SOLAR_LUNAR = [  # (D, A, M3, U multiples), dL sin, dR cos, dB sin
    ((1, 0, 0, 0), "6.45", "30.76", "0"), ((1, -1, 0, 0), "-0.42", "-3.06", "0"),
    ((1, 1, 0, 0), "0.18", "0.85", "0"), ((1, 0, -1, 0), "0.17", "0.57", "0"),
    ((1, 0, 1, 0), "-0.06", "-0.58", "0"), ((0, 0, 0, 1), "0", "0", "0.576")]
SOLAR_LONG_PERIOD = [("6.40", "0.6983", "0.0561"), ("1.87", "0.5764", "0.4174"),
                     ("0.27", "0.4189", "0.3306"), ("0.20", "0.3581", "2.4814")]


def frac_toward_zero(x):
    return x - mp.floor(x) if x >= 0 else x - mp.ceil(x)


def model_mjd(year, month, day, hour, minute, second):
    """The program's calendar rule (valid 1900-2100)."""
    y, m = year - 1900, month - 3
    if m < 0:
        m += 12
        y -= 1
    days = 365 * y + 15078 + int(y / 4) + int(30.6 * m + 0.5) + day
    return days + (hour + (minute + mpf(second) / 60) / 60) / 24


def model_sun(mjd):
    t = (mjd - mpf("51544.5")) / 36525
    angle = {k: TWO_PI * frac_toward_zero(mpf(c0) + mpf(c1) * t) for k, (c0, c1) in SOLAR_ANGLES.items()}
    dl = dr = db = mpf(0)
    for body, i, j, n, lc, ls, rc, rs, bc, bs in SOLAR_PLANETARY:
        phi = i * angle[3] + j * angle[body]
        c, s = mp.cos(phi), mp.sin(phi)
        dl += t ** n * (mpf(lc) * c + mpf(ls) * s)
        dr += t ** n * (mpf(rc) * c + mpf(rs) * s)
        db += t ** n * (mpf(bc) * c + mpf(bs) * s)
    for (d, a, m3, u), ls, rc, bs in SOLAR_LUNAR:
        phi = d * angle["D"] + a * angle["A"] + m3 * angle[3] + u * angle["U"]
        dl += mpf(ls) * mp.sin(phi)
        dr += mpf(rc) * mp.cos(phi)
        db += mpf(bs) * mp.sin(phi)
    for c, a, b in SOLAR_LONG_PERIOD:
        dl += mpf(c) * mp.sin(TWO_PI * (mpf(a) + mpf(b) * t))
    lon = TWO_PI * frac_toward_zero(mpf("0.7859453") + angle[3] / TWO_PI
                                   + ((mpf("6191.2") + mpf("1.1") * t) * t + dl) / 1296000)
    return lon, db * ARCSEC, mpf("1.0001398") - mpf("0.0000007") * t + dr * mpf("1e-6")


def model_earth_km(mjd):
    lon, lat, r = model_sun(mjd)
    t = (mjd - mpf("51544.5")) / 36525
    eps = (mpf("84381.448") - mpf("46.815") * t - mpf("0.00059") * t ** 2 + mpf("0.001813") * t ** 3) * ARCSEC
    v = rot_x(-eps, [r * mp.cos(lat) * mp.cos(lon), r * mp.cos(lat) * mp.sin(lon), r * mp.sin(lat)])
    # Equatorial precession (IAU 1976) from J2000.0 to the date, undone.
    zeta = (mpf("2306.2181") * t + mpf("0.30188") * t ** 2 + mpf("0.017998") * t ** 3) * ARCSEC
    z = (mpf("2306.2181") * t + mpf("1.09468") * t ** 2 + mpf("0.018203") * t ** 3) * ARCSEC
    theta = (mpf("2004.3109") * t - mpf("0.42665") * t ** 2 - mpf("0.041833") * t ** 3) * ARCSEC
    v = rot_z(zeta, rot_y(-theta, rot_z(z, v)))
    return vscale(-AU_KM, v)


def model_position_km(record, t):
    y, mo, d = record["epoch"]
    epoch = model_mjd(y, mo, d, 0, 0, 0)
    a, e = record["a"], record["e"]
    m = GAUSS_K / mp.sqrt(a ** 3) * (t - epoch) + record["m0"] * DEG
    big_e = m + e * mp.sin(m)
    for _ in range(5):
        big_e -= (big_e - e * mp.sin(big_e) - m) / (1 - e * mp.cos(big_e))
    nu = 2 * mp.atan2(mp.sqrt(1 + e) * mp.sin(big_e / 2), mp.sqrt(1 - e) * mp.cos(big_e / 2))
    nu += TWO_PI * mp.nint((big_e - nu) / TWO_PI)
    r = a * (1 - e * mp.cos(big_e))
    u = record["peri"] * DEG + nu
    node, inc = record["node"] * DEG, record["incl"] * DEG
    x = r * (mp.cos(u) * mp.cos(node) - mp.sin(u) * mp.sin(node) * mp.cos(inc))
    y_ = r * (mp.cos(u) * mp.sin(node) + mp.sin(u) * mp.cos(node) * mp.cos(inc))
    z = r * mp.sin(u) * mp.sin(inc)
    return vscale(AU_KM, rot_x(-EPS_J2000, [x, y_, z]))


def model_tdb(utc):
    tt = utc + mpf("65.184") / 86400
    t = (tt - mpf("51544.5")) / 36525
    g = (mpf("357.528") + mpf("35999.05") * t) * DEG
    return tt + mpf("0.001658") * mp.sin(g + mpf("0.0167") * mp.sin(g)) / 86400


def model_seen(record, utc):
    observer = model_earth_km(model_tdb(utc))
    position = model_position_km(record, utc)
    for _ in range(2):
        tau = vnorm(vsub(position, observer)) / C_KM_S / 86400
        position = model_position_km(record, utc - tau)
    return position, vsub(position, observer)


def sexagesimal(a):
    whole = mp.floor(a)
    x = (a - whole) * 60
    minutes = mp.floor(x)
    seconds = (x - minutes) * 60
    if seconds > mpf("59.999999"):
        seconds, minutes = mpf(0), minutes + 1
    if minutes > mpf("59.999999"):
        minutes, whole = mpf(0), whole + 1
    return int(whole), int(minutes), seconds


def near_rounding(value, decimals):
    scaled = abs(value) * mpf(10) ** decimals
    return abs(scaled - mp.floor(scaled) - mpf("0.5")) < mpf("1e-6")


def program_model_rows(catalogue, utc, centre, half_side, limit):
    t = model_mjd(*utc)
    step = mpf(1) / 1440
    out = []
    found = 0
    records = read_catalogue(catalogue)
    for record in records:
        if not (0 <= record["e"] < 1 and record["a"] > 0):
            continue
        position, topocentric = model_seen(record, t)
        ra, dec = ra_dec_deg(topocentric)
        v = hg_v(record["h"], record["g"], position, topocentric)
        xi, eta, cos_c = standard_coordinates(ra, dec, centre[0], centre[1])
        s = mpf("1.1") * half_side
        if v > limit or cos_c <= 0 or abs(xi) > s or abs(eta) > s or abs(wrap180(ra - centre[0])) > s:
            continue
        found += 1
        before = ra_dec_deg(model_seen(record, t - step)[1])
        after = ra_dec_deg(model_seen(record, t + step)[1])
        per_hour = 3600 / (2 * step * 24)
        ra_rate = wrap180(after[0] - before[0]) * per_hour
        dec_rate = (after[1] - before[1]) * per_hour
        h, m, sec = sexagesimal(ra / 15)
        d, am, asec = sexagesimal(abs(dec))
        values = [(sec, 2), (asec, 1), (v, 1), (ra_rate, 1), (dec_rate, 1)]
        risky = [str(mp.nstr(x, 12)) for x, n in values if near_rounding(x, n)]
        row = "|%s|%s| %2i %2i %5.2f  %1s%2i %2i %4.1f %5.1f %7.1f %7.1f" % (
            record["key"][0:6], record["key"][6:17], h, m, float(sec), "-" if dec < 0 else "+", d, am,
            float(asec), float(v), float(ra_rate), float(dec_rate))
        out.append(row + ("    <- near a rounding boundary: %s" % ", ".join(risky) if risky else ""))
    out.append("")
    out.append(" number of objects %8i  from  %8i  in list" % (found, len(records)))
    return out


# ---------------------------------------------------------------------------

def self_test():
    """The truncated VSOP87 series against a published worked example
    (1992 October 13.0 TD: L = 19.907372 deg, B = -0.000179 deg, R = 0.99760775 AU)."""
    lon, lat, r = earth_of_date(mpf("2448908.5"))
    lon_deg = mp.fmod(lon / DEG, 360)
    print("VSOP87 truncated, 1992 Oct 13.0: L %.6f deg, B %.6f deg, R %.8f AU"
          % (float(lon_deg), float(lat / DEG), float(r)))
    ok = abs(lon_deg - mpf("19.907372")) < mpf("2e-6") and abs(lat / DEG + mpf("0.000179")) < mpf("2e-6") \
        and abs(r - mpf("0.99760775")) < mpf("2e-8")
    for mjd in (mpf("51544.5"), mpf("54606.21881001337")):
        lon_m, lat_m, r_m = model_sun(mjd)
        lon_v, lat_v, r_v = earth_of_date(mjd + 2400000.5)
        print("MJD %s: solar series L %.5f deg R %.7f AU; VSOP87 Sun L %.5f deg R %.7f AU; difference %.2f arcsec"
              % (mjd, float(mp.fmod(lon_m / DEG + 720, 360)), float(r_m),
                 float(mp.fmod(lon_v / DEG + 180, 360)), float(r_v),
                 float(wrap180(lon_m / DEG - lon_v / DEG - 180) * 3600)))
    print("self-test", "passed" if ok else "FAILED")
    return 0 if ok else 1


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    root = os.path.dirname(here)
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--astfield", default=os.path.join(root, "build-ast", "bin", "astfield"))
    parser.add_argument("--catalogue", default=os.path.join(root, "data", "astorb.dat"))
    parser.add_argument("--program-model", metavar="CATALOGUE")
    parser.add_argument("--utc", nargs=6, type=float, default=list(SCENARIO_UTC))
    parser.add_argument("--centre", nargs=2, type=str, default=None)
    parser.add_argument("--half-side", type=str, default="1")
    parser.add_argument("--limit", type=str, default="20")
    parser.add_argument("--self-test", action="store_true")
    args = parser.parse_args()
    if args.self_test:
        return self_test()
    if args.program_model:
        utc = [int(x) for x in args.utc[:5]] + [args.utc[5]]
        centre = [mpf(x) for x in args.centre] if args.centre else list(SCENARIO_CENTRE_DEG)
        for line in program_model_rows(args.program_model, utc, centre, mpf(args.half_side), mpf(args.limit)):
            print(line)
        return 0
    return check_run(args.astfield, args.catalogue)


if __name__ == "__main__":
    sys.exit(main())
