"""mc_price: the forward walk driven by a Python model object."""
import math
import re
from datetime import datetime, timezone

import numpy as np
import pytest

import _tamrix
from gbm import GBM
from black_scholes import bs_call
from mc_options import asian_call, european_call
from timetable import YEAR_MS, Recorder, dataset, events, forward_curve, ms

PRC = ms("2024-01-01")
EUR_PTS = [(0.5, 0.030), (2.0, 0.034), (5.0, 0.037), (10.0, 0.040)]
USD_PTS = [(0.5, 1.10), (1.0, 1.112), (5.0, 1.16)]
ASSETS = {"EUR": ("ZERO_RATES", np.array(EUR_PTS)), "USD": ("FORWARDS", np.array(USD_PTS)),
          "W": forward_curve([0.0, 5.0], [0.6, 0.8])}


def at(years):
    return PRC + round(years * YEAR_MS)


def yf(ts):
    return (ts - PRC) / YEAR_MS


T0, T1, T2, T3 = at(0.25), at(1.0), at(2.0), at(3.0)
Y1, Y2, Y3 = yf(T1), yf(T2), yf(T3)


def market(paths=3, seed=7, flags=None, assets=ASSETS):
    mc = {"PATHS": paths, "SEED": seed} | ({} if flags is None else {"FLAGS": flags})
    return dataset(PRC, base="EUR", assets=assets, MC=mc)


def phrase(fn, *inp):
    return {"type": "phrase", "fn": fn, "inp": list(inp)}


def snapper(fn, inp, out):
    return {"type": "snapper", "fn": fn, "inp": list(inp), "out": list(out)}


class Model(Recorder):
    """Answers `advance` and `get_value` from functions of t and name (or
    constants) and logs every call."""

    def __init__(self, step=None, value=None):
        super().__init__()
        self.step, self.value, self.calls = step, value, []

    def advance(self, t):
        self.calls.append(("advance", t))
        return self.step(t) if callable(self.step) else self.step

    def get_value(self, name):
        self.calls.append(("get_value", name))
        return self.value(name) if callable(self.value) else self.value


def mc(rows, model, data=None, exprs=None):
    return _tamrix.mc_price(events(rows), model, data if data is not None else market(), exprs or {})


def mc_error(rows, model, data=None, exprs=None):
    with pytest.raises(RuntimeError) as err:
        mc(rows, model, data, exprs)
    return str(err.value)


def pv_vec(rows, model, data=None, exprs=None):
    mc(rows, model, data if data is not None else market(flags=1), exprs)
    return model.stat("PV_VEC")


def event_error(i, ts, op, qty, unit, cause, track=0):
    sec, milli = divmod(ts, 1000)
    clock = datetime.fromtimestamp(sec, timezone.utc).strftime("%Y-%m-%dT%H:%M:%S") + (f".{milli:03d}" if milli else "")
    return (f'Error during model evaluation, caused by\nError at event:\n  #{i}: track: "Track({track})", '
            f'time: Single({clock}Z), op: {op}, qty: {qty}, unit: "{unit}", caused by \n{cause}')


def raiser(exc):
    def fn(*args):
        raise exc
    return fn


USD = (T1, "a", "+", 1.0, "USD")
EXPRS = {
    "p": phrase(lambda xs: [xs[0] * xs[1]], "USD", "W"),
    "snp": snapper(lambda xs: [xs[0]], ["USD"], ["s"]),
}


