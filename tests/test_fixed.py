"""fixed_price: one deterministic scenario on the dataset's curves."""
import math
from datetime import datetime, timezone

import numpy as np
import pyarrow as pa
import pytest

import _tamrix
from timetable import YEAR_MS, Recorder, dataset, dictionary, events, ms

PRC = ms("2024-01-01")
EUR_PTS = [(0.5, 0.030), (2.0, 0.034), (5.0, 0.037), (10.0, 0.040)]  # zero rates, first point after 0
USD_PTS = [(0.5, 1.10), (1.0, 1.112), (5.0, 1.16)]  # EUR price of one USD for delivery at t
W_PTS = [(0.0, 0.6), (5.0, 0.8)]  # an asset usable as a weight
MARKET = dataset(PRC, base="EUR", assets={
    "EUR": ("ZERO_RATES", np.array(EUR_PTS)),
    "USD": ("FORWARDS", np.array(USD_PTS)),
    "W": ("FORWARDS", np.array(W_PTS)),
})


def at(years):
    return PRC + round(years * YEAR_MS)


def log_value(points, t):
    """y(t) of a log-form curve: through the origin before a first point after 0, linear between points."""
    ts = [p[0] for p in points]
    ys = [p[1] for p in points]
    if ts[0] > 0 and t <= ts[0]:
        return ys[0] * t / ts[0]
    assert ts[0] <= t <= ts[-1]
    i = max(k for k in range(len(ts) - 1) if ts[k] <= t) if len(ts) > 1 else 0
    if t == ts[i]:
        return ys[i]
    return ys[i] + (t - ts[i]) * (ys[i + 1] - ys[i]) / (ts[i + 1] - ts[i])


def yf(ts):
    return (ts - PRC) / YEAR_MS


def df(ts, pts=EUR_PTS):
    return math.exp(-log_value([(t, t * r) for t, r in pts], yf(ts)))


def fwd(ts, pts=USD_PTS):
    return math.exp(log_value([(t, math.log(f)) for t, f in pts], yf(ts)))


def price(rows, exprs=None, data=MARKET, state=None):
    rb = rows if isinstance(rows, pa.RecordBatch) else events(rows)
    return _tamrix.fixed_price(rb, state if state is not None else Recorder(), data, exprs or {})


def phrase(fn, *inp):
    return {"type": "phrase", "fn": fn, "inp": list(inp)}


def snapper(fn, inp, out):
    return {"type": "snapper", "fn": fn, "inp": list(inp), "out": list(out)}


def single(ts):
    sec, milli = divmod(ts, 1000)
    clock = datetime.fromtimestamp(sec, timezone.utc).strftime("%Y-%m-%dT%H:%M:%S")
    return f"Single({clock}{f'.{milli:03d}' if milli else ''}Z)"


def event_error(i, track, ts, op, qty, unit, cause):
    return (f'Error during model evaluation, caused by\nError at event:\n  #{i}: track: "Track({track})", '
            f'time: {single(ts)}, op: {op}, qty: {qty}, unit: "{unit}", caused by \n{cause}')


def test_bond_on_zero_curve():
    rows = [(at(k), "bond", "+", 5.0, "EUR") for k in range(1, 6)] + [(at(5), "bond", "+", 100.0, "EUR")]
    want = sum(5.0 * df(at(k)) for k in range(1, 6)) + 100.0 * df(at(5))
    assert price(rows) == pytest.approx(want, rel=1e-12)


@pytest.mark.parametrize("usd_level,other_wins", [(150.0, True), (50.0, False)], ids=["other-track", "own-track"])
def test_choice_between_tracks(usd_level, other_wins):
    usd = [(0.5, usd_level), (2.0, usd_level * 1.01), (4.0, usd_level * 1.05)]
    data = dataset(PRC, base="EUR", assets={"EUR": ("ZERO_RATES", np.array(EUR_PTS)), "USD": ("FORWARDS", np.array(usd))},
                   FIXED={"FLAGS": 2})
    t0, t1, t2 = at(0.1), at(0.4), at(3.0)  # t0, t1 before the first curve point
    rows = [(t0, "a", ">", 1.0, "b"), (t1, "a", "+", 100.0, "EUR"), (t2, "b", "+", 1.0, "USD")]
    own, other = 100.0 * df(t1), fwd(t2, usd) * df(t2)
    assert (other > own) == other_wins
    state = Recorder()
    assert price(rows, data=data, state=state) == pytest.approx(max(own, other), rel=1e-12)
    assert state.stat("CHOICES")[0][0].tolist() == [int(other_wins)]


