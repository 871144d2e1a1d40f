#!/usr/bin/env python3
"""Checks that a satellite catalogue is in the exact two-line element format.

usage: tle_format_check.py CATALOGUE

Every set must be a name line and two element lines of 69 characters with
their line numbers, the same catalogue number on both lines, blanks in the
separating columns, numeric fields where numbers belong and a correct
checksum (digits count their value, '-' counts 1, modulo 10). Prints one line
per fault and a summary; exit status 1 when any fault was found.
"""
import sys


def checksum(text):
    return sum(int(ch) if ch.isdigit() else 1 if ch == "-" else 0 for ch in text) % 10


def col(line, first, last):
    """Columns first..last, 1-based and inclusive."""
    return line[first - 1:last]


def number(text):
    try:
        float(text)
        return True
    except ValueError:
        return False


def set_faults(name, line1, line2):
    faults = []
    if not name.strip():
        faults.append("blank name line")
    for number_char, line in (("1", line1), ("2", line2)):
        if len(line) != 69:
            faults.append(f"line {number_char} has {len(line)} characters")
            return faults
        if line[0] != number_char or line[1] != " ":
            faults.append(f"line {number_char} does not start with '{number_char} '")
        if line[68] != str(checksum(line[:68])):
            faults.append(f"line {number_char} checksum {line[68]}, expected {checksum(line[:68])}")
    if col(line1, 3, 7) != col(line2, 3, 7) or not col(line1, 3, 7).isdigit():
        faults.append("catalogue numbers differ or are not digits")
    if col(line1, 8, 8) not in "USC":
        faults.append("classification is not U, S or C")
    for c in (9, 18, 33, 44, 53, 62, 64):
        if line1[c - 1] != " ":
            faults.append(f"line 1 column {c} is not blank")
    for c in (8, 17, 26, 34, 43, 52):
        if line2[c - 1] != " ":
            faults.append(f"line 2 column {c} is not blank")
    if not col(line1, 10, 14).isdigit() or not col(line1, 15, 15).isalpha():
        faults.append("international designator is not year, number and piece")
    if not (col(line1, 19, 32).replace(".", "").isdigit() and line1[23] == "."):
        faults.append("epoch is not YYDDD.DDDDDDDD")
    first_derivative = col(line1, 34, 43)
    if first_derivative[0] not in " -+" or first_derivative[1] != "." or not first_derivative[2:].isdigit():
        faults.append("first derivative field is not [sign].NNNNNNNN")
    for first, label in ((45, "second derivative"), (54, "drag term")):
        field = col(line1, first, first + 7)
        if field[0] not in " -+" or not field[1:6].isdigit() or field[6] not in "-+" or not field[7].isdigit():
            faults.append(f"{label} field is not [sign]NNNNN[sign]N")
    if not col(line1, 65, 68).strip().isdigit():
        faults.append("element set number is not a number")
    for first, last, label in ((9, 16, "inclination"), (18, 25, "node"), (35, 42, "argument of perigee"),
                               (44, 51, "mean anomaly"), (53, 63, "mean motion")):
        if not number(col(line2, first, last)):
            faults.append(f"{label} is not a number")
    if not col(line2, 27, 33).isdigit():
        faults.append("eccentricity is not 7 digits")
    if not col(line2, 64, 68).strip().isdigit():
        faults.append("revolution number is not a number")
    return faults


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    with open(sys.argv[1], encoding="ascii") as f:
        lines = f.read().split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    if len(lines) % 3:
        print(f"{len(lines)} lines: not a whole number of three-line sets")
        return 1
    fault_count = 0
    for i in range(0, len(lines), 3):
        for fault in set_faults(*lines[i:i + 3]):
            print(f"line {i + 1}: {fault}")
            fault_count += 1
    print(f"{len(lines) // 3} sets, {fault_count} faults")
    return 1 if fault_count else 0


if __name__ == "__main__":
    sys.exit(main())
