#!/usr/bin/env python3
"""Independent check of satfield --observations, and the generator of the
bundled night data/satfield-night.obs (80-column) and
data/satfield-night.xml (ADES XML).

The places come from outside the program: each satellite's TEME position
from the published SGP4 code (the sgp4 package, Debian python3-sgp4), at
the observation's instant, turned into the Earth-fixed frame by GMST 1982
(the definition of TEME), and the satellite and the station (from
ObsCodes.html) carried from there to the mean equator and equinox of J2000
by GAST 1994 and the IAU 1976/1980 precession-nutation matrix of pyerfa:
the geometric topocentric place, no light time, aberration, refraction or
polar motion, UT1 = UTC, which is the place satfield documents for its rows.

Eight satellites of data/080520ls.tle, each seen from one of four stations
round the Earth high above its horizon, are tracklets of four observations
4.32 s apart, their places scattered by 0.5" of seeded noise. Two decoys
stand on a satellite's place at their first instant but move 20"/s faster
in declination (within the radius throughout, outside the motion
tolerance), two detections of nothing stand where no satellite is, and in
the check a line that is no observation and an unknown station stand among
them.

Checks (satfield --theory sgp4, the theory whose positions the published
code gives): each tracklet of a satellite is named as that satellite, its
offsets (observed less predicted) agreeing with those from the independent
places to 0.01" (the two reductions share their models, so what is left is
the rounding of the places as written, 0.015" in RA at the worst before the
cos(Dec) factor, and the propagators' agreement, well below 1 mm); decoys
and empty detections are left unidentified; the damaged line and the
unknown station are reported with their line numbers; the ADES XML night is
named alike; the same satellite seen at the same instants from two stations
is named from each with its own site's offsets, and from a spacecraft; with
--sunlit-only a tracklet is named when the field search lists its satellite
as lit at each of its observations; the output is the same on 1
and 2 threads; a satellite with
two sets is one candidate, placed by its set nearest the tracklet; the
bundled files are what this script writes.

Usage:
  satellite_identification_check.py BIN_DIR DATA_DIR
  satellite_identification_check.py --write-sample DATA_DIR
  satellite_identification_check.py --choose DATA_DIR   (looks for passes; prints the choices)
"""

import csv
import io
import math
import os
import random
import re
import subprocess
import sys
import tempfile

import erfa
import numpy as np
from sgp4.api import Satrec

EARTH_RADIUS_KM = 6378.137
TT_MINUS_UTC_S = 34 + 32.184  # 2008: TAI - UTC = 34 s
NOISE_ARCSEC = 0.5
STEP_DAYS = 5e-5  # 4.32 s, on the 1e-6 day grid of the 80-column date
NIGHT_MJD = 54606.0  # 2008-05-20 0 h UTC

# (NORAD number, station, instant of the first observation in 1e-6 day from
# NIGHT_MJD), found by --choose: each high above the station's horizon.
CHOICES = [
    (17919, "568", 339000),
    (10709, "568", 250000),
    (12151, "809", 30000),
    (31586, "809", 1000),
    (17190, "J75", 880000),
    (20078, "J75", 850000),
    (25109, "Q62", 514000),
    (97097, "Q62", 500000),
]


def stations(data_dir):
    """Code -> Earth-fixed position (km) from the published list."""
    out = {}
    with open(os.path.join(data_dir, "ObsCodes.html"), encoding="utf-8", errors="replace") as f:
        for line in f:
            m = re.match(r"^([0-9A-Z]{3})([ 0-9.]{9,10})([ 0-9.]{8})([ +\-0-9.]{9})", line)
            if not m:
                continue
            try:
                lon, c, s = float(line[3:13]), float(line[13:21]), float(line[21:30])
            except ValueError:
                continue
            lam = math.radians(lon)
            out[line[0:3]] = np.array([c * math.cos(lam), c * math.sin(lam), s]) * EARTH_RADIUS_KM
    return out