@pytest.mark.parametrize("years", [0.3, 2.5, 5.0], ids=["before-first-point", "between-points", "last-point"])
def test_forward_on_non_base_asset(years):
    t = at(years)
    rows = [(t, "fwd", "+", 1000.0, "USD"), (t, "fwd", "+", -1100.0, "EUR")]
    assert price(rows) == pytest.approx(1000.0 * fwd(t) * df(t) - 1100.0 * df(t), rel=1e-12)


T0, T1, T2, T3 = at(0.25), at(1.5), at(3.0), at(4.0)


@pytest.mark.parametrize("op,weight", [
    ("wp", lambda: fwd(T1) - 1.0),
    ("ws", lambda: 0.5 * fwd(T0)),
    ("W", lambda: fwd(T1, W_PTS)),
], ids=["phrase", "snap", "asset"])
def test_weighted_payment(op, weight):
    exprs = {"snp": snapper(lambda xs: [xs[0] * 0.5], ["USD"], ["ws"]), "wp": phrase(lambda xs: [xs[0] - 1.0], "USD")}
    rows = [(T0, "a", "+", 1.0, "snp"), (T1, "a", op, 40.0, "EUR"), (T2, "a", "+", 100.0, "EUR")]
    w = weight()
    assert 0.05 < w < 0.95
    assert price(rows, exprs) == pytest.approx(100.0 * df(T2) * (1 - w) + 40.0 * df(T1) * w, rel=1e-12)
    # on a track without a value yet, the event leaves w times its value
    assert price(rows[:2], exprs) == pytest.approx(40.0 * df(T1) * w, rel=1e-12)


def test_snapper_outputs_feed_later_events():
    exprs = {
        # a third output without a name is dropped
        "snp": snapper(lambda xs: [xs[0], 2.0 * xs[0], 99.0], ["USD"], ["s1", "s2"]),
        "p": phrase(lambda xs: [3.0 * xs[0]], "s1"),
    }
    rows = [
        (T0, "a", "+", 1.0, "snp"),
        (T1, "a", "+", 10.0, "s2"),   # reads the snap taken at T0
        (T2, "a", "+", 1.0, "snp"),   # replaces both snaps
        (T3, "a", "s1", 1.0, "EUR"),  # snap as weight over the value of the row below
        (T3, "a", "+", 1.0, "p"),     # phrase input from the snap taken at T2
    ]
    s1 = fwd(T2)
    later = 3.0 * s1 * df(T3)
    want = 10.0 * 2.0 * fwd(T0) * df(T1) + later * (1 - s1) + df(T3) * s1
    assert price(rows, exprs) == pytest.approx(want, rel=1e-12)


@pytest.mark.parametrize("case,w", [("asset", 0.6), ("snap", 0.4), ("phrase", 0.25)])
def test_name_resolution_prefers_phrase_then_snap_then_asset(case, w):
    data = dataset(PRC, base="EUR", assets={"EUR": ("ZERO_RATES", np.array(EUR_PTS)),
                                            "N": ("FORWARDS", np.array([[0.0, 0.6], [5.0, 0.6]]))})
    exprs = {
        "snp": snapper(lambda xs: [0.4], [], ["N" if case != "asset" else "other"]),
        "probe": phrase(lambda xs: [xs[0]], "N"),
    }
    if case == "phrase":
        exprs["N"] = phrase(lambda xs: [0.25])
    rows = [(T0, "a", "+", 1.0, "snp"),
            (T1, "a", "+", 1.0, "probe"),  # phrase input named N
            (T1, "a", "+", 10.0, "N"),     # unit named N
            (T2, "a", "N", 100.0, "EUR")]  # weight named N
    want = 11.0 * w * df(T1) + 100.0 * w * df(T2)
    assert price(rows, exprs, data) == pytest.approx(want, rel=1e-12)


def test_equal_timestamps_in_row_order():
    exprs = {"snp": snapper(lambda xs: [xs[0]], ["USD"], ["s"])}
    rows = [(T1, "a", "+", 1.0, "snp"), (T1, "a", "+", 2.0, "s"), (T1, "a", "+", 3.0, "EUR"), (T1, "a", "+", 4.0, "EUR")]
    assert price(rows, exprs) == pytest.approx((2.0 * fwd(T1) + 7.0) * df(T1), rel=1e-12)


@pytest.mark.parametrize("curve", [EUR_PTS, [(0.0, 0.05), (3.0, 0.06)]], ids=["first-point-after-0", "first-point-at-0"])
def test_event_at_pricing_time_is_undiscounted(curve):
    data = dataset(PRC, base="EUR", assets={"EUR": ("ZERO_RATES", np.array(curve))})
    assert price([(PRC, "a", "+", 7.0, "EUR"), (PRC, "a", "+", 0.5, "EUR")], data=data) == 7.5


def with_unit_column(rb, texts, keys):
    cols = [rb.column(i) for i in range(4)] + [dictionary(texts, keys)]
    return pa.RecordBatch.from_arrays(cols, names=rb.schema.names)


