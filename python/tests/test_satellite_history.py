"""Catalogues holding a history of element sets per satellite: the module's
Tables and the program's output on the history are those on each
satellite's set nearest the field's instant alone, three-line sets and OMM
CSV alike."""

import csv
import datetime
import io
import math

import pytest

import fieldsearch
from conftest import SATFIELD, csv_cells, csv_text_of_table, data, program_csv, program_run

# The sample's epochs lie within 4 days before 2008 May 20, 20:54 UTC: at
# that instant shifted by one of these offsets, the sets shifted as much
# are their satellites' nearest by 8 days or more.
OFFSETS_DAYS = (-40, 12, 35)
INSTANTS = {0: "2008-05-20T20:54:00", 12: "2008-06-01T20:54:00", 35: "2008-06-24T20:54:00",
            -40: "2008-04-10T20:54:00"}


def carried_anomaly(anomaly_deg, mean_motion, days):
    """The mean anomaly `days` on along an orbit of `mean_motion` rev/day."""
    return (anomaly_deg + 360.0 * math.fmod(mean_motion * days, 1.0) + 720.0) % 360.0


def checksum(line):
    return str(sum(int(c) if c.isdigit() else c == "-" for c in line[:68]) % 10)


def shifted_three_line_set(name, line1, line2, days):
    """The set `days` later along its orbit: epoch and mean anomaly moved."""
    line1 = line1[:20] + f"{float(line1[20:32]) + days:012.8f}" + line1[32:]
    anomaly = carried_anomaly(float(line2[43:51]), float(line2[52:63]), days)
    line2 = line2[:43] + f"{anomaly:8.4f}" + line2[51:]
    return name, line1[:68] + checksum(line1), line2[:68] + checksum(line2)


def three_line_history():
    """(set, satellite, offset) of a history of the sample: the sets 40 days
    before first, each set followed by the one 12 days on, those 35 days on
    last; every fifth satellite keeps its one set."""
    with open(data("080520ls.tle")) as f:
        lines = f.read().splitlines()
    sample = [tuple(lines[i:i + 3]) for i in range(0, len(lines) - 2, 3)]
    with_history = [i % 5 != 2 for i in range(len(sample))]
    history = [(shifted_three_line_set(*s, -40), i, -40) for i, s in enumerate(sample) if with_history[i]]
    for i, s in enumerate(sample):
        history.append((s, i, 0))
        if with_history[i]:
            history.append((shifted_three_line_set(*s, 12), i, 12))
    history += [(shifted_three_line_set(*s, 35), i, 35) for i, s in enumerate(sample) if with_history[i]]
    return history, with_history


def nearest_sets(history, with_history, offset):
    return [h for h in history if h[2] == (offset if with_history[h[1]] else 0)]


def write_three_line(path, history):
    with open(path, "w") as out:
        for (name, line1, line2), _, _ in history:
            out.write(f"{name}\n{line1}\n{line2}\n")
    return path


SEARCHES = [
    ("sample field", 0, dict(), []),
    ("wide field 12 days on", 12, dict(side_arcmin=3000), ["--side", "3000"]),
    ("exposure 35 days on", 35, dict(side_arcmin=3000, centre=(200.0, -10.0), exposure_s=120),
     ["--side", "3000", "--centre", "200.0", "-10.0", "--exposure", "120"]),
    ("wide field 40 days before", -40, dict(side_arcmin=3000, centre=(150.0, 20.0)),
     ["--side", "3000", "--centre", "150.0", "20.0"]),
]


@pytest.mark.parametrize("name,offset,keywords,options", SEARCHES, ids=[c[0] for c in SEARCHES])
def test_three_line_history_is_its_nearest_sets(name, offset, keywords, options, scratch):
    history, with_history = three_line_history()
    history_path = write_three_line(f"{scratch}/history.tle", history)
    nearest_path = write_three_line(f"{scratch}/nearest.tle", nearest_sets(history, with_history, offset))
    catalogue = fieldsearch.SatelliteCatalogue(history_path)
    assert len(catalogue) == len(history)
    assert catalogue.superseded == len(history) - len(with_history)
    table = catalogue.search(INSTANTS[offset], **keywords)
    expected = program_csv(SATFIELD, ["--catalogue", nearest_path, "--time", INSTANTS[offset], *options], scratch)
    assert len(csv_cells(expected)) > 1, "the case should find satellites"
    assert csv_text_of_table(table) == expected
    assert csv_text_of_table(fieldsearch.SatelliteCatalogue(nearest_path).search(INSTANTS[offset], **keywords)) \
        == expected


