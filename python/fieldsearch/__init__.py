"""Known asteroids, comets and artificial satellites in fields of sky.

A catalogue is read once and kept in memory; each search returns an astropy
Table with the columns and rows the programs print as CSV for the same
question (astfield --format csv, satfield --format csv)::

    import fieldsearch
    asteroids = fieldsearch.AsteroidCatalogue("astorb.dat")
    table = asteroids.search("2008-05-20T05:14:00", centre=(0.04, 0.5), side_arcmin=120)
"""

import os

from . import _fieldsearch
from .tables import column_unit, field_records, fields_csv, rows_table

__all__ = ["AsteroidCatalogue", "SatelliteCatalogue", "catalogue_kind", "column_unit"]

# The programs' compiled-in values.
DEFAULT_MAG_LIMIT = 20.0
DEFAULT_THEORY = "vinti"
DEFAULT_PROPAGATION = "two-body"


def catalogue_kind(path):
    """'asteroids' when the file reads as an asteroid or comet catalogue, else 'satellites'."""
    return _fieldsearch.catalogue_kind(os.fspath(path))


def _number(value, what):
    if isinstance(value, int) and not isinstance(value, bool):
        return str(value)
    try:
        number = float(value)
    except (TypeError, ValueError):
        raise ValueError(f"{what}: {value!r} is not a number") from None
    return repr(number)


def _numbers(values, what, counts):
    try:
        values = list(values)
    except TypeError:
        raise ValueError(f"{what}: {values!r} is not a sequence of numbers") from None
    if len(values) not in counts:
        raise ValueError(f"{what}: needs {' or '.join(str(c) for c in counts)} numbers, not {len(values)}")
    return [_number(v, what) for v in values]


def _time_text(time):
    if hasattr(time, "isot"):
        return time.utc.isot
    if hasattr(time, "isoformat"):
        return time.isoformat()
    if not isinstance(time, str):
        raise ValueError(f"time: {time!r} is not a UTC text YYYY-MM-DDTHH:MM:SS[.sss]")
    return time


def _common_arguments(site, observer_km, threads, propagation):
    """The options a single search and a night share, as the command line takes them."""
    arguments = []
    if propagation != DEFAULT_PROPAGATION:
        if not isinstance(propagation, str):
            raise ValueError(f"propagation: {propagation!r} is not two-body or n-body")
        arguments += ["--propagation", propagation]
    if isinstance(site, str):
        arguments += ["--site", site]
    elif site is not None:
        arguments += ["--site", ",".join(_numbers(site, "site", (2, 3)))]
    if observer_km is not None:
        arguments += ["--observer", ",".join(_numbers(observer_km, "observer_km", (3,)))]
    if threads is not None:
        if isinstance(threads, bool) or not isinstance(threads, int):
            raise ValueError(f"threads: {threads!r} is not a whole number of threads")
        arguments += ["--threads", str(threads)]
    return arguments


def _single_arguments(time, centre, side_arcmin, exposure_s, image):
    arguments = []
    if time is not None:
        arguments += ["--time", _time_text(time)]
    if centre is not None:
        ra, dec = _numbers(centre, "centre", (2,))
        arguments += ["--centre", ra, dec]
    if side_arcmin is not None:
        arguments += ["--side", _number(side_arcmin, "side_arcmin")]
    if exposure_s is not None:
        arguments += ["--exposure", _number(exposure_s, "exposure_s")]
    if image is not None:
        images = [image] if isinstance(image, (str, os.PathLike)) else list(image)
        for path in images:
            arguments += ["--image", os.fspath(path)]
    if time is None and image is None:
        raise ValueError("time: give the instant (or an image whose header gives it)")
    return arguments


def _listed_search(search, arguments, text, *more):
    """A search of a list of fields, a refusal naming the field by its place
    in the list (the list's text numbers its lines from the header, line 1)."""
    try:
        return search(arguments, text, *more)
    except (ValueError, OSError) as refusal:
        message = str(refusal)
        head, _, rest = message.partition(": ")
        if head.startswith("line ") and head[5:].isdigit():
            raise type(refusal)(f"fields[{int(head[5:]) - 2}]: {rest}") from None
        raise