@pytest.mark.parametrize("rows,calls,error", [
    ([(T1, "a", "+", 1.0, "USD"), (T2, "a", "+", 1.0, "USD"), (T2, "a", "+", 2.0, "USD"), (T3, "a", "+", 1.0, "USD")],
     [("advance", Y1), ("get_value", "USD"), ("advance", Y2), ("get_value", "USD"), ("get_value", "USD"),
      ("advance", Y3), ("get_value", "USD")], None),
    ([(PRC, "a", "+", 1.0, "USD"), (PRC, "a", "+", 1.0, "EUR"), (T1, "a", "+", 1.0, "USD")],
     [("get_value", "USD"), ("get_value", "EUR"), ("advance", Y1), ("get_value", "USD")], None),
    ([(PRC - 1, "a", "+", 1.0, "USD"), (T1, "a", "+", 1.0, "USD")], [],
     event_error(0, PRC - 1, "+", "1", "Asset(USD)", f"event time is earlier than the current time {PRC}")),
    ([(T2, "a", "+", 1.0, "USD"), (T1, "a", "+", 1.0, "USD")], [("advance", Y2), ("get_value", "USD")],
     event_error(1, T1, "+", "1", "Asset(USD)", f"event time is earlier than the current time {T2}")),
    # phrase inputs, then the weight; snapper input once, the snap and the track reference never
    ([(T1, "a", "W", 1.0, "p"), (T1, "a", "+", 1.0, "snp"), (T1, "a", "+", 1.0, "s"), (T2, "a", ">", 1.0, "b"),
      (T2, "b", "+", 1.0, "EUR")],
     [("advance", Y1), ("get_value", "USD"), ("get_value", "W"), ("get_value", "W"), ("get_value", "USD"),
      ("advance", Y2), ("get_value", "EUR")], None),
], ids=["distinct-later-times", "first-at-pricing-time", "before-pricing-time", "back-in-time", "names"])
def test_model_calls(rows, calls, error):
    model = Model()
    if error is None:
        mc(rows, model, exprs=EXPRS)
    else:
        assert mc_error(rows, model, exprs=EXPRS) == error
    assert model.calls == calls


A = np.array([0.9, 0.8, 0.5])
DF1, DF2 = (math.exp(-np.interp(yf(t), [0.0] + [p[0] for p in EUR_PTS], [0.0] + [p[0] * p[1] for p in EUR_PTS]))
            for t in (T1, T2))


@pytest.mark.parametrize("step,want", [
    (A, A + A * A),
    (A[::-1].copy()[::-1], A + A * A),
    ((np.arange(6.0) / 10 + 0.5)[::2], [0.5 + 0.25, 0.7 + 0.49, 0.9 + 0.81]),
    (np.array([0.9]), [0.9 + 0.81] * 3),
    (0.9, [0.9 + 0.81] * 3),
    (np.float32(0.5), [0.75] * 3),
    (1, [2.0] * 3),
    (1.0, [2.0] * 3),
    (None, [DF1 + DF2] * 3),
    ("0.9", [DF1 + DF2] * 3),
    (np.array([1, 1, 1]), [DF1 + DF2] * 3),
    (np.ones((3, 2)), [DF1 + DF2] * 3),
    (lambda t: A if t == Y1 else None, A + DF2),
    (lambda t: None if t == Y1 else A, DF1 + DF1 * A),
], ids=["array", "negative-stride", "strided-array", "array-of-one", "float", "np-float32", "int", "one", "none", "str",
        "int64-array", "2d-array", "array-then-none", "none-then-array"])
def test_step_discount(step, want):
    rows = [(T1, "a", "+", 1.0, "EUR"), (T2, "a", "+", 1.0, "EUR")]
    assert pv_vec(rows, Model(step)) == pytest.approx(want, rel=1e-12)


F1 = 1.112  # USD forward at T1, a curve point


@pytest.mark.parametrize("value,want", [
    (np.array([1.0, 2.0, 3.0]), [2.0, 4.0, 6.0]),
    (np.arange(6.0)[::2], [0.0, 4.0, 8.0]),
    (np.array([3.0]), [6.0] * 3),
    (None, [2 * F1] * 3),
    (3.0, [2 * F1] * 3),
    (np.array([1, 2, 3]), [2 * F1] * 3),
    (np.array([1.0, 2.0, 3.0], dtype=np.float32), [2 * F1] * 3),
    (np.array([[1.0, 2.0, 3.0]]), [2 * F1] * 3),
], ids=["array", "strided-array", "array-of-one", "none", "float", "int64-array", "float32-array", "2d-array"])
def test_model_value(value, want):
    model = Model(1.0, lambda name: value if name == "USD" else None)
    assert pv_vec([(T1, "a", "+", 2.0, "USD")], model) == pytest.approx(want, rel=1e-12)


