#!/usr/bin/env python3
"""Independent check of astfield --observations.

Builds a night of detections from places computed here, not by the program:
the program's model (two-body orbits, its solar series, two light-time
passes, an observer at the Earth's centre, station 500) written anew in
30-digit arithmetic by asteroid_independent_check.py. Each of eight known
asteroids is a tracklet of four observations over an hour, the places
scattered by 0.3" of seeded noise and written in the 80-column format. Two
decoys stand on an asteroid's place at their first instant but move at
another rate, and two detections of nothing stand where no object is.

Checks that every tracklet of a known asteroid is named as that asteroid with
its offsets (observed less predicted) agreeing with the independent places to
0.01", that decoys and empty detections are left unidentified, that a line
that is no observation and an unknown station are reported with their line
numbers while the rest is still identified, that a file of no known format
stops with status 2 and nothing on standard output, that no line of the
text report ends in blanks, and that
--write-identified writes every identified observation with its packed
number, every other byte unchanged, and the file written is identified again
as itself; the same night as ADES PSV is named alike and written back with
its permID column, and read again is named as itself; the bundled ADES XML
night (the same places) gives the 80-column rows, and written with the names
and read again is named as itself.

Usage:
  identification_independent_check.py BIN_DIR DATA_DIR
  identification_independent_check.py --write-sample PATH DATA_DIR
  identification_independent_check.py --write-xml-sample PATH DATA_DIR
"""

import csv
import io
import os
import random
import re
import subprocess
import sys
import tempfile
from xml.etree import ElementTree

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import asteroid_independent_check as model  # noqa: E402
from mpmath import mpf  # noqa: E402

NIGHT = (2008, 5, 20)
START_HOUR = 5.0
NOISE_ARCSEC = 0.3
OBJECTS = 8


def mjd_of(hours):
    h = int(hours)
    minutes = (hours - h) * 60
    m = int(minutes)
    return model.model_mjd(NIGHT[0], NIGHT[1], NIGHT[2], h, m, (minutes - m) * 60), hours


def independent_place(record, hours):
    t, _ = mjd_of(hours)
    ra, dec = model.ra_dec_deg(model.model_seen(record, t)[1])
    return float(ra), float(dec)


def line_80(number_field, provisional_field, hours, ra, dec, station="500"):
    """An 80-column line; returns it with the place as written (degrees)."""
    day = NIGHT[2] + hours / 24
    date = "%04d %02d %09.6f" % (NIGHT[0], NIGHT[1], day)
    ra_s = round(ra / 15 * 3600, 3)
    h, rem = divmod(ra_s, 3600)
    m, s = divmod(rem, 60)
    sign = "-" if dec < 0 else "+"
    dec_s = round(abs(dec) * 3600, 2)
    d, rem2 = divmod(dec_s, 3600)
    am, asec = divmod(rem2, 60)
    text = "%-5s%-7s  C%s%02d %02d %06.3f%s%02d %02d %05.2f%9s18.0 V%6s%3s" % (
        number_field, provisional_field, date, h, m, s, sign, d, am, asec, "", "", station)
    assert len(text) == 80, text
    written_ra = (int(h) * 3600 + int(m) * 60 + float("%06.3f" % s)) / 240.0
    written_dec = (int(d) + (int(am) + float("%05.2f" % asec) / 60) / 60) * (-1 if sign == "-" else 1)
    return text, written_ra, written_dec