def element_sets(data_dir):
    """NORAD number -> (name, line 1, line 2)."""
    with open(os.path.join(data_dir, "080520ls.tle")) as f:
        lines = [line.rstrip("\n") for line in f]
    sets = {}
    for k in range(0, len(lines) - 2, 3):
        if lines[k + 1].startswith("1 ") and lines[k + 2].startswith("2 "):
            sets[int(lines[k + 1][2:7])] = (lines[k].strip(), lines[k + 1], lines[k + 2])
    return sets


def j2000_from_earth_fixed(mjd):
    """The matrix from the Earth-fixed frame to J2000 at UTC MJD `mjd`."""
    tt = mjd + TT_MINUS_UTC_S / 86400
    to_true = erfa.pnm80(2400000.5, tt)  # J2000 -> true of date
    gast = erfa.gst94(2400000.5, mjd)
    return to_true.T @ erfa.rz(gast, np.identity(3)).T


def satellite_place(satrec, station_ef, mjd):
    """Topocentric geometric J2000 RA, Dec (degrees) and altitude (degrees,
    above the plane normal to the station's geocentric direction)."""
    err, teme, _ = satrec.sgp4(2400000.5, mjd)
    if err != 0:
        return None
    earth_fixed = erfa.rz(erfa.gmst82(2400000.5, mjd), np.identity(3)) @ np.array(teme)
    to_j2000 = j2000_from_earth_fixed(mjd)
    v = to_j2000 @ earth_fixed - to_j2000 @ station_ef
    ra = math.degrees(math.atan2(v[1], v[0])) % 360.0
    dec = math.degrees(math.atan2(v[2], math.hypot(v[0], v[1])))
    local = earth_fixed - station_ef
    alt = math.degrees(math.asin(np.dot(local, station_ef) / np.linalg.norm(local) / np.linalg.norm(station_ef)))
    return ra, dec, alt


def with_checksum(line):
    """An element line of 68 characters with its checksum: the sum of its
    digits, a minus sign counting 1, modulo 10."""
    return line + str(sum(int(c) if c.isdigit() else (1 if c == "-" else 0) for c in line) % 10)


def mjd_of_epoch(epoch):
    """The UTC MJD of an element set's epoch field YYDDD.dddddddd (YY 57-99: 19YY)."""
    yy, day = int(epoch[0:2]), float(epoch[2:])
    year = 1900 + yy if yy >= 57 else 2000 + yy
    return erfa.cal2jd(year, 1, 1)[1] + day - 1


def line_80(key, mjd, ra, dec, station):
    """An 80-column line (note 2 'C'); returns it with its place as written (degrees)."""
    y, mo, d, fraction = erfa.jd2cal(2400000.5, mjd)
    micro = round(fraction * 1e6)
    date = "%04d %02d %02d.%06d" % (y, mo, d, micro)
    ra_s = round(ra / 15 * 3600, 3)
    h, rem = divmod(ra_s, 3600)
    m, s = divmod(rem, 60)
    sign = "-" if dec < 0 else "+"
    dec_s = round(abs(dec) * 3600, 2)
    dd, rem2 = divmod(dec_s, 3600)
    am, asec = divmod(rem2, 60)
    text = "%5s%-7s  C%s%02d %02d %06.3f%s%02d %02d %05.2f%9s15.0 V%6s%3s" % (
        "", key, date, h, m, s, sign, dd, am, asec, "", "", station)
    assert len(text) == 80, text
    written_ra = (int(h) * 3600 + int(m) * 60 + float("%06.3f" % s)) / 240.0
    written_dec = (int(dd) + (int(am) + float("%05.2f" % asec) / 60) / 60) * (-1 if sign == "-" else 1)
    return text, written_ra, written_dec


