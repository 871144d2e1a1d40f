"""The Tables of the module against the programs' CSV for the same question,
on the sample catalogues: every option family, both kinds of catalogue."""

import gzip
import shutil

import numpy as np
import pandas
import pytest
from astropy import units as u
from astropy.table import Table

import fieldsearch
from conftest import ASTFIELD, SATFIELD, csv_cells, csv_text_of_table, data, program_csv

SITE = (43.7417, 42.6630, 2094.0)
SITE_OPTION = "43.7417,42.6630,2094"

# Each case: the keyword arguments of search() and the program's options for
# the same question.
ASTEROID_SEARCHES = [
    ("compiled-in square", dict(time="2008-05-20T05:14:00"), ["--time", "2008-05-20T05:14:00"]),
    ("square from a site", dict(time="2008-05-20T05:14:00", centre=(0.1, 0.4), side_arcmin=90, site=SITE),
     ["--time", "2008-05-20T05:14:00", "--centre", "0.1", "0.4", "--side", "90", "--site", SITE_OPTION]),
    ("across 0h, faint limit", dict(time="2008-05-20T05:14:00", centre=(359.8, 0.2), side_arcmin=120, mag_limit=18.5),
     ["--time", "2008-05-20T05:14:00", "--centre", "359.8", "0.2", "--side", "120", "--mag-limit", "18.5"]),
    ("geocentric observer", dict(time="2008-05-20T06:00:00", observer_km=(0.0, 0.0, 0.0), side_arcmin=150),
     ["--time", "2008-05-20T06:00:00", "--observer", "0,0,0", "--side", "150"]),
    ("exposure", dict(time="2008-05-20T05:14:00", centre=(0.0416666666666667, 0.5), side_arcmin=120, exposure_s=1800),
     ["--time", "2008-05-20T05:14:00", "--centre", "0.0416666666666667", "0.5", "--side", "120", "--exposure", "1800"]),
    ("n-body", dict(time="2008-05-20T05:14:00", side_arcmin=150, propagation="n-body"),
     ["--time", "2008-05-20T05:14:00", "--side", "150", "--propagation", "n-body"]),
    ("image", dict(image=data("astfield-frame.fits")), ["--image", data("astfield-frame.fits")]),
    ("image at another time", dict(image=data("astfield-frame.fits"), time="2008-05-20T05:30:00", exposure_s=0),
     ["--image", data("astfield-frame.fits"), "--time", "2008-05-20T05:30:00", "--exposure", "0"]),
]


@pytest.mark.parametrize("name,keywords,options", ASTEROID_SEARCHES, ids=[c[0] for c in ASTEROID_SEARCHES])
@pytest.mark.parametrize("use_index", [True, False])
def test_asteroid_search_is_the_csv(name, keywords, options, use_index, scratch):
    catalogue = fieldsearch.AsteroidCatalogue(data("astorb.dat"))
    table = catalogue.search(**keywords, use_index=use_index)
    expected = program_csv(ASTFIELD, ["--catalogue", data("astorb.dat"), *options], scratch)
    assert len(csv_cells(expected)) > 1, "the case should find objects"
    assert csv_text_of_table(table) == expected


SATELLITE_SEARCHES = [
    ("compiled-in square", dict(time="2008-05-20T20:54:00"), ["--time", "2008-05-20T20:54:00"]),
    ("wide square from a site", dict(time="2008-05-20T21:10:00", centre=(172.0, 1.2667), side_arcmin=900, site=SITE),
     ["--time", "2008-05-20T21:10:00", "--centre", "172.0", "1.2667", "--side", "900", "--site", SITE_OPTION]),
    ("sgp4", dict(time="2008-05-20T20:54:00", side_arcmin=900, theory="sgp4"),
     ["--time", "2008-05-20T20:54:00", "--side", "900", "--theory", "sgp4"]),
    ("both theories", dict(time="2008-05-20T20:54:00", side_arcmin=900, theory="both"),
     ["--time", "2008-05-20T20:54:00", "--side", "900", "--theory", "both"]),
    ("exposure", dict(time="2008-05-20T20:54:00", side_arcmin=600, exposure_s=120),
     ["--time", "2008-05-20T20:54:00", "--side", "600", "--exposure", "120"]),
    ("image", dict(image=data("satfield-frame.fits")), ["--image", data("satfield-frame.fits")]),
]


