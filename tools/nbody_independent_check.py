#!/usr/bin/env python3
"""Independent check of astfield's integrated orbits (--propagation n-body).

Integrates orbits of real-looking elements (main belt, centaurs, near-Earth
objects) from their epoch by a route that shares no code with the program:

  * Bodies: ERFA through pyerfa, called here (eraPlan94 for Mercury, Venus,
    Mars and the giant planets, eraEpv00 for the Earth, eraMoon98 for the
    Moon), the Earth and the Moon turned from the ICRS onto the mean J2000
    equator by eraBp06's frame bias.
  * Forces: the Sun, the eight planets and the Moon as point masses (IAU
    2009 mass ratios), referred to the Sun (with the indirect terms), and the
    Sun's Schwarzschild term.
  * Integrator: Gragg's modified midpoint rule extrapolated to zero step
    (Bulirsch and Stoer) over fixed macro steps, every object of a case
    carried at once with numpy.
  * Place: the observer at the Earth's centre, light time iterated to
    convergence, no aberration or deflection.

Each case runs astfield on a one-record catalogue with the field centred on
the integrated place and checks the row's place against it; the tolerance is
the accuracy the program promises for that class of orbit. The largest
distance from the Earth over each span is checked too: a near-Earth case
must not come within 0.05 AU.

Usage: nbody_independent_check.py BIN_DIR [--quick]

The quick form (the test suite's) checks each case at its first span only.
"""

import csv
import io
import math
import os
import subprocess
import sys
import tempfile

import erfa
import numpy as np

K = 0.01720209895
GM_SUN = K * K
C_AU_PER_DAY = 299792.458 * 86400.0 / 149597870.7
OBLIQUITY = 84381.448 / 3600.0 * math.pi / 180.0
DEG = math.pi / 180.0

# Sun / body mass ratios, IAU 2009 (the Earth and the Moon from the Sun /
# Earth-Moon ratio and the Earth / Moon ratio).
SUN_EMB = 328900.56
EARTH_MOON = 81.30056
RATIOS = {
    "mercury": 6023600.0,
    "venus": 408523.719,
    "earth": SUN_EMB * (1.0 + 1.0 / EARTH_MOON),
    "mars": 3098703.59,
    "jupiter": 1047.348644,
    "saturn": 3497.9018,
    "uranus": 22902.98,
    "neptune": 19412.26,
    "moon": SUN_EMB * (1.0 + EARTH_MOON),
}
PLAN94 = {"mercury": 1, "venus": 2, "mars": 4, "jupiter": 5, "saturn": 6, "uranus": 7, "neptune": 8}
BIAS = erfa.bp06(2451545.0, 0.0)[0]  # ICRS -> mean J2000


def tdb_jd2(tt_mjd):
    """TDB as (2400000.5, MJD) of a TT MJD (eraDtdb at the geocentre)."""
    ut = tt_mjd - 69.184 / 86400.0
    return tt_mjd + erfa.dtdb(2400000.5, tt_mjd, ut % 1.0, 0.0, 0.0, 0.0) / 86400.0


def earth_heliocentric(tt_mjd):
    pvh, _ = erfa.epv00(2400000.5, tdb_jd2(tt_mjd))
    return BIAS @ pvh["p"], BIAS @ pvh["v"]


def bodies(tt_mjd):
    """Heliocentric positions (AU, mean J2000 equator) of the nine bodies."""
    tdb = tdb_jd2(tt_mjd)
    out = {}
    for name, number in PLAN94.items():
        out[name] = erfa.plan94(2400000.5, tdb, number)["p"]
    earth, _ = earth_heliocentric(tt_mjd)
    out["earth"] = earth
    out["moon"] = earth + BIAS @ erfa.moon98(2400000.5, tdb)["p"]
    return out


def acceleration(t, r, v):
    """Heliocentric acceleration of each row of r (AU/day^2)."""
    rn = np.linalg.norm(r, axis=1)[:, None]
    a = -GM_SUN * r / rn**3
    for name, p in bodies(t).items():
        gm = GM_SUN / RATIOS[name]
        d = p[None, :] - r
        dn = np.linalg.norm(d, axis=1)[:, None]
        a += gm * (d / dn**3 - p[None, :] / np.linalg.norm(p) ** 3)
    v2 = np.sum(v * v, axis=1)[:, None]
    rv = np.sum(r * v, axis=1)[:, None]
    a += GM_SUN / (C_AU_PER_DAY**2 * rn**3) * ((4.0 * GM_SUN / rn - v2) * r + 4.0 * rv * v)
    return a


def midpoint(t, r, v, h, n):
    """Gragg's modified midpoint rule over h in n substeps."""
    s = h / n
    r0, v0 = r, v
    r1 = r + s * v
    v1 = v + s * acceleration(t, r, v)
    for k in range(1, n):
        tk = t + k * s
        a = acceleration(tk, r1, v1)
        r0, r1 = r1, r0 + 2.0 * s * v1
        v0, v1 = v1, v0 + 2.0 * s * a
    a = acceleration(t + h, r1, v1)
    return 0.5 * (r1 + r0 + s * v1), 0.5 * (v1 + v0 + s * a)