def night(data_dir):
    """The observations: list of (key, mjd, written ra, written dec, station, true ra, true dec), and
    key -> NORAD number or None."""
    sites = stations(data_dir)
    sets = element_sets(data_dir)
    rng = random.Random(2008)
    obs, truth = [], {}
    for k, (norad, station, start) in enumerate(CHOICES):
        key = "ST%03d" % k
        truth[key] = norad
        satrec = Satrec.twoline2rv(sets[norad][1], sets[norad][2])
        for j in range(4):
            mjd = NIGHT_MJD + (start + j * round(STEP_DAYS * 1e6)) * 1e-6
            ra, dec, _ = satellite_place(satrec, sites[station], mjd)
            noisy_dec = dec + rng.gauss(0, NOISE_ARCSEC) / 3600
            noisy_ra = ra + rng.gauss(0, NOISE_ARCSEC) / 3600 / math.cos(math.radians(dec))
            obs.append((key, mjd, noisy_ra, noisy_dec, station, ra, dec))
    # Decoys: on a satellite's place at the first instant, then 20"/s faster in Dec.
    for k in range(2):
        norad, station, start = CHOICES[k * 4]
        key = "DC%03d" % k
        truth[key] = None
        satrec = Satrec.twoline2rv(sets[norad][1], sets[norad][2])
        for j in range(4):
            mjd = NIGHT_MJD + (start + 100 + j * round(STEP_DAYS * 1e6)) * 1e-6
            ra, dec, _ = satellite_place(satrec, sites[station], mjd)
            obs.append((key, mjd, ra, dec + 20.0 * j * STEP_DAYS * 86400 / 3600, station, None, None))
    # Detections of nothing: a slow track where no satellite of the catalogue passes.
    for k in range(2):
        key = "NO%03d" % k
        truth[key] = None
        for j in range(3):
            mjd = NIGHT_MJD + (400000 + 1000 * k + j * 50) * 1e-6
            obs.append((key, mjd, 201.5 + 60 * k + j * 0.002, -61.0 + 70 * k, "809" if k == 0 else "568",
                        None, None))
    return obs, truth


def sample_texts(data_dir):
    """The 80-column text, the ADES XML text, and per observation line
    (1-based in the 80-column file, position in the XML) the written and
    the independent place."""
    obs, truth = night(data_dir)
    lines, places, optical = [], [], []
    for key, mjd, ra, dec, station, true_ra, true_dec in obs:
        text, wra, wdec = line_80(key, mjd, ra, dec, station)
        lines.append(text)
        places.append((key, wra, wdec, true_ra, true_dec))
        y, mo, d, fraction = erfa.jd2cal(2400000.5, mjd)
        seconds = round(fraction * 86400, 4)
        hh, rem = divmod(seconds, 3600)
        mm, ss = divmod(rem, 60)
        optical.append("      <optical>\n        <trkSub>%s</trkSub>\n        <mode>CCD</mode>\n"
                       "        <stn>%s</stn>\n        <obsTime>%04d-%02d-%02dT%02d:%02d:%07.4fZ</obsTime>\n"
                       "        <ra>%.7f</ra>\n        <dec>%.7f</dec>\n        <astCat>Gaia2</astCat>\n"
                       "      </optical>\n" % (key, station, y, mo, d, hh, mm, ss, wra, wdec))
    mpc = "\n".join(lines) + "\n"
    xml = ('<?xml version="1.0" encoding="UTF-8"?>\n<ades version="2017">\n  <obsBlock>\n    <obsData>\n' +
           "".join(optical) + "    </obsData>\n  </obsBlock>\n</ades>\n")
    return mpc, xml, places, truth


def choose(data_dir):
    """Looks for satellites high above each station over the night; prints candidates."""
    sites = stations(data_dir)
    sets = element_sets(data_dir)
    for station, (begin, end) in {"568": (250000, 350000), "809": (0, 100000), "J75": (850000, 950000),
                                  "Q62": (500000, 600000)}.items():
        for norad, (name, l1, l2) in sorted(sets.items()):
            satrec = Satrec.twoline2rv(l1, l2)
            for start in range(begin, end, 1000):
                p = satellite_place(satrec, sites[station], NIGHT_MJD + start * 1e-6)
                if p and p[2] > 40:
                    print(norad, station, start, name, "%.1f" % p[2], satrec.no_kozai * 1440 / (2 * math.pi))
                    break


