#!/usr/bin/env python3
"""A night of detections for the identification benchmark: 2,500 tracklets
of four observations over an hour, one per catalogue record taken at even
steps through the catalogue, from stations all over the Earth, their starts
spread over 2008 May 20 UTC. Places are the geocentric places of the
program's model written anew (tools/asteroid_independent_check.py, 15
digits); the stations' parallax (a few arcseconds in the main belt) stays
inside the search radius. Prints, for each tracklet label, the record's
number and name to the answers file.

Usage: make_night_observations.py CATALOGUE OBSERVATIONS ANSWERS [TRACKLETS]
"""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
import asteroid_independent_check as model  # noqa: E402
import identification_independent_check as night  # noqa: E402

STATIONS = ["568", "309", "413", "675", "691", "I41", "G96", "F51", "950", "807", "Q62", "K91", "W86", "T05",
            "E10", "Z84", "J04", "703", "A50", "D35"]


def main():
    catalogue, out_path, answers_path = sys.argv[1:4]
    count = int(sys.argv[4]) if len(sys.argv) > 4 else 2500
    model.mp.dps = 15
    records = [r for r in model.read_catalogue(catalogue) if 0 <= r["e"] < 0.9 and r["a"] > 0]
    step = max(1, len(records) // count)
    chosen = records[::step][:count]
    lines, answers = [], []
    for k, record in enumerate(chosen):
        label = "B%05d" % k
        start = 23.0 * k / len(chosen)
        station = STATIONS[k % len(STATIONS)]
        for j in range(4):
            hours = start + j * 20 / 60
            ra, dec = night.independent_place(record, hours)
            lines.append(night.line_80("", label, hours, ra, dec, station)[0])
        answers.append("%s,%s,%s" % (label, record["key"][0:6].strip(), record["key"][6:17].strip()))
    with open(out_path, "w") as f:
        f.write("\n".join(lines) + "\n")
    with open(answers_path, "w") as f:
        f.write("\n".join(answers) + "\n")


if __name__ == "__main__":
    main()