@pytest.mark.parametrize("name,keywords,options", SATELLITE_SEARCHES, ids=[c[0] for c in SATELLITE_SEARCHES])
@pytest.mark.parametrize("catalogue_file", ["080520ls.tle", "080520ls_omm.json", "080520ls_omm.xml"])
def test_satellite_search_is_the_csv(name, keywords, options, catalogue_file, scratch):
    catalogue = fieldsearch.SatelliteCatalogue(data(catalogue_file))
    table = catalogue.search(**keywords)
    expected = program_csv(SATFIELD, ["--catalogue", data(catalogue_file), *options], scratch)
    if catalogue_file.endswith(".tle"):
        assert len(csv_cells(expected)) > 1, "the case should find objects"
    assert csv_text_of_table(table) == expected


NIGHT = [
    {"id": "a", "time": "2008-05-20T05:14:00", "ra_deg": 0.0416666666666667, "dec_deg": 0.5, "side_arcmin": 120},
    {"id": "across 0h", "time": "2008-05-20T05:14:00", "ra_deg": 359.8, "dec_deg": 0.2, "side_arcmin": 90},
    {"id": "later, east", "time": "2008-05-20T07:44:30", "ra_deg": 0.3, "dec_deg": 0.9, "side_arcmin": 60,
     "exposure_s": 600},
    {"id": 'pole "N"', "time": "2008-05-20T05:14:00", "ra_deg": 10.0, "dec_deg": 89.9, "side_arcmin": 300},
    {"id": "empty", "time": "2008-05-21T01:00:00", "ra_deg": 180.0, "dec_deg": -30.0, "side_arcmin": 30},
    {"id": "frame", "image": data("astfield-frame.fits")},
]


def night_file(path, fields):
    columns = ["id", "time", "ra_deg", "dec_deg", "side_arcmin", "exposure_s", "image"]
    with open(path, "w") as out:
        out.write(",".join(columns) + "\n")
        for field in fields:
            cells = []
            for c in columns:
                text = str(field.get(c, ""))
                cells.append('"' + text.replace('"', '""') + '"' if any(x in text for x in ',"') else text)
            out.write(",".join(cells) + "\n")
    return path


# The same night given as a list of dicts, a DataFrame (NaN where a value is
# missing) and a Table (masked there).
NIGHT_FORMS = {
    "list": lambda fields: fields,
    "DataFrame": lambda fields: pandas.DataFrame(fields),
    "Table": lambda fields: Table.from_pandas(pandas.DataFrame(fields)),
}


@pytest.mark.parametrize("form", NIGHT_FORMS)
@pytest.mark.parametrize("use_index", [True, False])
def test_asteroid_night_is_the_csv(form, use_index, scratch):
    catalogue = fieldsearch.AsteroidCatalogue(data("astorb.dat"))
    table = catalogue.search_fields(NIGHT_FORMS[form](NIGHT), site=SITE, use_index=use_index)
    path = night_file(f"{scratch}/night.csv", NIGHT)
    expected = program_csv(ASTFIELD, ["--catalogue", data("astorb.dat"), "--fields", path, "--site", SITE_OPTION],
                           scratch)
    assert table.colnames[0] == "field"
    assert csv_text_of_table(table) == expected


def test_one_field_list_leads_with_the_field(scratch):
    catalogue = fieldsearch.AsteroidCatalogue(data("astorb.dat"))
    table = catalogue.search_fields(NIGHT[:1])
    expected = program_csv(ASTFIELD, ["--catalogue", data("astorb.dat"), "--fields",
                                      night_file(f"{scratch}/one.csv", NIGHT[:1])], scratch)
    assert table.colnames[0] == "field" and len(table) > 0
    assert csv_text_of_table(table) == expected


SATELLITE_NIGHT = [
    {"id": "f1", "time": "2008-05-20T20:54:00", "ra_deg": 172.0, "dec_deg": 1.2666666666666666, "side_arcmin": 300},
    {"id": "f3", "time": "2008-05-20T20:55:00", "ra_deg": 171.5, "dec_deg": 1.0, "side_arcmin": 600,
     "exposure_s": 60},
    {"id": "0h", "time": "2008-05-20T20:55:00", "ra_deg": 359.9, "dec_deg": 0.0, "side_arcmin": 3000},
    {"id": "frame", "image": data("satfield-frame.fits")},
]