def test_arrays_from_the_model_are_copied():
    """The model overwrites the arrays it returned at T1 when it advances to T2."""
    step, spot = np.full(3, 0.5), np.array([1.0, 2.0, 3.0])

    def advance(t):
        if t == Y1:
            return step
        step[:], spot[:] = 0.1, -1.0
        return 1.0

    exprs = {"snp": snapper(lambda xs: [xs[0]], ["USD"], ["s"])}
    rows = [(T1, "a", "+", 1.0, "snp"), (T1, "a", "+", 1.0, "EUR"), (T2, "a", "+", 1.0, "EUR"), (T2, "a", "+", 1.0, "s")]
    model = Model(advance, lambda name: spot if name == "USD" else None)
    assert pv_vec(rows, model, exprs=exprs) == pytest.approx([1.0 + 0.5, 1.0 + 1.0, 1.0 + 1.5], rel=1e-12)


def test_same_price_as_fixed_model_without_model_values():
    exprs = {
        "snp": snapper(lambda xs: [xs[0] * 0.5, xs[1]], ["USD", "W"], ["half", "w"]),
        "gain": phrase(lambda xs: [xs[0] - 1.0], "USD"),
        "cap": phrase(lambda xs: [np.minimum(xs[0], 1.05)], "USD"),
    }
    rows = [
        (PRC, "a", "+", 3.0, "EUR"),
        (PRC, "a", "+", 1.0, "snp"),
        (T0, "a", ">", 1.0, "b"),
        (T1, "a", "gain", 40.0, "EUR"),
        (T1, "a", "+", 10.0, "half"),
        (T1, "a", "w", 5.0, "USD"),
        (T2, "a", "+", 100.0, "EUR"),
        (T2, "b", "+", 90.0, "USD"),
        (T3, "b", "+", 20.0, "cap"),
    ]
    data = market(paths=5, flags=1)
    want = _tamrix.fixed_price(events(rows), Recorder(), data, exprs)
    model = Model()
    assert mc(rows, model, data, exprs) == pytest.approx(want, rel=1e-12)
    assert model.stat("PV_VEC") == pytest.approx([want] * 5, rel=1e-12)


def test_statistics_have_one_entry_per_path():
    usd = np.array([50.0, 150.0, 100.0, 200.0])
    model = Model(1.0, lambda name: usd if name == "USD" else None)
    rows = [(T0, "a", ">", 1.0, "b"), (T1, "a", "+", 100.0, "EUR"), (T2, "b", "+", 1.0, "USD")]
    price = mc(rows, model, market(paths=4, flags=15))
    assert [k for k, _ in model.stats] == ["PV_VEC", "CHOICES", "CASHFLOW"]
    pv = model.stat("PV_VEC")
    assert pv.tolist() == [100.0, 150.0, 100.0, 200.0]  # a tie keeps the track's own value
    assert price == pv.mean()
    assert model.stat("CHOICES")[0][0].tolist() == [0, 1, 0, 1]
    flows = model.stat("CASHFLOW")
    assert all(v.shape == (4,) for track in flows.values() for v in track.values())
    assert sum(flows[0].values()).tolist() == pv.tolist()
    assert flows[1][2].tolist() == usd.tolist()


@pytest.mark.parametrize("flags,keys", [(None, []), (0, []), (1, ["PV_VEC"]), (9, ["PV_VEC", "CASHFLOW"])])
def test_flags_select_statistics(flags, keys):
    model = Model(1.0)
    mc([USD], model, market(flags=flags))
    assert [k for k, _ in model.stats] == keys


@pytest.mark.parametrize("seed", [0, 2**64 - 1])
def test_seed_is_carried_not_used(seed):
    assert mc([USD], Model(0.5), market(seed=seed)) == mc([USD], Model(0.5))


def without(data, *keys):
    data = {**data, "MC": dict(data["MC"])}
    for key in keys:
        section, _, name = key.rpartition("/")
        (data[section] if section else data).pop(name)
    return data


def replaced(data, **mc_keys):
    return {**data, "MC": {**data["MC"], **mc_keys}}


PARSE = "Error while parsing Dataset, caused by\n"
BAD = "Error in value of {}, likely incorrect type. caused by \n"