def run(binary, args, cwd=None, expect=0):
    result = subprocess.run([binary] + args, capture_output=True, text=True, check=False, cwd=cwd)
    if result.returncode != expect:
        raise SystemExit("%s %s: status %d\n%s" % (binary, " ".join(args), result.returncode, result.stderr))
    return result


def identified(satfield, data_dir, path, threads="2", fmt="csv"):
    result = run(satfield, ["--observations", path, "--catalogue", os.path.join(data_dir, "080520ls.tle"),
                            "--observatory-codes", os.path.join(data_dir, "ObsCodes.html"), "--theory", "sgp4",
                            "--format", fmt, "--threads", threads])
    return result


def check_rows(rows, keys, places, truth, label, failures):
    """Each satellite's tracklet named as itself with offsets as the
    independent places give; the others without a candidate."""
    worst = 0.0
    by_key = {}
    for row in rows:
        by_key.setdefault(keys[int(row["observation"])], []).append(row)
    for key, norad in truth.items():
        got = by_key.get(key, [])
        if norad is None:
            if not got or any(r["rank"] != "0" for r in got):
                failures.append("%s %s should not be identified: %s" % (label, key, [r["norad_number"] for r in got]))
            continue
        best = [r for r in got if r["rank"] == "1"]
        if len(best) != 4 or any(r["norad_number"] != str(norad) for r in best):
            failures.append("%s %s should be %d: %s" % (label, key, norad, [r["norad_number"] for r in got]))
            continue
        for r in best:
            _, wra, wdec, ra, dec = places[int(r["observation"])]
            d_ra = ((wra - ra + 180) % 360 - 180) * 3600 * math.cos(math.radians(wdec))
            d_dec = (wdec - dec) * 3600
            for got_value, want in ((r["offset_ra_arcsec"], d_ra), (r["offset_dec_arcsec"], d_dec)):
                worst = max(worst, abs(float(got_value) - want))
                if abs(float(got_value) - want) > 0.01:
                    failures.append("%s %s observation %s: offset %s, independent %.4f" % (
                        label, key, r["observation"], got_value, want))
    return worst