def test_three_line_history_night_is_each_fields_nearest_sets(scratch):
    history, with_history = three_line_history()
    catalogue = fieldsearch.SatelliteCatalogue(write_three_line(f"{scratch}/history.tle", history))
    night = [{"id": f"at {offset}", "time": INSTANTS[offset], "ra_deg": 172.0, "dec_deg": 1.27,
              "side_arcmin": 3000} for offset in (0, 12, 35, -40, 12)]
    table = catalogue.search_fields(night)
    expected = "field,"
    for field, offset in zip(night, (0, 12, 35, -40, 12)):
        nearest_path = write_three_line(f"{scratch}/nearest.tle", nearest_sets(history, with_history, offset))
        lines = program_csv(SATFIELD, ["--catalogue", nearest_path, "--time", field["time"], "--centre", "172.0",
                                       "1.27", "--side", "3000"], scratch).splitlines()
        if expected == "field,":
            expected += lines[0] + "\n"
        expected += "".join(f"{field['id']},{line}\n" for line in lines[1:])
    assert expected.count("\n") > 20, "the night should find satellites"
    assert csv_text_of_table(table) == expected


def omm_csv_history(scratch):
    """The OMM CSV sample with a history of every record (40 days before
    first, 12 days on after each, 35 days on last), and the file of the
    records nearest each instant."""
    with open(data("080520ls_omm.csv"), newline="") as f:
        header, *records = list(csv.reader(f))
    epoch_at = header.index("EPOCH")
    anomaly_at = header.index("MEAN_ANOMALY")
    motion_at = header.index("MEAN_MOTION")

    def shifted(record, days):
        if days == 0:
            return record
        record = list(record)
        epoch = datetime.datetime.fromisoformat(record[epoch_at]) + datetime.timedelta(days=days)
        record[epoch_at] = epoch.isoformat(timespec="microseconds")
        record[anomaly_at] = f"{carried_anomaly(float(record[anomaly_at]), float(record[motion_at]), days):.4f}"
        return record

    history = [(shifted(r, -40), -40) for r in records]
    for r in records:
        history += [(r, 0), (shifted(r, 12), 12)]
    history += [(shifted(r, 35), 35) for r in records]

    def written(name, chosen):
        out = io.StringIO()
        writer = csv.writer(out, lineterminator="\n")
        writer.writerow(header)
        writer.writerows(chosen)
        with open(f"{scratch}/{name}", "w") as f:
            f.write(out.getvalue())
        return f"{scratch}/{name}"

    nearest = {offset: written(f"nearest{offset}.csv", [r for r, o in history if o == offset])
               for offset in (0, *OFFSETS_DAYS)}
    return written("history.csv", [r for r, _ in history]), nearest, len(records), len(history)


@pytest.mark.parametrize("offset", [0, *OFFSETS_DAYS])
def test_omm_csv_history_is_its_nearest_records(offset, scratch):
    history_path, nearest, satellites, sets = omm_csv_history(scratch)
    options = ["--time", INSTANTS[offset], "--side", "10000"]
    out, err, status = program_run(SATFIELD, ["--catalogue", history_path, *options], scratch)
    alone, _, _ = program_run(SATFIELD, ["--catalogue", nearest[offset], *options], scratch)
    assert status == 0, err
    count_at = alone.rindex(" number of objects")
    assert alone.count("\n|") > 0, "the case should find satellites"
    assert out[:count_at] == alone[:count_at]
    assert out[count_at:] == alone[count_at:count_at + 27] + \
        f"  from  {sets:8d}  in list  ({sets - satellites} superseded sets)\n"
    expected = program_csv(SATFIELD, ["--catalogue", nearest[offset], *options], scratch)
    assert program_csv(SATFIELD, ["--catalogue", history_path, *options], scratch) == expected
    table = fieldsearch.SatelliteCatalogue(history_path).search(INSTANTS[offset], side_arcmin=10000)
    assert csv_text_of_table(table) == expected
