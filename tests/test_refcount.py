"""Calls hold the caller's objects only while they run, on success and on every failure."""
import sys

import pyarrow as pa

import _tamrix
from timetable import Recorder, dataset, events, ms

T = ms("2025-01-01")


class Calls:
    def __init__(self, result):
        self.result = result
        self.count = 0

    def __call__(self, xs):
        self.count += 1
        if isinstance(self.result, BaseException):
            raise self.result
        return self.result


def test_references_are_returned():
    state = Recorder()
    ds = dataset(ms("2024-01-01"), rate=0.03, FIXED={"FLAGS": 15})
    good, raising, tuple_result = Calls([2.0]), Calls(ValueError("bad")), Calls((2.0,))
    snap = Calls([3.0])
    inp = ["EUR"]
    entries = {
        "p": {"type": "phrase", "fn": good, "inp": inp},
        "s": {"type": "snapper", "fn": snap, "inp": inp, "out": ["o"]},
        "bad": {"type": "phrase", "fn": raising, "inp": inp},
        "tup": {"type": "phrase", "fn": tuple_result, "inp": []},
    }
    exprs = dict(entries)
    no_out = {"s": {"type": "snapper", "fn": snap, "inp": inp}}  # the phrase is made, then dropped
    bad_type = {"p": entries["p"], "x": {"type": "sum", "fn": good, "inp": inp}}
    rows = [(T, "a", "+", 1.0, "s"), (T, "a", "+", 1.0, "p"), (T, "a", "+", 1.0, "o")]
    rb = events(rows)
    failing_rb = events([(T, "a", "+", 1.0, "bad")])
    tuple_rb = events([(T, "a", "+", 1.0, "tup")])
    bad_time = pa.record_batch({"time": [1]})
    no_base = {k: v for k, v in ds.items() if k != "BASE"}
    as_list = list(exprs)

    class Producer:
        def __arrow_c_array__(self):
            return pa.StructArray.from_arrays(rb.columns, names=rb.schema.names).__arrow_c_array__()

    class Swapped:
        def __arrow_c_array__(self):
            return rb.__arrow_c_array__()[::-1]

    producer, swapped = Producer(), Swapped()
    watched = [state, ds, ds["ASSETS"], ds["ASSETS"]["EUR"], ds["ASSETS"]["EUR"][1], ds["FIXED"], exprs,
               *entries.values(), good, raising, tuple_result, snap, inp, no_out, bad_type, rb, failing_rb,
               tuple_rb, bad_time, no_base, as_list, producer, swapped]

    def fails(*args):
        try:
            _tamrix.fixed_price(*args)
        except (RuntimeError, TypeError, ValueError):
            return True
        return False

    _tamrix.fixed_price(rb, state, ds, exprs)  # first-call caches (imports) settle here
    before = [sys.getrefcount(o) for o in watched]
    for _ in range(50):
        assert isinstance(_tamrix.fixed_price(rb, state, ds, exprs), float)
        assert isinstance(_tamrix.fixed_price(producer, state, ds, exprs), float)
        assert fails(failing_rb, state, ds, exprs)      # phrase raises during the walk
        assert fails(tuple_rb, state, ds, exprs)        # phrase returns a tuple
        assert fails(rb, state, ds, no_out)             # timetable: snapper without "out"
        assert fails(rb, state, ds, bad_type)           # timetable: unknown type after a good phrase
        assert fails(bad_time, state, ds, exprs)      # timetable: columns
        assert fails(swapped, state, ds, exprs)         # intake: capsule names
        assert fails(rb, state, no_base, exprs)         # dataset
        assert fails(rb, state, ds, as_list)            # conversion
        assert fails(rb, state, as_list, exprs, state)  # binding
    state.stats.clear()
    assert [sys.getrefcount(o) for o in watched] == before
    assert good.count == snap.count == 101 and raising.count == tuple_result.count == 50
