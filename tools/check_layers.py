#!/usr/bin/env python3
"""Checks the layering of the sources: each folder is one layer and may
include only headers of its own layer and of the layers below it, and no
header includes itself through others (no include cycles). Prints what is
wrong and exits 1; exits 0 when all is in order."""

import pathlib
import re
import sys

# Each layer and the layers it may include, lowest first.
LAYERS = {
    "core": [],
    "ephemeris": ["core"],
    "formats": ["core"],
    "search": ["core", "formats"],
    "report": ["core", "formats", "search"],
    "cli": ["core", "formats", "search", "report"],
    "astfield": ["core", "ephemeris", "formats", "search", "report"],
    "satfield": ["core", "ephemeris", "formats", "search", "report"],
    # A front end like the programs' main: it plans through their command line.
    "python": ["core", "ephemeris", "formats", "search", "report", "cli", "astfield", "satfield"],
}
# Third-party headers the astrometric core must not include.
THIRD_PARTY = re.compile(r"#include\s*<(CLI/|nlohmann/|zlib|fitsio|wcslib/|pugixml|erfa|pybind11/|Python)")
INCLUDE = re.compile(r'#include\s*"([^"]+)"')


def main(root: pathlib.Path) -> int:
    headers = {}
    sources = []
    for layer in LAYERS:
        folder = root / layer
        if not folder.is_dir():
            continue
        for path in sorted(folder.glob("*.[hc]pp")):
            sources.append((layer, path))
            if path.suffix == ".hpp":
                if path.name in headers:
                    print(f"{path}: the header name is also {headers[path.name][1]}")
                    return 1
                headers[path.name] = (layer, path)
    problems = []
    graph = {}
    for layer, path in sources:
        text = path.read_text(encoding="utf-8")
        if layer == "core" and THIRD_PARTY.search(text):
            problems.append(f"{path}: the core includes a third-party header")
        includes = []
        for name in INCLUDE.findall(text):
            if name not in headers:
                continue
            other = headers[name][0]
            # A program's entry sits above every layer, the command line included.
            allowed = LAYERS[layer] + (["cli"] if path.name == "main.cpp" else [])
            if other != layer and other not in allowed:
                problems.append(f"{path}: {layer} includes {name} of the layer above it, {other}")
            includes.append(name)
        if path.suffix == ".hpp":
            graph[path.name] = includes
    # Include cycles among headers: depth-first search.
    state = {}

    def visit(name, trail):
        state[name] = "open"
        for other in graph.get(name, []):
            if state.get(other) == "open":
                cycle = trail[trail.index(other):] + [other] if other in trail else [name, other]
                problems.append("include cycle: " + " -> ".join(cycle))
            elif other not in state:
                visit(other, trail + [other])
        state[name] = "done"

    for name in graph:
        if name not in state:
            visit(name, [name])
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".")))
