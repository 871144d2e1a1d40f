"""Rows as astropy Tables, and fields in the form the native search takes."""

import math

import numpy as np
from astropy import units as u
from astropy.table import MaskedColumn, Table

# The unit of a column, by how its name ends; the longest ending first.
UNIT_SUFFIXES = (
    ("_arcsec_per_hour", u.arcsec / u.hour),
    ("_arcsec_per_s", u.arcsec / u.s),
    ("_arcsec", u.arcsec),
    ("_deg", u.deg),
    ("_days", u.day),
    ("_km", u.km),
    ("_au", u.au),
    ("_s", u.s),
)
# The sexagesimal parts of a place: hours, minutes and seconds of time and
# the sign, degrees, minutes and seconds of arc, each a part of one angle.
SEXAGESIMAL_PARTS = {"ra_h", "ra_m", "ra_s", "dec_sign", "dec_deg_part", "dec_arcmin", "dec_arcsec"}

# The columns of a list of fields, as the programs' --fields reads them.
FIELD_COLUMNS = ("id", "time", "ra_deg", "dec_deg", "side_arcmin", "exposure_s", "image")


def column_unit(name):
    """The unit a column's name ends in, or None."""
    if name in SEXAGESIMAL_PARTS:
        return None
    for suffix, unit in UNIT_SUFFIXES:
        if name.endswith(suffix):
            return unit
    return None


def _column(name, values, decimals):
    present = [v for v in values if v is not None]
    mask = np.array([v is None for v in values], dtype=bool)
    if any(isinstance(v, str) for v in present):
        # Texts (a designation that is a number in one row and a name in
        # another is text throughout).
        data = np.array(["" if v is None else str(v) for v in values], dtype=str)
    elif present and all(isinstance(v, int) for v in present):
        data = np.array([0 if v is None else v for v in values], dtype=np.int64)
    else:
        data = np.array([math.nan if v is None else float(v) for v in values], dtype=np.float64)
    column = MaskedColumn(data, name=name, mask=mask, unit=column_unit(name))
    if decimals is not None and data.dtype.kind == "f":
        column.format = "{:.17g}" if decimals < 0 else "{:.%df}" % decimals
    return column


def rows_table(columns, rows, decimals, meta=None):
    """The Table of the native search's columns, rows (tuples) and decimals."""
    table = Table(masked=True, meta=meta or {})
    for k, name in enumerate(columns):
        table.add_column(_column(name, [row[k] for row in rows], decimals[k]))
    return table


def _is_empty(value):
    if value is None or value is np.ma.masked:
        return True
    if isinstance(value, float) and math.isnan(value):
        return True
    if np.ma.isMaskedArray(value) and value.mask.all():
        return True
    try:
        import pandas

        if value is pandas.NA or value is pandas.NaT:
            return True
    except ImportError:
        pass
    return False


def _text_of(value):
    if _is_empty(value):
        return ""
    if hasattr(value, "isot"):  # astropy Time
        return value.utc.isot
    if hasattr(value, "isoformat"):  # datetime, pandas Timestamp
        return value.isoformat()
    if isinstance(value, (bool, np.bool_)):
        raise ValueError(f"{value!r} is not a value of a field")
    if isinstance(value, (int, np.integer)):
        return str(int(value))
    if isinstance(value, (float, np.floating)):
        return repr(float(value))
    if hasattr(value, "unit") and hasattr(value, "value"):  # Quantity
        raise ValueError(f"{value!r}: give plain numbers in the column's unit")
    return str(value)


def _csv_field(text):
    if any(c in text for c in ',"\n\r'):
        return '"' + text.replace('"', '""') + '"'
    return text


def field_records(fields):
    """The fields as a list of dicts: from an astropy Table, a pandas DataFrame
    or a list (or other iterable) of dicts."""
    if isinstance(fields, Table):
        names = fields.colnames
        return [{name: row[name] for name in names} for row in fields]
    if hasattr(fields, "to_dict") and hasattr(fields, "columns"):
        return fields.to_dict("records")
    if isinstance(fields, dict):
        raise ValueError("fields: give a list of fields (a Table, a DataFrame or a list of dicts), not one dict")
    return list(fields)


def fields_csv(records):
    """The text of a --fields list holding the fields."""
    lines = [",".join(FIELD_COLUMNS)]
    for record in records:
        if not isinstance(record, dict):
            raise ValueError(f"fields: {record!r} is not a field (a dict of {', '.join(FIELD_COLUMNS)})")
        lines.append(",".join(_csv_field(_text_of(record.get(name))) for name in FIELD_COLUMNS))
    return "\n".join(lines) + "\n"