@pytest.mark.parametrize("data,message", [
    (without(market(), "MC", "PRICING_TS"), "Py Dictionary is missing key 'MC'"),
    (without(market(), "ASSETS", "MC"), "Py Dictionary is missing key 'ASSETS'"),
    ({**market(), "MC": [1]}, BAD.format("MC") + "TypeError: 'list' object cannot be converted to 'PyDict'"),
    (without(market(), "MC/PATHS", "MC/SEED"), "Py Dictionary is missing key 'PATHS'"),
    (without(replaced(market(), FLAGS=16), "MC/SEED"), "Py Dictionary is missing key 'SEED'"),
    (without(replaced(market(), FLAGS=16), "PRICING_TS"), "Invalid bits set in FLAG"),
    (without(market(), "PRICING_TS"), "Py Dictionary is missing key 'PRICING_TS'"),
    (replaced(market(), SEED=-1), BAD.format("SEED") + "OverflowError: "),
    (replaced(market(), SEED=2**64), BAD.format("SEED") + "OverflowError: "),
    (replaced(market(), SEED=1.5), BAD.format("SEED") + "TypeError: "),
    (replaced(market(), PATHS=-1), BAD.format("PATHS") + "OverflowError: "),
    (replaced(market(), FLAGS=-1), BAD.format("FLAGS") + "OverflowError: "),
], ids=["no-mc", "assets-first", "mc-not-dict", "no-paths", "no-seed", "flags-16", "no-pricing-ts", "seed-negative",
        "seed-too-large", "seed-float", "paths-negative", "flags-negative"])
def test_parameter_errors(data, message):
    model = Model()
    text = mc_error([USD], model, data)
    if message.endswith(": "):  # the interpreter's own conversion message follows
        assert text.startswith(PARSE + message)
    else:
        assert text == PARSE + message
    assert model.calls == []


class NoMethods(Recorder):
    pass


SHORT_EUR = dict(ASSETS, EUR=("ZERO_RATES", np.array([[0.5, 0.03], [2.0, 0.034]])))
OUT_OF_RANGE = ("Error in 'discount factor' value at 2.5, caused by \n'Error: Interpolation out of range at time 2.5.\n"
                " Perhaps the time range in forwards/discount data is too short.'")
EVAL = "Error during model evaluation, caused by\n"


@pytest.mark.parametrize("rows,model,data,exprs,message", [
    ([USD], Model(raiser(ValueError("no step"))), None, None,
     EVAL + "Error in Python method 'advance', caused by \nValueError: no step"),
    ([USD], NoMethods(), None, None,
     EVAL + "Error in Python method 'advance', caused by \nAttributeError: 'NoMethods' object has no attribute 'advance'"),
    ([USD], Model(1.0, raiser(KeyError("USD"))), None, None,
     event_error(0, T1, "+", "1", "Asset(USD)", "Error in Python method 'get_value', caused by \nKeyError: 'USD'")),
    ([(PRC, "a", "+", 1.0, "USD")], NoMethods(), None, None,
     event_error(0, PRC, "+", "1", "Asset(USD)",
                 "Error in Python method 'get_value', caused by \n"
                 "AttributeError: 'NoMethods' object has no attribute 'get_value'")),
    ([(T1, "a", "+", 1.0, "p")], Model(1.0), None, {"p": phrase(raiser(ValueError("bad")))},
     event_error(0, T1, "+", "1", "Phrase(p)", "Error in Phrase Evaluation, caused by \nValueError: bad")),
    ([(T1, "a", "+", 1.0, "EUR"), (at(2.5), "a", "+", 1.0, "EUR")], Model(), market(assets=SHORT_EUR), None,
     EVAL + OUT_OF_RANGE),
    ([(T1, "a", "+", 1.0, "snp"), (T2, "b", "+", 1.0, "EUR")], Model(1.0), None, EXPRS, EVAL + "Track 0 not found"),
    ([], Model(), None, None, EVAL + "Track 0 not found"),
    ([USD], Model(1.0), market(paths=0), None, EVAL + "Empty PV Vector"),
], ids=["advance-raises", "no-advance", "get_value-raises", "no-get_value", "phrase-raises", "fallback-df-fails",
        "no-track-0", "no-events", "no-paths"])
def test_valuation_errors(rows, model, data, exprs, message):
    assert mc_error(rows, model, data, exprs) == message


def test_discount_curve_only_read_without_a_model_step():
    rows = [(T1, "a", "+", 1.0, "EUR"), (at(2.5), "a", "+", 1.0, "EUR")]
    assert mc(rows, Model(1.0), market(assets=SHORT_EUR)) == 2.0


def test_null_time():
    rb = events([(None, "a", "+", 1.0, "USD")])
    with pytest.raises(RuntimeError) as err:
        _tamrix.mc_price(rb, Model(), market(), {})
    text = str(err.value)
    assert text.startswith(EVAL + "Error at event:\n  #0: ") and text.endswith(", caused by \nmissing time")


