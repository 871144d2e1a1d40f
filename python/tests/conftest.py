"""What the module's tests share: the programs, the samples, the CSV as the
programs print it, and the Table written back as CSV."""

import csv
import io
import os
import subprocess

import numpy as np
import pytest

ASTFIELD = os.environ.get("FIELDSEARCH_ASTFIELD", "astfield")
SATFIELD = os.environ.get("FIELDSEARCH_SATFIELD", "satfield")
DATA = os.environ.get("FIELDSEARCH_DATA", os.path.join(os.path.dirname(__file__), "..", "..", "data"))


def data(name):
    return os.path.join(DATA, name)


def program_run(program, arguments, cwd):
    """The program's standard output, error and exit status."""
    run = subprocess.run([program, *arguments], cwd=cwd, capture_output=True, text=True, check=False)
    return run.stdout, run.stderr, run.returncode


def program_csv(program, arguments, cwd):
    out, err, status = program_run(program, [*arguments, "--format", "csv"], cwd)
    assert status == 0, err
    return out


def csv_text_of_table(table):
    """The table written as the programs write CSV: empty for a masked value,
    whole numbers as they are, real numbers to their column's digits, texts
    quoted when they must be."""
    out = io.StringIO()
    out.write(",".join(table.colnames) + "\n")
    for row in table:
        cells = []
        for name in table.colnames:
            column = table[name]
            value = row[name]
            if value is np.ma.masked:
                cells.append("")
            elif column.dtype.kind == "f":
                cells.append(column.format.format(float(value)))
            elif column.dtype.kind == "i":
                cells.append(str(int(value)))
            else:
                text = str(value)
                if any(c in text for c in ',"\n'):
                    text = '"' + text.replace('"', '""') + '"'
                cells.append(text)
        out.write(",".join(cells) + "\n")
    return out.getvalue()


def csv_cells(text):
    return list(csv.reader(io.StringIO(text)))


@pytest.fixture
def scratch(tmp_path):
    return str(tmp_path)