def _identification_arguments(observations_path, radius_arcsec, motion_tolerance, max_candidates,
                              observatory_codes):
    """The options of an identification, as the command line takes them."""
    arguments = ["--observations", os.fspath(observations_path)]
    if radius_arcsec is not None:
        arguments += ["--radius", _number(radius_arcsec, "radius_arcsec")]
    if motion_tolerance is not None:
        arguments += ["--motion-tolerance", _number(motion_tolerance, "motion_tolerance")]
    if max_candidates is not None:
        if isinstance(max_candidates, bool) or not isinstance(max_candidates, int):
            raise ValueError(f"max_candidates: {max_candidates!r} is not a whole number of candidates")
        arguments += ["--max-candidates", str(max_candidates)]
    if observatory_codes is not None:
        arguments += ["--observatory-codes", os.fspath(observatory_codes)]
    return arguments


def _identified_table(answer):
    """The Table of a native identification: its rows, and in its meta the
    closing counts and the messages about observations left out."""
    rows, messages, tracklets, identified = answer
    meta = {"tracklets_read": tracklets, "identified": identified, "unidentified": tracklets - identified,
            "messages": messages}
    return rows_table(*rows, meta=meta)


class _HeldCatalogue:
    """A catalogue read once by the native module and kept for searches."""

    _native_class = None

    def __init__(self, path, *native_arguments):
        self.path = os.fspath(path)
        self._native = self._native_class(self.path, *native_arguments)

    def __len__(self):
        return self._native.record_count

    @property
    def messages(self):
        """What the program says about the catalogue's records it cannot read."""
        return self._native.messages


class AsteroidCatalogue(_HeldCatalogue):
    """The asteroids and comets of a catalogue (astorb, MPCORB or the comets'
    one-line layout, gzip-compressed when the path ends in .gz), read once.
    `format` forces the layout ('astorb', 'mpcorb' or 'comets')."""

    kind = "asteroids"
    _native_class = _fieldsearch.AsteroidCatalogue

    def __init__(self, path, format=None):
        super().__init__(path, format)

    def _arguments(self, mag_limit, theory):
        if theory != DEFAULT_THEORY:
            raise ValueError("theory: an orbit theory is chosen for satellites only")
        return [] if mag_limit is None else ["--mag-limit", _number(mag_limit, "mag_limit")]

    def search(self, time=None, *, centre=None, side_arcmin=None, site=None, observer_km=None,
               mag_limit=DEFAULT_MAG_LIMIT, exposure_s=None, image=None, theory=DEFAULT_THEORY,
               propagation=DEFAULT_PROPAGATION, threads=None, use_index=True):
        """The objects in one field: a square at `time` (UTC text) about
        `centre` (ra_deg, dec_deg) of `side_arcmin`, or an image's frame;
        over `exposure_s` seconds from `time` when given. Options left out
        keep the program's compiled-in values."""
        arguments = _single_arguments(time, centre, side_arcmin, exposure_s, image)
        arguments += _common_arguments(site, observer_km, threads, propagation)
        arguments += self._arguments(mag_limit, theory)
        return rows_table(*self._native.search(arguments, None, use_index))

    def search_fields(self, fields, *, site=None, observer_km=None, mag_limit=DEFAULT_MAG_LIMIT,
                      theory=DEFAULT_THEORY, propagation=DEFAULT_PROPAGATION, threads=None, use_index=True):
        """The objects in each field of a night, the rows led by the field's id:
        `fields` an astropy Table, a pandas DataFrame or a list of dicts with
        the columns of a --fields list (id, time, ra_deg, dec_deg,
        side_arcmin; exposure_s and image optional; an empty value masked,
        NaN, None or absent)."""
        text = fields_csv(field_records(fields))
        arguments = _common_arguments(site, observer_km, threads, propagation)
        arguments += self._arguments(mag_limit, theory)
        return rows_table(*_listed_search(self._native.search, arguments, text, use_index))

    def identify(self, observations_path, *, radius_arcsec=None, motion_tolerance=None, max_candidates=None,
                 observatory_codes=None, site=None, observer_km=None, propagation=DEFAULT_PROPAGATION,
                 threads=None):
        """The catalogue's candidates for each tracklet of a night's
        observations (80-column or ADES PSV/XML), the rows astfield
        --observations prints as CSV: `radius_arcsec` (") and
        `motion_tolerance` ("/h) about each observation, at most
        `max_candidates` per tracklet, the stations from `observatory_codes`
        (the bundled list when None), the places on integrated orbits with
        `propagation="n-body"`. Table.meta gives tracklets_read, identified,
        unidentified and the messages about observations left out (and
        about orbits the integrator cannot carry, by their place among the
        records)."""
        arguments = _identification_arguments(observations_path, radius_arcsec, motion_tolerance, max_candidates,
                                               observatory_codes)
        arguments += _common_arguments(site, observer_km, threads, propagation)
        return _identified_table(self._native.identify(arguments))