@pytest.mark.parametrize("theory", ["vinti", "both"])
def test_satellite_night_is_the_csv(theory, scratch):
    catalogue = fieldsearch.SatelliteCatalogue(data("080520ls.tle"))
    table = catalogue.search_fields(pandas.DataFrame(SATELLITE_NIGHT), theory=theory)
    path = night_file(f"{scratch}/night.csv", SATELLITE_NIGHT)
    expected = program_csv(SATFIELD, ["--catalogue", data("080520ls.tle"), "--fields", path, "--theory", theory],
                           scratch)
    assert csv_text_of_table(table) == expected


# Layouts: MPCORB, the comets, a forced layout, a gzip-compressed catalogue.
LAYOUTS = [
    ("MPCORB-sample.DAT", None, ["--time", "2008-05-20T05:14:00", "--side", "3000"]),
    ("comets-sample.txt", "comets", ["--time", "2008-05-20T05:14:00", "--centre", "0", "0", "--side", "10000"]),
    ("astorb.dat.gz", None, ["--time", "2008-05-20T05:14:00", "--side", "120"]),
]


@pytest.mark.parametrize("name,layout,options", LAYOUTS, ids=[c[0] for c in LAYOUTS])
def test_layouts_are_the_csv(name, layout, options, scratch):
    path = data(name)
    if name.endswith(".gz"):
        path = f"{scratch}/{name}"
        with open(data("astorb.dat"), "rb") as plain, gzip.open(path, "wb") as packed:
            shutil.copyfileobj(plain, packed)
    catalogue = fieldsearch.AsteroidCatalogue(path, format=layout)
    table = catalogue.search(options[1], side_arcmin=float(options[-1]),
                             centre=(0.0, 0.0) if "--centre" in options else None)
    program_options = ["--catalogue", path, *options]
    if layout:
        program_options += ["--catalogue-format", layout]
    assert csv_text_of_table(table) == program_csv(ASTFIELD, program_options, scratch)


def test_compressed_element_sets_are_the_csv(scratch):
    path = f"{scratch}/080520ls.tle.gz"
    with open(data("080520ls.tle"), "rb") as plain, gzip.open(path, "wb") as packed:
        shutil.copyfileobj(plain, packed)
    table = fieldsearch.SatelliteCatalogue(path).search("2008-05-20T20:54:00")
    assert len(table) > 0
    assert csv_text_of_table(table) == program_csv(SATFIELD, ["--catalogue", path, "--time", "2008-05-20T20:54:00"],
                                                   scratch)


def test_values_read_as_the_csv_reads_them(scratch):
    """The values are the CSV's: as pandas reads the program's CSV, integers as
    integers and empty cells missing."""
    table = fieldsearch.AsteroidCatalogue(data("astorb.dat")).search("2008-05-20T05:14:00", exposure_s=600)
    out = program_csv(ASTFIELD, ["--catalogue", data("astorb.dat"), "--time", "2008-05-20T05:14:00",
                                 "--exposure", "600"], scratch)
    with open(f"{scratch}/rows.csv", "w") as f:
        f.write(out)
    frame = pandas.read_csv(f"{scratch}/rows.csv", keep_default_na=False, na_values=[""],
                            float_precision="round_trip")
    assert list(frame.columns) == table.colnames
    for name in table.colnames:
        column = table[name]
        expected = frame[name]
        if expected.dtype.kind in "iu":
            assert column.dtype.kind == "i", name
        for value, want in zip(column, expected):
            if pandas.isna(want):
                assert value is np.ma.masked, name
            else:
                assert value == want, name


UNITS = [
    ("ra_deg", u.deg), ("dec_start_deg", u.deg), ("uncertainty_arcsec", u.arcsec),
    ("motion_ra_arcsec_per_hour", u.arcsec / u.hour), ("motion_dec_arcsec_per_s", u.arcsec / u.s),
    ("elements_age_days", u.day), ("t_in_s", u.s), ("range_km", u.km), ("distance_au", u.au),
    ("ra_s", None), ("dec_arcsec", None), ("dec_deg_part", None), ("v_mag", None), ("x", None), ("name", None),
]


@pytest.mark.parametrize("name,unit", UNITS)
def test_units_follow_the_column_names(name, unit):
    assert fieldsearch.column_unit(name) == unit


def test_tables_carry_their_units():
    table = fieldsearch.SatelliteCatalogue(data("080520ls.tle")).search("2008-05-20T20:54:00", exposure_s=60)
    assert table["ra_deg"].unit == u.deg
    assert table["motion_ra_arcsec_per_s"].unit == u.arcsec / u.s
    assert table["elements_age_days"].unit == u.day
    assert table["t_out_s"].unit == u.s
    assert table["ra_s"].unit is None
