#!/usr/bin/env python3
"""A night of satellite detections for timing satfield --observations:
TRACKLETS tracklets of four observations 4.32 s apart, one per element set
taken at even steps through the catalogue, from stations all over the Earth,
their starts spread over 2008 May 20 UTC. Places are the published SGP4
code's, reduced by pyerfa (tools/satellite_identification_check.py), so
satfield --theory sgp4 should name each tracklet after its set; no
horizon is asked for. Prints, for each tracklet label, the set's catalogue
number to the answers file.

Usage: make_satellite_night.py CATALOGUE OBSERVATIONS ANSWERS [TRACKLETS]
"""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
import satellite_identification_check as night  # noqa: E402
from sgp4.api import Satrec  # noqa: E402

STATIONS = ["568", "309", "413", "675", "691", "I41", "G96", "F51", "950", "807", "Q62", "K91", "W86", "T05",
            "E10", "Z84", "J04", "703", "A50", "D35"]


def main():
    catalogue, out_path, answers_path = sys.argv[1:4]
    count = int(sys.argv[4]) if len(sys.argv) > 4 else 2500
    data_dir = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data")
    sites = night.stations(data_dir)
    with open(catalogue) as f:
        lines = [line.rstrip("\n") for line in f]
    sets = [(lines[k + 1], lines[k + 2]) for k in range(0, len(lines) - 2, 3)
            if lines[k + 1].startswith("1 ") and lines[k + 2].startswith("2 ")]
    step = max(1, len(sets) // count)
    out, answers = [], []
    for k, (l1, l2) in enumerate(sets[::step][:count]):
        label = "B%05d" % k
        station = STATIONS[k % len(STATIONS)]
        start = round(k / count * 0.95 * 1e6)
        satrec = Satrec.twoline2rv(l1, l2)
        for j in range(4):
            mjd = night.NIGHT_MJD + (start + j * 50) * 1e-6
            place = night.satellite_place(satrec, sites[station], mjd)
            if place is None:
                break
            out.append(night.line_80(label, mjd, place[0], place[1], station)[0])
        answers.append("%s,%d" % (label, int(l1[2:7])))
    with open(out_path, "w") as f:
        f.write("\n".join(out) + "\n")
    with open(answers_path, "w") as f:
        f.write("\n".join(answers) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