SEQUENCE = (2, 4, 6, 8, 10, 12, 14)


def bs_step(t, r, v, h):
    """One macro step, extrapolated to zero substep (polynomial in s^2)."""
    table = []
    for n in SEQUENCE:
        table.append([midpoint(t, r, v, h, n)])
        j = len(table) - 1
        for k in range(1, j + 1):
            ratio = (SEQUENCE[j] / SEQUENCE[j - k]) ** 2 - 1.0
            prev, low = table[j][k - 1], table[j - 1][k - 1]
            table[j].append((prev[0] + (prev[0] - low[0]) / ratio, prev[1] + (prev[1] - low[1]) / ratio))
    return table[-1][-1]


def integrate(t0, r, v, t1, h=4.0, earth_track=None):
    steps = max(1, int(math.ceil(abs(t1 - t0) / h)))
    step = (t1 - t0) / steps
    t = t0
    for _ in range(steps):
        r, v = bs_step(t, r, v, step)
        t += step
        if earth_track is not None:
            e, _ = earth_heliocentric(t)
            earth_track.append(np.min(np.linalg.norm(r - e[None, :], axis=1)))
    return r, v


def kepler_state(a, e, inc, node, peri, m):
    """Heliocentric state (AU, AU/day, mean J2000 equator) from elements in
    degrees on the ecliptic of J2000.0."""
    mm = math.radians(m)
    ecc = mm
    for _ in range(100):
        d = (ecc - e * math.sin(ecc) - mm) / (1.0 - e * math.cos(ecc))
        ecc -= d
        if abs(d) < 1e-15:
            break
    n = K / a**1.5
    x = a * (math.cos(ecc) - e)
    y = a * math.sqrt(1.0 - e * e) * math.sin(ecc)
    edot = n / (1.0 - e * math.cos(ecc))
    vx = -a * math.sin(ecc) * edot
    vy = a * math.sqrt(1.0 - e * e) * math.cos(ecc) * edot

    def rot(z, angle):
        c, s = math.cos(angle), math.sin(angle)
        if z == "z":
            return np.array([[c, -s, 0], [s, c, 0], [0, 0, 1]])
        return np.array([[1, 0, 0], [0, c, -s], [0, s, c]])

    m_ecl = rot("z", math.radians(node)) @ rot("x", math.radians(inc)) @ rot("z", math.radians(peri))
    to_eq = rot("x", OBLIQUITY)
    return to_eq @ m_ecl @ np.array([x, y, 0.0]), to_eq @ m_ecl @ np.array([vx, vy, 0.0])


def utc_to_tt_mjd(year, month, day, hour, minute, second):
    u1, u2 = erfa.dtf2d("UTC", year, month, day, hour, minute, second)
    a1, a2 = erfa.utctai(u1, u2)
    t1, t2 = erfa.taitt(a1, a2)
    return (t1 - 2400000.5) + t2, ((t1 - 2400000.5) + t2) - ((u1 - 2400000.5) + u2)


def astrometric(r, v, t_tt):
    """Geocentric direction (RA, Dec deg) with light time, from the
    heliocentric state at the instant."""
    earth, _ = earth_heliocentric(t_tt)
    a = acceleration(t_tt, r[None, :], v[None, :])[0]
    tau = 0.0
    for _ in range(10):
        p = r - v * tau + 0.5 * a * tau * tau
        tau = np.linalg.norm(p - earth) / C_AU_PER_DAY
    rho = r - v * tau + 0.5 * a * tau * tau - earth
    ra = math.degrees(math.atan2(rho[1], rho[0])) % 360.0
    dec = math.degrees(math.asin(rho[2] / np.linalg.norm(rho)))
    return ra, dec, np.linalg.norm(rho)


def astorb_line(elements, epoch):
    a, e, inc, node, peri, m = elements
    text = list(" " * 266)

    def put(first, last, value):
        s = value.rjust(last - first + 1)
        text[first - 1:last] = list(s)

    put(1, 6, "1")
    text[6:25] = list("Checked".ljust(19))
    put(42, 47, "10.00")
    put(48, 53, " 0.15")
    put(107, 114, epoch)
    put(115, 125, "%.6f" % m)
    put(126, 136, "%.6f" % peri)
    put(137, 147, "%.6f" % node)
    put(148, 157, "%.6f" % inc)
    put(158, 168, "%.8f" % e)
    put(169, 181, "%.8f" % a)
    return "".join(text).rstrip() + "\n"


