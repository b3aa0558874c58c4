"""Small helpers to write contracts as event tables and datasets for _tamrix."""
from __future__ import annotations

from datetime import datetime, timezone

import numpy as np
import pyarrow as pa

YEAR_MS = 31_536_000_000  # a 365-day year of milliseconds


def ms(text: str) -> int:
    """'2024-01-01' or '2024-01-01T12:00:00' (UTC) as epoch milliseconds."""
    dt = datetime.fromisoformat(text).replace(tzinfo=timezone.utc)
    return int(dt.timestamp() * 1000)


def dictionary(texts, keys) -> pa.DictionaryArray:
    """A dictionary column with Int64 keys (None keys are null rows)."""
    return pa.DictionaryArray.from_arrays(pa.array(keys, pa.int64()), pa.array(texts, pa.string()))


def _encode(values):
    texts: list = []
    keys = []
    for v in values:
        if v is None:
            keys.append(None)
            continue
        if v not in texts:
            texts.append(v)
        keys.append(texts.index(v))
    return texts, keys


def events(rows, tz: str | None = None) -> pa.RecordBatch:
    """Event table from rows (time_ms, track, op, quantity, unit).

    Texts are dictionary-encoded in order of first appearance; None gives a
    null row key.
    """
    rows = list(rows)
    cols = list(zip(*rows)) if rows else [[], [], [], [], []]
    times, tracks, ops, qtys, units = cols
    return pa.RecordBatch.from_arrays(
        [
            pa.array(list(times), pa.timestamp("ms", tz=tz)),
            dictionary(*_encode(tracks)),
            dictionary(*_encode(ops)),
            pa.array(list(qtys), pa.float64()),
            dictionary(*_encode(units)),
        ],
        names=["time", "track", "op", "quantity", "unit"],
    )


def zero_curve(rate: float, horizon: float = 60.0):
    """A flat continuously compounded zero curve."""
    return ("ZERO_RATES", np.array([[0.0, rate], [horizon, rate]]))


def forward_curve(times, forwards):
    return ("FORWARDS", np.column_stack([np.asarray(times, float), np.asarray(forwards, float)]))


def dataset(pricing_ts: int, base: str = "EUR", assets: dict | None = None, rate: float = 0.0, **sections) -> dict:
    """A dataset with a flat base curve unless `assets` gives the curves."""
    curves = {base: zero_curve(rate)}
    curves.update(assets or {})
    return {"BASE": base, "PRICING_TS": pricing_ts, "ASSETS": curves, **sections}


class Recorder:
    """A py_state that keeps every statistic it receives, in order."""

    def __init__(self):
        self.stats: list[tuple[str, object]] = []

    def set_stat(self, key, value):
        self.stats.append((key, value))

    def stat(self, key):
        return dict(self.stats)[key]
