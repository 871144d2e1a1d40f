"""A night's observations identified from a catalogue held in memory: the
Table equals astfield --observations' CSV row for row, its counts and
messages equal the program's, and what the program refuses is refused."""

import json
import os

import pytest

import fieldsearch
from conftest import ASTFIELD, SATFIELD, csv_cells, csv_text_of_table, data, program_csv, program_run
from test_refusals import program_message

NIGHT = data("astfield-night.obs")

# Keyword arguments and the program's options for them.
IDENTIFICATIONS = [
    ({}, []),
    (dict(max_candidates=2), ["--max-candidates", "2"]),
    (dict(radius_arcsec=0.5, motion_tolerance=0.3), ["--radius", "0.5", "--motion-tolerance", "0.3"]),
    (dict(radius_arcsec=600, motion_tolerance=100.0, max_candidates=3),
     ["--radius", "600", "--motion-tolerance", "100.0", "--max-candidates", "3"]),
    (dict(observatory_codes=data("ObsCodes.html"), threads=1),
     ["--observatory-codes", data("ObsCodes.html"), "--threads", "1"]),
    (dict(propagation="n-body"), ["--propagation", "n-body"]),
]


@pytest.fixture(scope="module")
def asteroids():
    return fieldsearch.AsteroidCatalogue(data("astorb.dat"))


@pytest.mark.parametrize("keywords,options", IDENTIFICATIONS)
def test_identification_equals_the_programs_csv(asteroids, keywords, options, scratch):
    arguments = ["--catalogue", data("astorb.dat"), "--observations", NIGHT, *options]
    expected = program_csv(ASTFIELD, arguments, scratch)
    cells = csv_cells(expected)
    assert all(len(row) == len(cells[0]) for row in cells), "every CSV line has its header's columns"

    table = asteroids.identify(NIGHT, **keywords)
    assert csv_text_of_table(table) == expected
    assert table["rank"].dtype.kind == "i" and table["observation"].dtype.kind == "i"
    assert str(table["offset_arcsec"].unit) == "arcsec"
    assert str(table["motion_residual_arcsec_per_hour"].unit) == "arcsec / h"

    out, _, status = program_run(ASTFIELD, [*arguments, "--format", "json"], scratch)
    assert status == 0
    report = json.loads(out)
    for key in ("tracklets_read", "identified", "unidentified"):
        assert table.meta[key] == report[key], key


def test_observations_left_out_are_reported_as_the_program_reports_them(asteroids, scratch):
    # One station unknown, one line that is no observation: both left out,
    # the rest identified.
    with open(NIGHT, encoding="ascii") as f:
        lines = f.read().splitlines(keepends=True)
    lines[1] = lines[1][:77] + "ZZZ" + lines[1][80:]
    lines.insert(3, "this line is no observation\n")
    night = os.path.join(scratch, "night.obs")
    with open(night, "w", encoding="ascii") as f:
        f.writelines(lines)

    arguments = ["--catalogue", data("astorb.dat"), "--observations", night, "--format", "csv"]
    out, err, status = program_run(ASTFIELD, arguments, scratch)
    assert status == 0
    table = asteroids.identify(night)
    assert csv_text_of_table(table) == out
    assert table.meta["messages"] == err
    assert "ZZZ" in table.meta["messages"] and table.meta["messages"].count("\n") == 2


def test_orbits_not_integrated_are_reported_by_their_place_among_the_records(scratch):
    # The third record's epoch moved to 1899, outside the integrator's span:
    # reported, the other records still identified as the program does.
    with open(data("astorb.dat"), encoding="ascii") as f:
        lines = f.read().splitlines(keepends=True)
    lines[2] = lines[2][:106] + "18991231" + lines[2][114:]
    catalogue = os.path.join(scratch, "old.dat")
    with open(catalogue, "w", encoding="ascii") as f:
        f.writelines(lines)
    arguments = ["--catalogue", catalogue, "--observations", NIGHT, "--propagation", "n-body", "--format", "csv"]
    out, err, status = program_run(ASTFIELD, arguments, scratch)
    assert status == 0
    assert err == "astfield: %s:3: orbit not integrated (epoch outside 1900-2099), not evaluated\n" % catalogue
    table = fieldsearch.AsteroidCatalogue(catalogue).identify(NIGHT, propagation="n-body")
    assert csv_text_of_table(table) == out
    assert table.meta["identified"] == 8
    assert table.meta["messages"] == "astfield: record 3: orbit not integrated (epoch outside 1900-2099), not evaluated\n"


def test_a_night_of_nothing_gives_rank_zero_rows(asteroids, scratch):
    with open(NIGHT, encoding="ascii") as f:
        lines = f.read().splitlines(keepends=True)
    night = os.path.join(scratch, "nothing.obs")
    # Every observation a degree south of where it was made.
    observations = [k for k, line in enumerate(lines) if len(line.rstrip("\n")) == 80]
    for k in observations:
        line = lines[k]
        lines[k] = line[:45] + "%02d" % (int(line[45:47]) - 1) + line[47:]
    with open(night, "w", encoding="ascii") as f:
        f.writelines(lines)
    table = asteroids.identify(night)
    assert len(table) == len(observations) > 40
    assert set(table["rank"]) == {0}
    assert table["number"].mask.all() and table["offset_arcsec"].mask.all()
    assert table.meta["identified"] == 0
    assert csv_text_of_table(table) == program_csv(
        ASTFIELD, ["--catalogue", data("astorb.dat"), "--observations", night], scratch)