def separation_arcsec(ra1, dec1, ra2, dec2):
    v1 = np.array([math.cos(math.radians(dec1)) * math.cos(math.radians(ra1)),
                   math.cos(math.radians(dec1)) * math.sin(math.radians(ra1)), math.sin(math.radians(dec1))])
    v2 = np.array([math.cos(math.radians(dec2)) * math.cos(math.radians(ra2)),
                   math.cos(math.radians(dec2)) * math.sin(math.radians(ra2)), math.sin(math.radians(dec2))])
    return math.degrees(2.0 * math.asin(min(1.0, np.linalg.norm(v1 - v2) / 2.0))) * 3600.0


def run_astfield(bin_dir, catalogue, when, ra, dec, propagation):
    command = [os.path.join(bin_dir, "astfield"), "--catalogue", catalogue, "--time", when, "--observer", "0,0,0",
               "--centre", "%.8f" % ra, "%.8f" % dec, "--side", "20", "--mag-limit", "40", "--format", "csv",
               "--propagation", propagation]
    out = subprocess.run(command, check=True, capture_output=True, text=True).stdout
    rows = list(csv.DictReader(io.StringIO(out)))
    return [(float(r["ra_deg"]), float(r["dec_deg"])) for r in rows]


# (class, elements a e i node peri M at the epoch, offsets in days, tolerance in arcsec)
EPOCH = ("20220809", 59800.0)
CASES = [
    ("main belt, Ceres-like", (2.7671, 0.07840, 10.588, 80.27, 73.64, 60.08), (-365, 365), 0.5),
    ("main belt, Pallas-like", (2.7704, 0.23040, 34.837, 172.92, 310.87, 37.26), (365, 1096, -1096), (0.5, 5.0)),
    ("main belt, Vesta-like", (2.3617, 0.08830, 7.142, 103.81, 151.20, 20.86), (-365, 1096), (0.5, 5.0)),
    ("main belt, Hygiea-like", (3.1395, 0.11250, 3.832, 283.20, 312.32, 152.18), (1096,), 5.0),
    ("centaur, Chiron-like", (13.692, 0.37900, 6.927, 209.30, 339.25, 147.73), (-1096, 1096), 0.5),
    ("centaur, Pholus-like", (20.308, 0.57200, 24.680, 119.39, 354.87, 22.77), (1096,), 0.5),
    ("near-Earth, Eros-like", (1.4580, 0.22270, 10.828, 304.30, 178.90, 246.90), (-365, 365), 2.0),
    ("near-Earth, Ganymed-like", (2.6660, 0.53300, 26.680, 215.50, 132.40, 190.00), (365,), 2.0),
]


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    bin_dir = sys.argv[1]
    quick = "--quick" in sys.argv
    # The quick form checks each class once, at its first span.
    cases = [(n, e, o[:1], t if not isinstance(t, tuple) else t[:1]) for n, e, o, t in CASES] if quick else CASES
    failures = 0
    checked = 0
    with tempfile.TemporaryDirectory(prefix="nbody_check_") as scratch:
        for name, elements, offsets, tolerances in cases:
            if not isinstance(tolerances, tuple):
                tolerances = (tolerances,) * len(offsets)
            catalogue = os.path.join(scratch, "one.dat")
            with open(catalogue, "w") as f:
                f.write(astorb_line(elements, EPOCH[0]))
            r0, v0 = kepler_state(*elements)
            for offset, tolerance in zip(offsets, tolerances):
                cal = erfa.d2dtf("UTC", 0, 2400000.5, EPOCH[1] + offset + 0.3)
                y, mo, d, (hh, mm, ss, _) = cal
                when = "%04d-%02d-%02dT%02d:%02d:%02d" % (y, mo, d, hh, mm, ss)
                t_tt, _ = utc_to_tt_mjd(y, mo, d, hh, mm, float(ss))
                track = []
                r, v = integrate(EPOCH[1], r0[None, :], v0[None, :], t_tt, earth_track=track)
                ra, dec, delta = astrometric(r[0], v[0], t_tt)
                nearest = min(track)
                if name.startswith("near-Earth") and nearest < 0.05:
                    checked += 1
                    print("FAIL %s: comes within %.3f AU of the Earth, no case for the check" % (name, nearest))
                    failures += 1
                    continue
                rows = run_astfield(bin_dir, catalogue, when, ra, dec, "n-body")
                two_body = run_astfield(bin_dir, catalogue, when, ra, dec, "two-body")
                checked += 1
                if len(rows) != 1:
                    print("FAIL %s at %+d d: %d rows" % (name, offset, len(rows)))
                    failures += 1
                    continue
                error = separation_arcsec(ra, dec, *rows[0])
                off = separation_arcsec(ra, dec, *two_body[0]) if two_body else float("inf")
                verdict = "ok  " if error <= tolerance else "FAIL"
                failures += error > tolerance
                print("%s %-26s %+5d d  n-body %.4f\" (limit %.1f\")  two-body %.1f\"  delta %.2f AU" %
                      (verdict, name, offset, error, tolerance, off, delta))
    print("%d passed, %d failed" % (checked - failures, failures))
    return 1 if failures or checked == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