def night(data_dir):
    """The lines of the night and what each tracklet is: (key, number or None)."""
    records = [r for r in model.read_catalogue(os.path.join(data_dir, "astorb.dat"))
               if 0 <= r["e"] < mpf("0.3") and r["a"] > 1.5 and r["key"][0:6].strip()]
    rng = random.Random(20)
    chosen = rng.sample(records, OBJECTS)
    lines, truth, places = [], {}, {}
    for k, record in enumerate(chosen):
        key = "Tr%03d" % k
        truth[key] = int(record["key"][0:6])
        for j in range(4):
            hours = START_HOUR + j * 20 / 60
            ra, dec = independent_place(record, hours)
            noisy_dec = dec + rng.gauss(0, NOISE_ARCSEC) / 3600
            noisy_ra = ra + rng.gauss(0, NOISE_ARCSEC) / 3600 / model.mp.cos(dec * model.DEG)
            text, wra, wdec = line_80("", key, hours, float(noisy_ra), noisy_dec)
            lines.append(text)
            places[(key, j)] = (wra, wdec, ra, dec)
    # Decoys: on an asteroid's place at their first instant, moving 60"/h
    # faster in declination; and detections of nothing.
    for k in range(2):
        record = chosen[k]
        key = "Dc%03d" % k
        truth[key] = None
        ra0, dec0 = independent_place(record, START_HOUR)
        for j in range(4):
            hours = START_HOUR + j * 20 / 60
            ra, dec = independent_place(record, hours)
            lines.append(line_80("", key, hours, ra, dec + (60 * j * 20 / 60) / 3600)[0])
    for k in range(2):
        key = "No%03d" % k
        truth[key] = None
        for j in range(3):
            hours = START_HOUR + j * 20 / 60
            lines.append(line_80("", key, hours, 123.4 + 40 * k + j * 0.001, -33.3 + 11 * k)[0])
    return lines, truth, places