def test_unreadable_observations_and_bad_values_are_refused(asteroids, scratch):
    unknown = os.path.join(scratch, "unknown.obs")
    with open(unknown, "w", encoding="ascii") as f:
        f.write("neither the 80-column format nor ADES\n")
    refusals = [
        (dict(observations_path="/nonexistent/night.obs"), ["--observations", "/nonexistent/night.obs"], OSError),
        (dict(observations_path=unknown), ["--observations", unknown], OSError),
        (dict(observations_path=NIGHT, observatory_codes="/nonexistent/codes.html"),
         ["--observations", NIGHT, "--observatory-codes", "/nonexistent/codes.html"], OSError),
        (dict(observations_path=NIGHT, radius_arcsec=-1), ["--observations", NIGHT, "--radius", "-1"], ValueError),
        (dict(observations_path=NIGHT, motion_tolerance=float("nan")),
         ["--observations", NIGHT, "--motion-tolerance", "nan"], ValueError),
        (dict(observations_path=NIGHT, max_candidates=0), ["--observations", NIGHT, "--max-candidates", "0"],
         ValueError),
    ]
    for keywords, options, error in refusals:
        with pytest.raises(error) as raised:
            asteroids.identify(**keywords)
        expected = program_message(ASTFIELD, ["--catalogue", data("astorb.dat"), *options], scratch)
        assert str(raised.value) == expected, options
    with pytest.raises(ValueError, match="whole number"):
        asteroids.identify(NIGHT, max_candidates=2.5)


SATELLITE_NIGHTS = [data("satfield-night.obs"), data("satfield-night.xml")]

# Keyword arguments and satfield's options for them.
SATELLITE_IDENTIFICATIONS = [
    ({}, []),
    (dict(theory="sgp4", max_candidates=1), ["--theory", "sgp4", "--max-candidates", "1"]),
    (dict(theory="both", radius_arcsec=2000, motion_tolerance=30.0, threads=1),
     ["--theory", "both", "--radius", "2000", "--motion-tolerance", "30.0", "--threads", "1"]),
    (dict(radius_arcsec=1.0, observatory_codes=data("ObsCodes.html")),
     ["--radius", "1.0", "--observatory-codes", data("ObsCodes.html")]),
]


@pytest.fixture(scope="module")
def satellites():
    return fieldsearch.SatelliteCatalogue(data("080520ls.tle"))


@pytest.mark.parametrize("night", SATELLITE_NIGHTS)
@pytest.mark.parametrize("keywords,options", SATELLITE_IDENTIFICATIONS)
def test_satellite_identification_equals_the_programs_csv(satellites, night, keywords, options, scratch):
    arguments = ["--catalogue", data("080520ls.tle"), "--observations", night, *options]
    expected = program_csv(SATFIELD, arguments, scratch)
    table = satellites.identify(night, **keywords)
    assert csv_text_of_table(table) == expected
    assert table["rank"].dtype.kind == "i"
    assert table["norad_number"].mask.all() or table["norad_number"].dtype.kind == "i"
    assert str(table["motion_residual_arcsec_per_s"].unit) == "arcsec / s"
    assert (table.meta["identified"] > 0) == (not table["norad_number"].mask.all())

    out, _, status = program_run(SATFIELD, [*arguments, "--format", "json"], scratch)
    assert status == 0
    report = json.loads(out)
    for key in ("tracklets_read", "identified", "unidentified"):
        assert table.meta[key] == report[key], key


def test_satellite_observations_left_out_and_bad_values(satellites, scratch):
    night = SATELLITE_NIGHTS[0]
    with open(night, encoding="ascii") as f:
        lines = f.read().splitlines(keepends=True)
    lines[2] = lines[2][:77] + "ZZZ\n"
    lines.insert(5, "this line is no observation\n")
    damaged = os.path.join(scratch, "night.obs")
    with open(damaged, "w", encoding="ascii") as f:
        f.writelines(lines)
    out, err, status = program_run(
        SATFIELD, ["--catalogue", data("080520ls.tle"), "--observations", damaged, "--format", "csv"], scratch)
    assert status == 0
    table = satellites.identify(damaged)
    assert csv_text_of_table(table) == out
    assert table.meta["messages"] == err and err.count("\n") == 2

    for keywords, options, error in [
        (dict(radius_arcsec=20000), ["--radius", "20000"], ValueError),
        (dict(theory="kepler"), ["--theory", "kepler"], ValueError),
        (dict(observatory_codes="/nonexistent/codes.html"), ["--observatory-codes", "/nonexistent/codes.html"],
         OSError),
    ]:
        with pytest.raises(error) as raised:
            satellites.identify(night, **keywords)
        expected = program_message(
            SATFIELD, ["--catalogue", data("080520ls.tle"), "--observations", night, *options], scratch)
        assert str(raised.value) == expected, options
