"""A night of 200 fields on a local cluster of two worker processes gives the
single process's Table, each worker reading the catalogue once."""

import random

import pytest

distributed = pytest.importorskip("distributed")

import fieldsearch
import fieldsearch.dask
from conftest import csv_text_of_table, data


def night(seed, count, start_hour, ra_range, site_instants=8):
    rng = random.Random(seed)
    fields = []
    for k in range(count):
        minute = rng.randrange(site_instants) * 37
        hour = start_hour + minute // 60
        fields.append({
            "id": f"f{k:03d}" if k % 50 else f"f{k:03d}, again",
            "time": f"2008-05-20T{hour:02d}:{minute % 60:02d}:00",
            "ra_deg": rng.uniform(*ra_range),
            "dec_deg": rng.uniform(-5.0, 5.0),
            "side_arcmin": rng.uniform(60.0, 240.0),
            "exposure_s": rng.choice([None, None, 120.0]),
        })
    return fields


@pytest.fixture(scope="module")
def client():
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None,
                                  silence_logs=40) as cluster, distributed.Client(cluster) as client:
        yield client


CASES = [
    ("asteroids", "astorb.dat", night(1, 200, 3, (355.0, 365.0)), {}),
    ("satellites", "080520ls.tle", night(2, 200, 19, (160.0, 185.0)), {"theory": "both"}),
]


@pytest.mark.parametrize("kind,name,fields,options", CASES, ids=[c[0] for c in CASES])
def test_cluster_night_is_the_single_process_table(kind, name, fields, options, client):
    for field in fields:
        field["ra_deg"] %= 360.0
    path = data(name)
    single = (fieldsearch.AsteroidCatalogue(path) if kind == "asteroids"
              else fieldsearch.SatelliteCatalogue(path)).search_fields(fields, **options)
    assert len(single) > 20
    for _ in range(2):
        spread = fieldsearch.dask.search_fields(path, fields, client, **options)
        assert spread.colnames == single.colnames
        assert [spread[c].dtype for c in spread.colnames] == [single[c].dtype for c in single.colnames]
        assert csv_text_of_table(spread) == csv_text_of_table(single)
        loads = spread.meta["catalogue_loads"]
        assert len(loads) == 2 and set(loads.values()) == {1}


def test_kind_is_told_from_the_content(client):
    fields = night(3, 10, 5, (359.0, 361.0))
    for field in fields:
        field["ra_deg"] %= 360.0
    spread = fieldsearch.dask.search_fields(data("astorb.dat"), fields, client, kind=None)
    assert csv_text_of_table(spread) == csv_text_of_table(
        fieldsearch.AsteroidCatalogue(data("astorb.dat")).search_fields(fields))
    with pytest.raises(ValueError, match="dec_deg"):
        fieldsearch.dask.search_fields(data("astorb.dat"), [dict(fields[0], dec_deg=91)], client)