def psv_text(lines):
    """The 80-column lines as ADES PSV, each tracklet a trkSub, the places as written."""
    out = ["# version=2017", "trkSub |stn |obsTime                 |ra          |dec         |mode|astCat"]
    for text in lines:
        day = float(text[23:32])
        secs = (day - int(day)) * 86400
        h, m = int(secs // 3600), int(secs % 3600 // 60)
        ra = (int(text[32:34]) + int(text[35:37]) / 60 + float(text[38:44]) / 3600) * 15
        dec = (int(text[45:47]) + int(text[48:50]) / 60 + float(text[51:56]) / 3600) * (-1 if text[44] == "-" else 1)
        out.append("%-7s|%-4s|%04d-%02d-%02dT%02d:%02d:%06.3fZ|%12.7f|%12.7f|CCD |Gaia2" % (
            text[5:12].strip(), text[77:80], NIGHT[0], NIGHT[1], int(day), h, m, secs - h * 3600 - m * 60, ra, dec))
    return "\n".join(out) + "\n"


def xml_text(lines):
    """The 80-column lines as ADES XML, each tracklet a trkSub in one
    obsBlock, the places and instants exactly as the lines write them."""
    out = ['<?xml version="1.0" encoding="UTF-8"?>', '<ades version="2017">', "  <obsBlock>",
           "    <obsContext>", "      <observatory>", "        <mpcCode>500</mpcCode>", "      </observatory>",
           "    </obsContext>", "    <obsData>"]
    for text in lines:
        day = text[23:32]
        # The day's fraction to 1e-6 is a whole number of 0.0864 s.
        tenths_of_ms = int(day[3:]) * 864
        secs = tenths_of_ms / 10000
        h, m = tenths_of_ms // 36000000, tenths_of_ms % 36000000 // 600000
        ra = (int(text[32:34]) * 3600 + int(text[35:37]) * 60 + float(text[38:44])) / 240
        dec = (int(text[45:47]) + int(text[48:50]) / 60 + float(text[51:56]) / 3600) * (-1 if text[44] == "-" else 1)
        out += ["      <optical>",
                "        <trkSub>%s</trkSub>" % text[5:12].strip(),
                "        <mode>CCD</mode>",
                "        <stn>%s</stn>" % text[77:80],
                "        <obsTime>%04d-%02d-%02dT%02d:%02d:%07.4fZ</obsTime>" % (
                    NIGHT[0], NIGHT[1], int(day[0:2]), h, m, secs - h * 3600 - m * 60),
                "        <ra>%.9f</ra>" % ra,
                "        <dec>%.9f</dec>" % dec,
                "        <astCat>Gaia2</astCat>",
                "        <mag>%s</mag>" % text[65:70].strip(),
                "        <band>%s</band>" % text[70],
                "      </optical>"]
    out += ["    </obsData>", "  </obsBlock>", "</ades>"]
    return "\n".join(out) + "\n"


def unpacked_number(packed):
    """A packed number of five characters: digits, or a letter for the
    ten-thousands (A = 10 ... Z = 35, a = 36 ... z = 61) and four digits."""
    head = packed[0]
    if head.isdigit():
        return int(packed)
    value = ord(head) - (ord("A") - 10 if head.isupper() else ord("a") - 36)
    return value * 10000 + int(packed[1:])


def run(binary, args, expect=0):
    result = subprocess.run([binary] + args, capture_output=True, text=True, check=False)
    if result.returncode != expect:
        raise SystemExit("%s %s: status %d\n%s" % (binary, " ".join(args), result.returncode, result.stderr))
    return result


def identified(astfield, data_dir, path):
    result = run(astfield, ["--observations", path, "--catalogue", os.path.join(data_dir, "astorb.dat"),
                            "--observatory-codes", os.path.join(data_dir, "ObsCodes.html"), "--format", "csv",
                            "--threads", "2"])
    return list(csv.DictReader(io.StringIO(result.stdout))), result.stderr


def named_as_themselves(what, rows, truth, designation_and_key):
    """Failures of a file written with the names, read again: each tracklet
    named is named as the designation it now carries, the rest as before."""
    failures = []
    for row in rows:
        designation, key = designation_and_key(row)
        want = truth.get(key)
        if row["rank"] in ("0", "1") and designation != ("" if want is None else str(want)):
            failures.append("%s %s carries %r" % (what, key, designation))
        if row["rank"] == "1" and row["number"] != designation:
            failures.append("%s %s carries %s and is named %s" % (what, key, designation, row["number"]))
        if row["rank"] == "0" and designation:
            failures.append("%s %s carries %s and is not named" % (what, key, designation))
    return failures


def xml_checks(astfield, data_dir, lines, truth, work):
    """Failures of the bundled ADES XML night: it holds the places of the
    80-column sample; its rows equal the 80-column rows (the observation
    counted by element, one less than the line under the COD header, the
    numbers to their last digit); written with the names, only <permID>
    elements are added, and read again every tracklet named is named as the
    number it carries."""
    failures = []
    samples = {"astfield-night.obs": sample_text(lines), "astfield-night.xml": xml_text(lines)}
    for name, text in samples.items():
        with open(os.path.join(data_dir, name)) as f:
            if f.read() != text:
                failures.append("data/%s is not the sample of the independent places" % name)
    xml_path = os.path.join(data_dir, "astfield-night.xml")
    rows_80, _ = identified(astfield, data_dir, os.path.join(data_dir, "astfield-night.obs"))
    rows_xml, err = identified(astfield, data_dir, xml_path)
    if err:
        failures.append("XML night: messages %r" % err)
    if len(rows_xml) != len(rows_80) or not rows_80:
        failures.append("XML night: %d rows, 80-column %d" % (len(rows_xml), len(rows_80)))
    # The last digit printed of each number (degrees to 1e-7, arcseconds to 0.001).
    digits = {"observed_ra_deg": 1e-7, "observed_dec_deg": 1e-7, "predicted_ra_deg": 1e-7,
              "predicted_dec_deg": 1e-7, "offset_ra_arcsec": 1e-3, "offset_dec_arcsec": 1e-3,
              "offset_arcsec": 1e-3, "motion_residual_arcsec_per_hour": 1e-3}
    for a, b in zip(rows_80, rows_xml):
        if int(b["observation"]) != int(a["observation"]) - 1:
            failures.append("XML observation %s against line %s" % (b["observation"], a["observation"]))
        for column, value in a.items():
            if column == "observation":
                continue
            if column in digits and value and b[column]:
                if abs(float(value) - float(b[column])) > digits[column] * 1.001:
                    failures.append("XML %s of observation %s: %s, 80-column %s" % (
                        column, b["observation"], b[column], value))
            elif value != b[column]:
                failures.append("XML %s of observation %s: %r, 80-column %r" % (
                    column, b["observation"], b[column], value))
    print("XML rows: %d" % len(rows_xml))

    out = os.path.join(work, "named.xml")
    run(astfield, ["--observations", xml_path, "--catalogue", os.path.join(data_dir, "astorb.dat"),
                   "--write-identified", out, "--format", "csv"])
    with open(out) as f:
        named = f.read()
    # Every byte kept but the <permID> elements put in.
    added = re.findall(r"<permID>[^<]*</permID>", named)
    if re.sub(r"<permID>[^<]*</permID>", "", named) != samples["astfield-night.xml"] or "provID" in named:
        failures.append("the XML written changed more than its permID elements")
    if len(added) != 4 * sum(1 for number in truth.values() if number is not None):
        failures.append("XML written with %d permID elements" % len(added))
    opticals = ElementTree.fromstring(named).findall("./obsBlock/obsData/optical")
    again, _ = identified(astfield, data_dir, out)
    failures += named_as_themselves("XML", again, truth, lambda row: (
        opticals[int(row["observation"]) - 1].findtext("permID", ""),
        opticals[int(row["observation"]) - 1].findtext("trkSub")))
    if len(again) != len(rows_xml):
        failures.append("the XML written gives %d rows, the original %d" % (len(again), len(rows_xml)))
    return failures


def check(bin_dir, data_dir):
    astfield = os.path.join(bin_dir, "astfield")
    failures = []
    lines, truth, places = night(data_dir)
    with tempfile.TemporaryDirectory() as work:
        # A line that is no observation and one from an unknown station stand
        # among the others.
        damaged = lines[:5] + ["this is no observation"] + lines[5:] + [line_80("", "Zz000", 6.0, 10, 10, "ZZZ")[0]]
        path = os.path.join(work, "night.obs")
        with open(path, "w") as f:
            f.write("\n".join(damaged) + "\n")
        rows, err = identified(astfield, data_dir, path)
        if ":6:" not in err or (":%d:" % len(damaged)) not in err:
            failures.append("the damaged line and the unknown station are not reported by line: " + err)
        by_key = {}
        observation_lines = [i + 1 for i, text in enumerate(damaged) if text.startswith("     ")]
        for row in rows:
            line = int(row["observation"])
            key = damaged[line - 1][5:12].strip()
            by_key.setdefault(key, []).append(row)
        for key, number in truth.items():
            got = [r for r in by_key.get(key, []) if r["rank"] in ("0", "1")]
            if number is None:
                if any(r["rank"] != "0" for r in by_key.get(key, [])):
                    failures.append("%s should not be identified: %s" % (key, by_key[key][0]["number"]))
                continue
            best = [r for r in got if r["rank"] == "1"]
            if len(best) != 4 or any(r["number"] != str(number) for r in best):
                failures.append("%s should be %d: %s" % (key, number, [r["number"] for r in got]))
                continue
            for j, r in enumerate(sorted(best, key=lambda r: int(r["observation"]))):
                wra, wdec, ra, dec = places[(key, j)]
                d_ra = model.wrap180(wra - ra) * 3600 * float(model.mp.cos(wdec * model.DEG))
                d_dec = (wdec - dec) * 3600
                if abs(float(r["offset_ra_arcsec"]) - d_ra) > 0.01 or abs(float(r["offset_dec_arcsec"]) - d_dec) > 0.01:
                    failures.append("%s obs %d: offsets %s %s, independent %.4f %.4f" % (
                        key, j, r["offset_ra_arcsec"], r["offset_dec_arcsec"], d_ra, d_dec))
                if abs(float(r["predicted_dec_deg"]) - dec) * 3600 > 0.01:
                    failures.append("%s obs %d: predicted Dec %s, independent %.8f" % (key, j, r["predicted_dec_deg"], dec))
        print("tracklets checked: %d, rows %d, observation lines %d" % (len(truth), len(rows), len(observation_lines)))

        # The text report: no line ends in blanks, the rows of the tracklets
        # without candidates among them.
        text = run(astfield, ["--observations", path, "--catalogue", os.path.join(data_dir, "astorb.dat"),
                              "--observatory-codes", os.path.join(data_dir, "ObsCodes.html")]).stdout
        if "0 candidates" not in text:
            failures.append("the text report shows no tracklet without candidates")
        for number, text_line in enumerate(text.split("\n"), 1):
            if text_line.endswith(" "):
                failures.append("text report line %d ends in blanks: %r" % (number, text_line))

        # Written again with the names, and read back.
        out = os.path.join(work, "named.obs")
        run(astfield, ["--observations", path, "--catalogue", os.path.join(data_dir, "astorb.dat"),
                       "--write-identified", out, "--format", "csv"])
        with open(out) as f:
            named = f.read().split("\n")
        for before, after in zip(damaged, named):
            key = before[5:12].strip()
            if before[5:] != after[5:] or (truth.get(key) is None and before != after):
                failures.append("a byte beyond the designation changed: %r -> %r" % (before, after))
            elif truth.get(key) is not None and unpacked_number(after[0:5]) != truth[key]:
                failures.append("%s was not written as %d: %r" % (key, truth[key], after))
        again, _ = identified(astfield, data_dir, out)
        for row in again:
            line = named[int(row["observation"]) - 1]
            if line[0:5].strip() and row["rank"] == "1" and unpacked_number(line[0:5]) != int(row["number"]):
                failures.append("named line %s identified as %s" % (row["observation"], row["number"]))

        # The same night as ADES PSV, named by trkSub, written back with permID.
        psv = os.path.join(work, "night.psv")
        with open(psv, "w") as f:
            f.write(psv_text(lines))
        psv_rows, _ = identified(astfield, data_dir, psv)
        with open(psv) as f:
            psv_lines = f.read().split("\n")
        for row in psv_rows:
            key = psv_lines[int(row["observation"]) - 1].split("|")[0].strip()
            want = truth.get(key)
            if row["rank"] == "1" and (want is None or int(row["number"]) != want):
                failures.append("PSV %s named %s" % (key, row["number"]))
            if row["rank"] == "0" and want is not None:
                failures.append("PSV %s not named" % key)
        print("PSV rows: %d" % len(psv_rows))
        psv_out = os.path.join(work, "named.psv")
        run(astfield, ["--observations", psv, "--catalogue", os.path.join(data_dir, "astorb.dat"),
                       "--write-identified", psv_out, "--format", "csv"])
        with open(psv_out) as f:
            named_psv = f.read().split("\n")
        if not named_psv[1].startswith("permID|"):
            failures.append("PSV written without a permID column: %r" % named_psv[1])
        for before, after in zip(psv_lines[2:], named_psv[2:]):
            if not before:
                continue
            cell, rest = after.split("|", 1)
            want = truth.get(before.split("|")[0].strip())
            if rest != before or (cell.strip() != ("" if want is None else str(want))):
                failures.append("PSV line written as %r from %r" % (after, before))

        again_psv, _ = identified(astfield, data_dir, psv_out)
        failures += named_as_themselves("PSV", again_psv, truth, lambda row: (
            named_psv[int(row["observation"]) - 1].split("|")[0].strip(),
            named_psv[int(row["observation"]) - 1].split("|")[1].strip()))

        failures += xml_checks(astfield, data_dir, lines, truth, work)

        # No known format.
        bad = os.path.join(work, "bad.txt")
        with open(bad, "w") as f:
            f.write("hello\nworld\n")
        result = run(astfield, ["--observations", bad, "--catalogue", os.path.join(data_dir, "astorb.dat")], 2)
        if result.stdout or len(result.stderr.strip().split("\n")) != 1:
            failures.append("a file of no format: %r %r" % (result.stdout, result.stderr))
    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


def sample_text(lines):
    """The bundled 80-column sample: the lines under a header naming station 500."""
    return "COD 500\n" + "\n".join(lines) + "\n"


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "--write-sample":
        lines, _, _ = night(sys.argv[3])
        with open(sys.argv[2], "w") as f:
            f.write(sample_text(lines))
        return 0
    if len(sys.argv) == 4 and sys.argv[1] == "--write-xml-sample":
        lines, _, _ = night(sys.argv[3])
        with open(sys.argv[2], "w") as f:
            f.write(xml_text(lines))
        return 0
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    return check(sys.argv[1], sys.argv[2])


if __name__ == "__main__":
    sys.exit(main())