class SatelliteCatalogue(_HeldCatalogue):
    """The element sets of a satellite catalogue (three-line sets, or OMM as
    CSV, JSON or XML; gzip-compressed when the path ends in .gz), read once."""

    kind = "satellites"
    _native_class = _fieldsearch.SatelliteCatalogue

    def __init__(self, path):
        super().__init__(path)

    @property
    def superseded(self):
        """How many element sets a nearer set of the same satellite supersedes
        at any one instant: the sets less the satellites (a history of sets
        places each satellite by its set nearest the field's instant)."""
        return self._native.superseded_count

    def _arguments(self, mag_limit, theory):
        if mag_limit != DEFAULT_MAG_LIMIT:
            raise ValueError("mag_limit: only the asteroid program has a magnitude limit")
        if not isinstance(theory, str):
            raise ValueError(f"theory: {theory!r} is not vinti, sgp4 or both")
        return ["--theory", theory]

    def search(self, time=None, *, centre=None, side_arcmin=None, site=None, observer_km=None,
               mag_limit=DEFAULT_MAG_LIMIT, exposure_s=None, image=None, theory=DEFAULT_THEORY,
               propagation=DEFAULT_PROPAGATION, threads=None):
        """The satellites in one field, as AsteroidCatalogue.search asks."""
        arguments = _single_arguments(time, centre, side_arcmin, exposure_s, image)
        arguments += _common_arguments(site, observer_km, threads, propagation)
        arguments += self._arguments(mag_limit, theory)
        return rows_table(*self._native.search(arguments, None))

    def search_fields(self, fields, *, site=None, observer_km=None, mag_limit=DEFAULT_MAG_LIMIT,
                      theory=DEFAULT_THEORY, propagation=DEFAULT_PROPAGATION, threads=None):
        """The satellites in each field of a night, as AsteroidCatalogue.search_fields asks."""
        text = fields_csv(field_records(fields))
        arguments = _common_arguments(site, observer_km, threads, propagation)
        arguments += self._arguments(mag_limit, theory)
        return rows_table(*_listed_search(self._native.search, arguments, text))

    def identify(self, observations_path, *, radius_arcsec=None, motion_tolerance=None, max_candidates=None,
                 observatory_codes=None, theory=DEFAULT_THEORY, threads=None):
        """The catalogue's candidates for each tracklet of a night's
        observations (80-column or ADES PSV/XML), the rows satfield
        --observations prints as CSV: `radius_arcsec` (") and
        `motion_tolerance` ("/s) about each observation, at most
        `max_candidates` per tracklet, the satellites placed by `theory`, the
        stations from `observatory_codes` (the bundled list when None).
        Table.meta gives tracklets_read, identified, unidentified and the
        messages about observations left out."""
        arguments = _identification_arguments(observations_path, radius_arcsec, motion_tolerance, max_candidates,
                                               observatory_codes)
        arguments += _common_arguments(None, None, threads, DEFAULT_PROPAGATION)
        arguments += self._arguments(DEFAULT_MAG_LIMIT, theory)
        return _identified_table(self._native.identify(arguments))
