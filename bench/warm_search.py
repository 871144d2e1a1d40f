#!/usr/bin/env python3
"""How fast a warm catalogue answers: the full-size asteroid catalogue read
once by the Python module, the night's index built by the first search, then
fields of 60' to 120' within ten hours of it searched one after another (the
Table included), against a run of the program on the same fields.

    /usr/bin/python3 bench/warm_search.py --build build [--catalogue PATH]

The catalogue defaults to /work/bench-data/astorb_full.dat, generated there
by build/bin/make_astorb_sample (1.4 M records) when missing. Prints the
median and best times and the machine's load average."""

import argparse
import fcntl
import os
import random
import statistics
import subprocess
import sys
import time


def full_catalogue(build, path):
    if os.path.exists(path):
        return path
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(os.path.join(os.path.dirname(path), ".lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not os.path.exists(path):
            partial = path + ".part"
            subprocess.run([os.path.join(build, "bin", "make_astorb_sample"), partial, "1400000"], check=True)
            os.rename(partial, path)
    return path


def night_fields(count, seed=1):
    """Fields of 60' to 120' over ten hours, about the ecliptic near the
    opposition of 2008 May 20 (where a survey looks) and anywhere."""
    rng = random.Random(seed)
    fields = []
    for k in range(count):
        minutes = rng.randrange(0, 600)
        hour, minute = 5 + minutes // 60, minutes % 60
        day = 20 + hour // 24
        if k % 2 == 0:
            ra = (238.0 + rng.uniform(-40.0, 40.0)) % 360.0
            dec = -20.0 + rng.uniform(-10.0, 10.0)
        else:
            ra, dec = rng.uniform(0.0, 360.0), rng.uniform(-60.0, 60.0)
        fields.append(dict(time=f"2008-05-{day:02d}T{hour % 24:02d}:{minute:02d}:00", centre=(ra, dec),
                           side_arcmin=rng.uniform(60.0, 120.0)))
    return fields


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build")
    parser.add_argument("--catalogue", default="/work/bench-data/astorb_full.dat")
    parser.add_argument("--fields", type=int, default=60)
    parser.add_argument("--program-runs", type=int, default=5)
    arguments = parser.parse_args()
    build = os.path.abspath(arguments.build)
    sys.path.insert(0, os.path.join(build, "python"))
    import fieldsearch

    path = full_catalogue(build, arguments.catalogue)
    print(f"load average before: {os.getloadavg()}")
    start = time.perf_counter()
    catalogue = fieldsearch.AsteroidCatalogue(path)
    print(f"catalogue read: {len(catalogue)} records in {time.perf_counter() - start:.2f} s")

    fields = night_fields(arguments.fields)
    start = time.perf_counter()
    first = catalogue.search(**fields[0])
    print(f"first search (index built): {time.perf_counter() - start:.2f} s, {len(first)} rows")

    warm = []
    rows = 0
    for field in fields[1:]:
        best = float("inf")
        for _ in range(3):
            start = time.perf_counter()
            table = catalogue.search(**field)
            best = min(best, time.perf_counter() - start)
        warm.append(best)
        rows += len(table)
    print(f"warm searches: {len(warm)} fields, {rows} rows; median {1e3 * statistics.median(warm):.1f} ms, "
          f"best {1e3 * min(warm):.1f} ms, worst {1e3 * max(warm):.1f} ms (best of 3 each)")

    program = os.path.join(build, "bin", "astfield")
    runs = []
    for field in fields[1:1 + arguments.program_runs]:
        options = [program, "--catalogue", path, "--format", "csv", "--time", field["time"], "--centre",
                   repr(field["centre"][0]), repr(field["centre"][1]), "--side", repr(field["side_arcmin"])]
        best = float("inf")
        for _ in range(3):
            start = time.perf_counter()
            subprocess.run(options, check=True, capture_output=True)
            best = min(best, time.perf_counter() - start)
        runs.append(best)
    median_run = statistics.median(runs)
    print(f"program runs: median {1e3 * median_run:.0f} ms over {len(runs)} fields (best of 3 each)")
    print(f"program run / warm search: {median_run / statistics.median(warm):.0f} x")
    print(f"load average after: {os.getloadavg()}")


if __name__ == "__main__":
    main()