def wrong(n=5):
    return np.full(n, 0.5)


@pytest.mark.parametrize("rows,model,exprs,wrapped", [
    ([USD], Model(wrong()), None, False),
    ([USD], Model(1.0, wrong()), None, True),
    ([(T1, "a", "+", 1.0, "p")], Model(1.0), {"p": phrase(lambda xs: [wrong()])}, True),
    ([(T1, "a", "+", 1.0, "p")], Model(wrong(8)), {"p": phrase(lambda xs: [wrong()])}, True),
    ([(T1, "a", "+", 1.0, "snp"), (T2, "a", "+", 1.0, "s")], Model(1.0), {"snp": snapper(lambda xs: [wrong()], [], ["s"])},
     True),
    ([(T1, "a", "w", 1.0, "EUR")], Model(wrong(8)), {"w": phrase(lambda xs: [wrong()])}, True),
], ids=["advance", "get_value", "phrase", "phrase-on-path-discount", "snap", "weight"])
def test_vectors_of_mismatched_length(rows, model, exprs, wrapped):
    text = mc_error(rows, model, market(paths=8), exprs)
    assert text.startswith(EVAL)
    assert text.startswith(EVAL + "Error at event:\n  #") == wrapped
    cause = text.rpartition("caused by \n")[2] if wrapped else text[len(EVAL):]
    assert re.search(r"\b5\b", cause) and re.search(r"\b8\b", cause), cause


class Counting(GBM):
    def __init__(self, *args):
        super().__init__(*args)
        self.calls = []

    def advance(self, t):
        self.calls.append(("advance", t))
        return super().advance(t)

    def get_value(self, name):
        self.calls.append(("get_value", name))
        return super().get_value(name)


def test_gbm_european_call_matches_black_scholes():
    paths = 100_000
    model = Counting(100.0, 0.05, 0.2, paths, 12345, "STK", "EUR")
    rows, exprs = european_call(100.0, 1.0, asset="STK", base="EUR")
    price = mc(rows, model, model.market(PRC, flags=1), exprs)
    pv = model.stats["PV_VEC"]
    assert pv.shape == (paths,) and price == pytest.approx(pv.mean(), rel=1e-12)
    stderr = pv.std(ddof=1) / math.sqrt(paths)
    assert abs(price - bs_call(100.0, 100.0, 0.05, 0.2, 1.0)) < 3 * stderr
    assert model.calls == [("advance", yf(rows[0][0])), ("get_value", "STK"), ("get_value", "EUR")]


def test_asian_call_without_volatility_is_the_discounted_average():
    model = Counting(100.0, 0.05, 0.0, 10, 1, "STK", "EUR")
    rows, exprs = asian_call(100.0, 1.0, 12, asset="STK")
    price = mc(rows, model, model.market(PRC), exprs)
    times = [yf(at(k / 12)) for k in range(1, 13)]
    average = sum(100.0 * math.exp(0.05 * t) for t in times) / 12
    assert price == pytest.approx(math.exp(-0.05 * times[-1]) * (average - 100.0), rel=1e-12)
    assert model.calls == [call for t in times for call in (("advance", t), ("get_value", "STK"))]


# Neither fits in the address space: no allocation can succeed whatever the overcommit policy.
@pytest.mark.parametrize("paths", [2**64 - 1, 2**59])
def test_paths_too_large_to_allocate_raise_memory_error(paths):
    ds = dataset(PRC, base="USD", rate=0.05, MC={"PATHS": paths, "SEED": 1})
    rb = events([(PRC + YEAR_MS, "a", "+", 1.0, "USD")])
    with pytest.raises(MemoryError):
        _tamrix.mc_price(rb, Model(), ds, {})


def test_dataset_changed_by_a_conversion_is_still_read_safely():
    class Paths:
        def __index__(self):
            ds.pop("MC")  # the section stays alive while it is read
            return 4

    ds = dataset(PRC, base="USD", rate=0.05, MC={"PATHS": Paths(), "SEED": 1})
    rb = events([(PRC + YEAR_MS, "a", "+", 1.0, "USD")])
    assert _tamrix.mc_price(rb, Model(), ds, {}) == pytest.approx(math.exp(-0.05))