def check(bin_dir, data_dir):
    satfield = os.path.join(bin_dir, "satfield")
    failures = []
    mpc, xml, places, truth = sample_texts(data_dir)
    for name, text in (("satfield-night.obs", mpc), ("satfield-night.xml", xml)):
        with open(os.path.join(data_dir, name)) as f:
            if f.read() != text:
                failures.append("data/%s is not what this script writes (--write-sample)" % name)
    lines = mpc.rstrip("\n").split("\n")
    with tempfile.TemporaryDirectory() as work:
        # A line that is no observation and one from an unknown station; the
        # first satellite seen at the same instants from another station (608,
        # on another island), each observation from its own site; and the
        # second seen from a spacecraft (the 80-column 'S' and 's' lines) at a
        # geocentric J2000 position of its own.
        damaged = lines[:5] + ["this is no observation"] + lines[5:] + [lines[0][:77] + "ZZZ"]
        damaged_places = {i + 1: places[i] for i in range(5)}
        damaged_places.update({i + 2: places[i] for i in range(5, len(lines))})
        damaged_truth = dict(truth)
        sets = element_sets(data_dir)
        spacecraft = np.array([6000.0, -3000.0, 2500.0])
        for (norad, _, start), key, station in ((CHOICES[0], "SX000", "608"), (CHOICES[1], "SP000", "C51")):
            satrec = Satrec.twoline2rv(sets[norad][1], sets[norad][2])
            damaged_truth[key] = norad
            for j in range(4):
                mjd = NIGHT_MJD + (start + j * round(STEP_DAYS * 1e6)) * 1e-6
                if station != "C51":
                    ra, dec, _ = satellite_place(satrec, stations(data_dir)[station], mjd)
                    text, wra, wdec = line_80(key, mjd, ra, dec, station)
                    damaged.append(text)
                    damaged_places[len(damaged)] = (key, wra, wdec, ra, dec)
                    continue
                _, teme, _ = satrec.sgp4(2400000.5, mjd)
                earth_fixed = erfa.rz(erfa.gmst82(2400000.5, mjd), np.identity(3)) @ np.array(teme)
                v = j2000_from_earth_fixed(mjd) @ earth_fixed - spacecraft
                ra = math.degrees(math.atan2(v[1], v[0])) % 360.0
                dec = math.degrees(math.atan2(v[2], math.hypot(v[0], v[1])))
                text, wra, wdec = line_80(key, mjd, ra, dec, station)
                damaged.append(text[:14] + "S" + text[15:])
                damaged_places[len(damaged)] = (key, wra, wdec, ra, dec)
                damaged.append(text[:14] + "s" + text[15:32] + "1 %+11.4f %+11.4f %+11.4f        %s" % (
                    *spacecraft, station))
                assert len(damaged[-1]) == 80, damaged[-1]
        path = os.path.join(work, "night.obs")
        with open(path, "w") as f:
            f.write("\n".join(damaged) + "\n")
        result = identified(satfield, data_dir, path)
        err = result.stderr
        if ":6:" not in err or (":%d:" % (len(lines) + 2)) not in err or err.count("\n") != 2:
            failures.append("the damaged line and the unknown station are not reported by line: " + err)
        keys = {i + 1: text[5:12].strip() for i, text in enumerate(damaged)}
        rows = list(csv.DictReader(io.StringIO(result.stdout)))
        worst = check_rows(rows, keys, damaged_places, damaged_truth, "80-column", failures)
        print("80-column: %d rows, the largest difference of an offset from the independent one %.4f\"" %
              (len(rows), worst))
        one = identified(satfield, data_dir, path, threads="1")
        if one.stdout != result.stdout:
            failures.append("the rows differ between 1 and 2 threads")
        # The bundled sample itself, and as ADES XML.
        for name, fmt in (("satfield-night.obs", "80-column"), ("satfield-night.xml", "ADES XML")):
            rows = list(csv.DictReader(io.StringIO(identified(satfield, data_dir, os.path.join(data_dir, name)).stdout)))
            keys = {i + 1: p[0] for i, p in enumerate(places)}
            worst = check_rows(rows, keys, {i + 1: p for i, p in enumerate(places)}, truth, fmt, failures)
            print("%s: %d rows, largest offset difference %.4f\"" % (fmt, len(rows), worst))
        for fmt in ("text", "json"):
            text = identified(satfield, data_dir, os.path.join(data_dir, "satfield-night.obs"), fmt=fmt).stdout
            if "tracklets read 12, identified 8, unidentified 4" not in text and \
                    '"tracklets_read":12,"identified":8,"unidentified":4' not in text:
                failures.append("%s output without the counts: %s" % (fmt, text[-300:]))
        # A satellite with two sets: placed by the one nearest the tracklet,
        # here a copy of its set 0.0000005 d (43 ms) later, a few tens of
        # arcseconds behind; the earlier set is superseded.
        history = os.path.join(work, "history.tle")
        norad = CHOICES[0][0]
        name, l1, l2 = element_sets(data_dir)[norad]
        epoch = "%014.8f" % (float(l1[18:32]) + 5e-7)
        later = with_checksum(l1[:18] + epoch + l1[32:68])
        with open(os.path.join(data_dir, "080520ls.tle")) as f:
            catalogue = f.read()
        with open(history, "w") as f:
            f.write(catalogue + "%s\n%s\n%s\n" % (name, later, l2))
        result = run(satfield, ["--observations", os.path.join(data_dir, "satfield-night.obs"), "--catalogue",
                                history, "--observatory-codes", os.path.join(data_dir, "ObsCodes.html"),
                                "--theory", "sgp4", "--format", "csv"])
        rows = [r for r in csv.DictReader(io.StringIO(result.stdout)) if r["tracklet"] == "1"]
        if len(rows) != 4 or any(r["norad_number"] != str(norad) or r["rank"] != "1" for r in rows):
            failures.append("two sets of one satellite: %s" % [(r["rank"], r["norad_number"]) for r in rows])
        elif not all(10 < float(r["offset_arcsec"]) < 300 for r in rows) or \
                abs(float(rows[0]["elements_age_days"]) - (NIGHT_MJD + CHOICES[0][2] * 1e-6 - mjd_of_epoch(epoch))) > 1e-5:
            failures.append("two sets of one satellite: not placed by the later set: %s" %
                            [(r["offset_arcsec"], r["elements_age_days"]) for r in rows])
        # --sunlit-only: a tracklet is named only when the field search lists
        # its satellite as lit (sunlit or in penumbra) at every observation.
        bundled = os.path.join(data_dir, "satfield-night.obs")
        lit_rows = list(csv.DictReader(io.StringIO(run(satfield, [
            "--observations", bundled, "--catalogue", os.path.join(data_dir, "080520ls.tle"), "--theory", "sgp4",
            "--sunlit-only", "--format", "csv"]).stdout)))
        named_lit = {r["tracklet"] for r in lit_rows if r["rank"] == "1"}
        shadowed = 0
        for k, (norad, station, _) in enumerate(CHOICES):
            lit = True
            for r in (r for r in lit_rows if r["tracklet"] == str(k + 1)):
                field = run(satfield, ["--catalogue", os.path.join(data_dir, "080520ls.tle"), "--theory", "sgp4",
                                       "--site", station, "--time", r["time_utc"], "--centre", r["observed_ra_deg"],
                                       r["observed_dec_deg"], "--side", "5", "--format", "csv"]).stdout
                states = [f["illumination"] for f in csv.DictReader(io.StringIO(field))
                          if f["norad_number"] == str(norad)]
                lit = lit and states != [] and states[0] != "umbra"
            shadowed += 0 if lit else 1
            if lit != (str(k + 1) in named_lit):
                failures.append("--sunlit-only: tracklet %d (%d) lit %s, named %s" % (
                    k + 1, norad, lit, str(k + 1) in named_lit))
        print("--sunlit-only: %d of %d tracklets in the Earth's shadow" % (shadowed, len(CHOICES)))
        # A radius the square of an observation cannot hold.
        result = run(satfield, ["--observations", os.path.join(data_dir, "satfield-night.obs"), "--catalogue",
                                os.path.join(data_dir, "080520ls.tle"), "--radius", "20000"], expect=2)
        if result.stdout or len(result.stderr.strip().split("\n")) != 1:
            failures.append("a radius of 20000 arcsec: %r %r" % (result.stdout, result.stderr))
        # No known format.
        bad = os.path.join(work, "bad.txt")
        with open(bad, "w") as f:
            f.write("hello\nworld\n")
        result = run(satfield, ["--observations", bad, "--catalogue", os.path.join(data_dir, "080520ls.tle")],
                     expect=2)
        if result.stdout or len(result.stderr.strip().split("\n")) != 1:
            failures.append("a file of no format: %r %r" % (result.stdout, result.stderr))
    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--write-sample":
        mpc, xml, _, _ = sample_texts(sys.argv[2])
        with open(os.path.join(sys.argv[2], "satfield-night.obs"), "w") as f:
            f.write(mpc)
        with open(os.path.join(sys.argv[2], "satfield-night.xml"), "w") as f:
            f.write(xml)
        return 0
    if len(sys.argv) == 3 and sys.argv[1] == "--choose":
        choose(sys.argv[2])
        return 0
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    return check(sys.argv[1], sys.argv[2])


if __name__ == "__main__":
    sys.exit(main())