SHORT_EUR = dataset(PRC, base="EUR", assets={"EUR": ("ZERO_RATES", np.array([[0.5, 0.03], [2.0, 0.034]]))})
NO_BASE = dataset(PRC, base="EUR", assets={})
del NO_BASE["ASSETS"]["EUR"]
OUT_OF_RANGE = "Error: Interpolation out of range at time {t}.\n Perhaps the time range in forwards/discount data is too short."
SNAPS = {"snp": snapper(lambda xs: [1.0], [], ["s", "u"])}
WRAPPED = [
    ("before-pricing-time", [(PRC - 500, "a", "+", 1.0, "EUR")], None,
     event_error(0, 0, PRC - 500, "+", "1", "Asset(EUR)", f"event time is earlier than the current time {PRC}")),
    ("before-previous-event", [(T1, "a", "+", 1.0, "EUR"), (T0, "a", "+", 2.5, "EUR")], None,
     event_error(1, 0, T0, "+", "2.5", "Asset(EUR)", f"event time is earlier than the current time {T1}")),
    ("snap-before-snapper", [(T0, "a", "+", 1.0, "s"), (T1, "a", "+", 1.0, "snp")], SNAPS,
     event_error(0, 0, T0, "+", "1", "Snap(s)", "Unknown Snap 's'")),
    ("snap-never-returned", [(T0, "a", "+", 1.0, "snp"), (T1, "b", "+", 1.0, "u")], SNAPS,
     event_error(1, 1, T1, "+", "1", "Snap(u)", "Unknown Snap 'u'")),
    ("null-unit-key", [(T0, "a", "+", 1.0, None)], None,
     event_error(0, 0, T0, "+", "1", "<none>", "Error in Event Specs: Missing Unit Name")),
    ("weight-not-found", [(T0, "a", "nothing", 1.0, "EUR")], None,
     event_error(0, 0, T0, "nothing", "1", "Asset(EUR)",
                 "Asset 'nothing' not found in snaps, expressions, or in dataset[ASSETS]")),
    ("asset-not-found", [(T0, "a", "+", -3.0, "GBP")], None,
     event_error(0, 0, T0, "+", "-3", "Asset(GBP)", "Asset 'GBP' not found in snaps, expressions, or in dataset[ASSETS]")),
    ("asset-curve-too-short", [(at(6), "a", "+", 1.0, "USD")], None,
     event_error(0, 0, at(6), "+", "1", "Asset(USD)", OUT_OF_RANGE.format(t=6))),
]
UNWRAPPED = [
    ("track-ref-without-later-events", [(T0, "a", "+", 1.0, "EUR"), (T0, "b", "+", 1.0, "EUR"), (T1, "a", ">", 1.0, "b")],
     None, MARKET, "Track 1 not found"),
    ("base-curve-too-short", [(T0, "a", "+", 1.0, "EUR"), (at(2.5), "a", "+", 1.0, "EUR")], None, SHORT_EUR,
     "Error in 'discount factor' value at 2.5, caused by \n'" + OUT_OF_RANGE.format(t=2.5) + "'"),
    ("base-not-in-assets", [(T0, "a", "+", 1.0, "EUR")], None, NO_BASE,
     "Asset 'EUR' not found in snaps, expressions, or in dataset[ASSETS]"),
    ("no-track-0", [(T0, "a", "+", 1.0, "snp"), (T1, "b", "+", 1.0, "EUR")], SNAPS, MARKET, "Track 0 not found"),
    ("empty-timetable", [], None, MARKET, "Track 0 not found"),
    ("pay-without-track", [(T0, None, "+", 1.0, "EUR")], None, MARKET, "No track specified at event#0"),
]


@pytest.mark.parametrize("rows,exprs,message", [c[1:] for c in WRAPPED], ids=[c[0] for c in WRAPPED])
def test_event_errors(rows, exprs, message):
    with pytest.raises(RuntimeError) as err:
        price(rows, exprs)
    assert str(err.value) == message


def test_unnamed_unit_fails_at_its_event():
    rb = with_unit_column(events([(T0, "a", "+", 1.0, "EUR"), (T1, "a", "+", 2.0, "EUR")]), ["EUR", None], [0, 1])
    with pytest.raises(RuntimeError) as err:
        price(rb)
    assert str(err.value) == event_error(1, 0, T1, "+", "2", "<none>", "Unknown Unit")


@pytest.mark.parametrize("rows,exprs,data,message", [c[1:] for c in UNWRAPPED], ids=[c[0] for c in UNWRAPPED])
def test_errors_outside_the_event_wrapping(rows, exprs, data, message):
    with pytest.raises(RuntimeError) as err:
        price(rows, exprs, data)
    assert str(err.value) == "Error during model evaluation, caused by\n" + message
