"""Python phrases: how inputs reach the function and how its results come back."""
import gc

import numpy as np
import pytest

import _tamrix
from timetable import YEAR_MS, Recorder, dataset, events, forward_curve, ms

PRC = ms("2024-01-01")
T1, T2 = PRC + YEAR_MS, PRC + 2 * YEAR_MS
MARKET = dataset(PRC, base="EUR", rate=0.0, assets={"USD": forward_curve([0.0, 5.0], [1.25, 1.25])})
PREFIX = ('Error during model evaluation, caused by\nError at event:\n  #0: track: "Track(0)", '
          'time: Single(2024-12-31T00:00:00Z), op: +, qty: 1, unit: "Phrase(probe)", caused by \n')


def phrase(fn, *inp):
    return {"type": "phrase", "fn": fn, "inp": list(inp)}


def price(rows, exprs):
    return _tamrix.fixed_price(events(rows), Recorder(), MARKET, exprs)


def seen_by_consumer(fn):
    """What a phrase reading the output of `fn` receives, as a float64 array."""
    seen = []
    exprs = {"p": phrase(fn), "probe": phrase(lambda xs: seen.append(xs[0].copy()) or [0.0], "p")}
    price([(T1, "a", "+", 1.0, "probe")], exprs)
    return seen[0]


class Floaty:
    def __float__(self):
        return 2.5


class Indexy:
    def __index__(self):
        return 4


class Outputs(list):
    pass


@pytest.mark.parametrize("result,want", [
    ([1.5], [1.5]),
    ([3], [3.0]),
    ([True], [1.0]),
    ([np.float32(0.5)], [0.5]),
    ([np.int64(7)], [7.0]),
    ([Floaty()], [2.5]),
    ([Indexy()], [4.0]),
    ([np.array([1.0, 2.0])], [1.0, 2.0]),
    ([np.arange(6.0)[::-2]], [5.0, 3.0, 1.0]),
    ([np.array([True, False, True])], [1.0, 0.0, 1.0]),
    ([np.array([4], dtype=np.int64)], [4.0]),
    ([np.array([[2.0]])], [2.0]),
    ([1.0, np.array([8.0, 9.0])], [8.0, 9.0]),
    (Outputs([6.0]), [6.0]),
], ids=["float", "int", "bool", "np-float32", "np-int64", "__float__", "__index__", "float64-array",
        "strided-array", "bool-array", "int64-array-of-one", "2d-array-of-one", "last-of-two", "list-subclass"])
def test_result_conversion(result, want):
    got = seen_by_consumer(lambda xs: result)
    assert got.dtype == np.float64 and got.ndim == 1
    assert got.tolist() == want


def raise_bad(xs):
    raise ValueError("bad")


EXEC = "Error in Phrase Evaluation, caused by \nError in Python execution:\nExpected float or array, received "


@pytest.mark.parametrize("fn,cause", [
    (lambda xs: (1.0,), "Error in Phrase Evaluation, caused by \n"
                        "Error in found value, likely incorrect type: 'tuple' object cannot be converted to 'PyList'"),
    (lambda xs: np.array([1.0]), "Error in Phrase Evaluation, caused by \n"
                                 "Error in found value, likely incorrect type: 'ndarray' object cannot be converted to 'PyList'"),
    (lambda xs: [np.array([4, 5], dtype=np.int64)], EXEC + "<class 'numpy.ndarray'>"),
    (lambda xs: [np.array([1.0, 2.0], dtype=np.float32)], EXEC + "<class 'numpy.ndarray'>"),
    (lambda xs: [1.0, "x"], EXEC + "<class 'str'>"),
    (lambda xs: [None], EXEC + "<class 'NoneType'>"),
    (lambda xs: [], "No output from phrase"),
    (raise_bad, "Error in Phrase Evaluation, caused by \nValueError: bad"),
    (None, "Error in Phrase Evaluation, caused by \nTypeError: 'NoneType' object is not callable"),
], ids=["tuple", "bare-array", "int64-array-of-two", "float32-array", "str", "None-item", "empty-list", "raises",
        "fn-None"])
def test_result_errors(fn, cause):
    # the failing phrase is an input of the event's phrase: the error reaches the event unchanged
    exprs = {"p": phrase(fn), "probe": phrase(lambda xs: [1.0], "p")}
    with pytest.raises(RuntimeError) as err:
        price([(T1, "a", "+", 1.0, "probe")], exprs)
    assert str(err.value) == PREFIX + cause


def test_inputs_arrive_as_float64_arrays_in_order():
    seen = []

    def probe(xs):
        seen.extend(xs)
        return [xs[0] + xs[1] + xs[2]]

    exprs = {
        "snp": {"type": "snapper", "fn": lambda xs: [np.array([3.0])], "inp": [], "out": ["s"]},
        "q": phrase(lambda xs: [True]),
        "probe": phrase(probe, "USD", "s", "q"),
    }
    got = price([(T1, "a", "+", 1.0, "snp"), (T1, "a", "+", 2.0, "probe")], exprs)
    assert got == pytest.approx(2.0 * (1.25 + 3.0 + 1.0), rel=1e-15)
    assert [list(x) for x in seen] == [[1.25], [3.0], [1.0]]
    assert all(type(x) is np.ndarray and x.dtype == np.float64 and x.ndim == 1 for x in seen)


def test_phrase_may_keep_and_modify_its_arrays():
    kept = []

    def snap(xs):
        out = np.array([3.0])
        kept.append(out)
        return [out]

    def scribble(xs):
        kept[0][:] = -1.0  # the snapper's returned array
        kept.extend(xs)
        xs[0][:] = 1000.0
        return [0.0]

    exprs = {
        "snp": {"type": "snapper", "fn": snap, "inp": [], "out": ["s"]},
        "scribble": phrase(scribble, "s", "USD"),
    }
    rows = [(T1, "a", "+", 1.0, "snp"), (T1, "a", "+", 1.0, "scribble"), (T2, "a", "+", 1.0, "s")]
    assert price(rows, exprs) == 3.0
    gc.collect()
    junk = [np.full(1, 7.0) for _ in range(1000)]
    assert [list(a) for a in kept] == [[-1.0], [1000.0], [1.25]]
    assert sum(a[0] for a in junk) == 7000.0


@pytest.mark.parametrize("expressions,units", [
    ({"p": {"type": "phrase", "fn": lambda xs: [1.0], "inp": ["p"]}}, "p"),
    ({"a": {"type": "phrase", "fn": lambda xs: [1.0], "inp": ["b"]},
      "b": {"type": "phrase", "fn": lambda xs: [1.0], "inp": ["a"]}}, "a"),
], ids=["self", "through_another"])
def test_a_phrase_that_depends_on_itself_is_an_error_not_a_crash(expressions, units):
    rb = events([(ms("2025-01-01"), "a", "+", 1.0, units)])
    with pytest.raises(RuntimeError, match="depends on itself through its inputs"):
        _tamrix.fixed_price(rb, Recorder(), dataset(ms("2024-01-01"), rate=0.03), expressions)
