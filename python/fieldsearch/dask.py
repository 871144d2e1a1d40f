"""A night (or a survey's year) of fields spread over the workers of a Dask
cluster: each worker reads the catalogue once and keeps it, the fields are cut
into shards of consecutive instants, one pass over the catalogue each, and
the shards' rows are put back in the order a single process gives them."""

import itertools
import os
import threading

from . import AsteroidCatalogue, SatelliteCatalogue, _fieldsearch, catalogue_kind
from . import _common_arguments, _listed_search, DEFAULT_MAG_LIMIT, DEFAULT_PROPAGATION, DEFAULT_THEORY
from .tables import field_records, fields_csv, rows_table, _text_of

__all__ = ["search_fields"]

# Shards per worker: enough for the cluster to balance its load.
SHARDS_PER_WORKER = 4

# The catalogues this process holds for the tasks it runs, by (kind, path),
# and how many times each was read.
_held = {}
_loads = {}
_held_lock = threading.Lock()


def _catalogue(kind, path):
    key = (kind, path)
    with _held_lock:
        if key not in _held:
            _held[key] = AsteroidCatalogue(path) if kind == "asteroids" else SatelliteCatalogue(path)
            _loads[key] = _loads.get(key, 0) + 1
        return _held[key], _loads[key]


def _search_shard(kind, path, records, arguments):
    """On a worker: the rows of one shard, its fields named by their place in
    the whole list; with the worker's address and its loads of the catalogue."""
    catalogue, loads = _catalogue(kind, path)
    columns, rows, decimals = catalogue._native.search(arguments, fields_csv(records))
    try:
        from distributed import get_worker

        address = get_worker().address
    except (ImportError, ValueError):
        address = "local"
    return columns, rows, decimals, address, loads


def _instant_key(record):
    """Fields of one instant share a shard; an image's instant is its own."""
    time = _text_of(record.get("time"))
    return time if time else "\uffff" + _text_of(record.get("image"))


def search_fields(catalogue_path, fields, client, *, kind=None, site=None, observer_km=None,
                  mag_limit=DEFAULT_MAG_LIMIT, theory=DEFAULT_THEORY, propagation=DEFAULT_PROPAGATION,
                  threads=None):
    """The Table that AsteroidCatalogue(...).search_fields(fields, ...) or
    SatelliteCatalogue(...).search_fields(fields, ...) gives, computed on the
    workers of the distributed.Client `client`. `kind` 'asteroids' or
    'satellites', told from the catalogue's content when None. The workers
    must see `catalogue_path` (and any image) under the same name.
    Table.meta['catalogue_loads'] gives, per worker address, how many times
    it has read the catalogue."""
    path = os.fspath(catalogue_path)
    if kind is None:
        kind = catalogue_kind(path)
    if kind not in ("asteroids", "satellites"):
        raise ValueError(f"kind: {kind!r} is not 'asteroids' or 'satellites'")
    records = field_records(fields)
    arguments = _common_arguments(site, observer_km, threads, propagation)
    if kind == "asteroids":
        arguments += AsteroidCatalogue._arguments(None, mag_limit, theory)
    else:
        arguments += SatelliteCatalogue._arguments(None, mag_limit, theory)
    # The whole night's columns (and its refusals) before anything is sent.
    columns, _, _ = _listed_search(lambda a, t: _fieldsearch.plan_columns(kind, a, t), arguments,
                                   fields_csv(records))

    # Each field named by its place in the list; consecutive instants to a shard.
    named = [dict(record, id=str(k)) for k, record in enumerate(records)]
    order = sorted(range(len(named)), key=lambda k: (_instant_key(named[k]), k))
    instants = [list(group) for _, group in itertools.groupby(order, key=lambda k: _instant_key(named[k]))]
    workers = max(1, len(client.scheduler_info().get("workers", {})))
    shard_count = max(1, min(len(instants), SHARDS_PER_WORKER * workers))
    shards = [sum(instants[s::shard_count], []) for s in range(shard_count)]
    futures = [client.submit(_search_shard, kind, path, [named[k] for k in sorted(shard)], arguments, pure=False)
               for shard in shards if shard]
    results = client.gather(futures)

    # The rows put back in the list's order, under the whole night's columns.
    placed = []
    loads = {}
    decimals = [None] * len(columns)
    for shard_columns, rows, shard_decimals, address, worker_loads in results:
        loads[address] = worker_loads
        where = [shard_columns.index(name) if name in shard_columns else None for name in columns]
        for k, at in enumerate(where):
            if at is not None and decimals[k] is None:
                decimals[k] = shard_decimals[at]
        for row in rows:
            field = int(row[0])
            values = [None if at is None else row[at] for at in where]
            real_id = _text_of(records[field].get("id")).strip(" ")
            values[0] = real_id if real_id else None
            placed.append((field, len(placed), tuple(values)))
    placed.sort(key=lambda item: (item[0], item[1]))
    return rows_table(columns, [values for _, _, values in placed], decimals, meta={"catalogue_loads": loads})
