"""backtest_py and backtest_csv: a replay from time 0 along historic values, cashflows per track."""
import gc
from datetime import datetime, timezone
from decimal import Decimal
from fractions import Fraction

import numpy as np
import pyarrow as pa
import pytest

import _tamrix
from timetable import Recorder, events, ms

DAY = 86_400_000
D0, D1, D2, D3, D4 = (ms("2024-01-02") + k * 30 * DAY for k in range(5))
SCHEMA = pa.schema([pa.field("index", pa.uint64(), nullable=False), pa.field("value", pa.float64(), nullable=False)])


class Source(Recorder):
    """A py_state serving get_value from a {(name, ts): value} table or a function, logging every call."""

    def __init__(self, prices):
        super().__init__()
        self.prices = prices
        self.calls = []

    def get_value(self, name, ts):
        self.calls.append((name, ts))
        return self.prices(name, ts) if callable(self.prices) else self.prices[name, ts]


def phrase(fn, *inp):
    return {"type": "phrase", "fn": fn, "inp": list(inp)}


def snapper(fn, inp, out):
    return {"type": "snapper", "fn": fn, "inp": list(inp), "out": list(out)}


def run_py(rows, exprs=None, state=None, base="EUR"):
    state = Source({}) if state is None else state
    assert _tamrix.backtest_py(events(rows), state, exprs or {}, base) is None
    return state


def run_csv(rows, exprs=None, state=None, base="EUR"):
    state = Recorder() if state is None else state
    assert _tamrix.backtest_csv(events(rows), state, "prices.csv", base, exprs or {}) is None
    return state


def flows(state):
    """{track key: {row index: cashflow}} from the one CASHFLOW statistic."""
    assert [key for key, _ in state.stats] == ["CASHFLOW"]
    return {track: dict(zip(rb.column("index").to_pylist(), rb.column("value").to_pylist()))
            for track, rb in state.stat("CASHFLOW").items()}


def approx(expected):
    return {track: pytest.approx(by_row, rel=1e-12) for track, by_row in expected.items()}


def single(ts):
    sec, milli = divmod(ts, 1000)
    clock = datetime.fromtimestamp(sec, timezone.utc).strftime("%Y-%m-%dT%H:%M:%S")
    return f"Single({clock}{f'.{milli:03d}' if milli else ''}Z)"


def event_error(i, ts, op, qty, unit, cause, track=0):
    return (f'Error during model evaluation, caused by\nError at event:\n  #{i}: track: "Track({track})", '
            f"time: {single(ts)}, op: {op}, qty: {qty}, unit: \"{unit}\", caused by \n{cause}")


def call_weight(xs):
    return [np.clip((xs[0] / xs[1] - 1.0) * 2.5, 0.0, 1.0)]


# Issue at D0 fixing S0; performance coupon at D1; a partial early redemption at D2 weighted by the
# performance; at D3 the holder takes the larger of the cash redemption and two shares paid at D4.
NOTE = [
    (D0, "note", "+", 1.0, "fix"),
    (D1, "note", "+", 2.0, "perf"),
    (D2, "note", "call", 100.0, "EUR"),
    (D3, "note", ">", 1.0, "shares"),
    (D4, "note", "+", 100.0, "EUR"),
    (D4, "shares", "+", 2.0, "ACME"),
]
NOTE_EXPRS = {
    "fix": snapper(lambda xs: [xs[0]], ["ACME"], ["S0"]),
    "perf": phrase(lambda xs: [xs[0] / xs[1]], "ACME", "S0"),
    "call": phrase(call_weight, "ACME", "S0"),
}


def note_flows(s0, s1, s2, s4):
    coupon, w, shares = 2.0 * s1 / s0, call_weight([s2, s0])[0], 2.0 * s4
    assert 0.0 <= w < 1.0
    if shares > 100.0:
        note = {1: coupon, 2: 100.0 * w, 3: shares * (1.0 - w), 4: 0.0}
    else:  # a tie keeps the cash redemption
        note = {1: coupon, 2: 100.0 * w, 3: 0.0, 4: 100.0 * (1.0 - w)}
    return {0: note, 1: {5: shares}}


@pytest.mark.parametrize("s4", [60.0, 45.0, 50.0], ids=["shares-win", "cash-wins", "tie-keeps-cash"])
def test_note_cashflows_from_python_prices(s4):
    prices = {("ACME", D0): 50.0, ("ACME", D1): 52.0, ("ACME", D2): 55.0, ("ACME", D4): s4}
    state = run_py(NOTE, NOTE_EXPRS, Source(prices))
    assert flows(state) == approx(note_flows(50.0, 52.0, 55.0, s4))
    assert state.calls == [("ACME", D0), ("ACME", D1), ("ACME", D2), ("ACME", D4)]
    assert all(type(ts) is int for _, ts in state.calls)


CSV_CASES = [
    ("any-asset-is-100", [(D0, "a", "+", 2.0, "ACME"), (D1, "a", "+", -0.5, "XYZ")], None, {0: {0: 200.0, 1: -50.0}}),
    ("base-is-1", [(D0, "a", "+", 2.0, "EUR")], None, {0: {0: 2.0}}),
    ("note", NOTE, NOTE_EXPRS, note_flows(100.0, 100.0, 100.0, 100.0)),
]


@pytest.mark.parametrize("rows,exprs,expected", [c[1:] for c in CSV_CASES], ids=[c[0] for c in CSV_CASES])
def test_csv_values_every_asset_at_100(rows, exprs, expected):
    assert flows(run_csv(rows, exprs)) == approx(expected)


BASE_CASES = [
    ("unit", [(D0, "a", "+", 3.0, "CHF")], {}, {0: {0: 3.0}}),
    ("phrase-input", [(D0, "a", "+", 2.0, "p")], {"p": phrase(lambda xs: [xs[0] * 7.0], "CHF")}, {0: {0: 14.0}}),
    ("snapper-input", [(D0, "a", "+", 1.0, "s"), (D1, "a", "+", 4.0, "c")],
     {"s": snapper(lambda xs: [xs[0]], ["CHF"], ["c"])}, {0: {1: 4.0}}),
    ("weight", [(D0, "a", "+", 5.0, "CHF"), (D1, "a", "CHF", 10.0, "CHF")], {}, {0: {0: 5.0, 1: 10.0}}),
]


@pytest.mark.parametrize("rows,exprs,expected", [c[1:] for c in BASE_CASES], ids=[c[0] for c in BASE_CASES])
def test_base_asset_never_reaches_python(rows, exprs, expected):
    state = run_py(rows, exprs, Source(lambda name, ts: 1e9), base="CHF")
    assert flows(state) == expected
    assert state.calls == []


@pytest.mark.parametrize("value,expected", [
    (105, 105.0), (2.5, 2.5), (np.float64(3.25), 3.25), (np.int64(7), 7.0), (True, 1.0),
    (Fraction(1, 4), 0.25), (Decimal("1.5"), 1.5),
], ids=["int", "float", "np-float64", "np-int64", "bool", "fraction", "decimal"])
def test_get_value_results_convertible_to_float(value, expected):
    state = run_py([(D0, "a", "+", 2.0, "ACME")], state=Source(lambda name, ts: value))
    assert flows(state) == {0: {0: 2.0 * expected}}


def no_price(name, ts):
    raise ValueError(f"no price for {name}")


PRICE_FAILURES = [
    ("none", Source(lambda name, ts: None), [(D1, "a", "+", 2.0, "ACME")], None,
     ("+", "2", "Asset(ACME)"), "TypeError: must be real number, not NoneType"),
    ("raises", Source(no_price), [(D1, "a", "+", 2.0, "ACME")], None,
     ("+", "2", "Asset(ACME)"), "ValueError: no price for ACME"),
    ("no-method", Recorder(), [(D1, "a", "+", 2.0, "ACME")], None,
     ("+", "2", "Asset(ACME)"), "AttributeError: 'Recorder' object has no attribute 'get_value'"),
    ("phrase-input", Source(no_price), [(D1, "a", "+", 2.0, "p")], {"p": phrase(lambda xs: [xs[0]], "ACME")},
     ("+", "2", "Phrase(p)"), "ValueError: no price for ACME"),
    ("weight", Source(no_price), [(D1, "a", "W", 2.0, "EUR")], None,
     ("W", "2", "Asset(EUR)"), "ValueError: no price for W"),
]


@pytest.mark.parametrize("state,rows,exprs,event,cause", [c[1:] for c in PRICE_FAILURES],
                         ids=[c[0] for c in PRICE_FAILURES])
def test_get_value_failure_stops_at_its_event(state, rows, exprs, event, cause):
    state.stats.clear()
    rows = [(D0, "a", "+", 1.0, "EUR")] + rows  # the base asset needs no call
    with pytest.raises(RuntimeError) as err:
        run_py(rows, exprs, state)
    assert str(err.value) == event_error(1, D1, *event, "Error in Python method 'get_value', caused by \n" + cause)
    assert state.stats == []


TIME_CASES = [
    ("epoch", [(0, "a", "+", 1.0, "ACME")], None),
    ("any-late-start", [(ms("2190-06-01"), "a", "+", 1.0, "ACME")], None),
    ("before-epoch", [(-1, "a", "+", 1.0, "ACME")], (0, -1, 0)),
    ("before-previous", [(10, "a", "+", 1.0, "EUR"), (9, "a", "+", 1.0, "EUR")], (1, 9, 10)),
]


@pytest.mark.parametrize("run", [run_py, run_csv], ids=["py", "csv"])
@pytest.mark.parametrize("rows,failure", [c[1:] for c in TIME_CASES], ids=[c[0] for c in TIME_CASES])
def test_replay_starts_at_time_0(run, rows, failure):
    state = Source(lambda name, ts: 100.0)
    if failure is None:
        run(rows, state=state)
        assert flows(state) == {0: {0: 100.0}}
        return
    i, ts, current = failure
    with pytest.raises(RuntimeError) as err:
        run(rows, state=state)
    assert str(err.value) == event_error(i, ts, "+", "1", f"Asset({rows[i][4]})",
                                         f"event time is earlier than the current time {current}")
    assert state.stats == [] and state.calls == []


@pytest.mark.parametrize("run", [run_py, run_csv], ids=["py", "csv"])
@pytest.mark.parametrize("rows,exprs", [
    ([], None),
    ([(D0, "a", "+", 1.0, "s")], {"s": snapper(lambda xs: [1.0], [], ["x"])}),
    ([(D0, "a", ">", 0.0, "ACME")], None),  # a choice against nothing records no cashflow
], ids=["no-events", "only-a-snapper", "zero-choice"])
def test_empty_ledger_gives_empty_cashflow_dict(run, rows, exprs):
    state = run(rows, exprs, Source(lambda name, ts: 100.0))
    assert state.stats == [("CASHFLOW", {})]


@pytest.mark.parametrize("run", [run_py, run_csv], ids=["py", "csv"])
def test_batches_have_the_cashflow_schema_and_own_their_memory(run):
    prices = {("ACME", D0): 50.0, ("ACME", D1): 52.0, ("ACME", D2): 55.0, ("ACME", D4): 60.0}
    state = run(NOTE, NOTE_EXPRS, Source(prices))
    batches = state.stat("CASHFLOW")
    assert sorted(batches) == [0, 1] and all(type(k) is int for k in batches)
    for rb in batches.values():
        assert type(rb) is pa.RecordBatch
        assert rb.schema.equals(SCHEMA, check_metadata=True)
        assert all(rb.column(i).null_count == 0 for i in range(2))
    expected = {k: rb.to_pydict() for k, rb in batches.items()}
    assert sorted(expected[0]["index"]) == [1, 2, 3, 4] and expected[1]["index"] == [5]
    del state
    gc.collect()
    assert {k: rb.to_pydict() for k, rb in batches.items()} == expected


def rss_bytes():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * 4096


class Discard:
    """A py_state that drops every batch at once, so only leaked memory stays."""

    def __init__(self, fail_at=None):
        self.fail_at = fail_at

    def set_stat(self, key, value):
        assert all(rb.num_rows > 0 for rb in value.values())

    def get_value(self, name, ts):
        if ts == self.fail_at:
            raise ValueError("gone")
        return 101.5


LOOP_ROWS = [(1000 * k, f"t{k % 6}", "+", 1.0, "ACME") for k in range(24)]


@pytest.mark.parametrize("call", [
    lambda rb: _tamrix.backtest_py(rb, Discard(), {}, "EUR"),
    lambda rb: _tamrix.backtest_csv(rb, Discard(), "", "EUR", {}),
    lambda rb: pytest.raises(RuntimeError, _tamrix.backtest_py, rb, Discard(fail_at=LOOP_ROWS[-1][0]), {}, "EUR"),
], ids=["py", "csv", "py-failing"])
def test_repeated_backtests_do_not_grow_memory(call):
    rb = events(LOOP_ROWS)
    for _ in range(2000):
        call(rb)
    gc.collect()
    before = rss_bytes()
    for _ in range(20000):
        call(rb)
    gc.collect()
    assert rss_bytes() - before < 8 * 2**20


def test_base_is_converted_before_expressions():
    rb = events([(ms("2024-01-02"), "a", "+", 1.0, "EUR")])
    with pytest.raises(UnicodeEncodeError):
        _tamrix.backtest_csv(rb, Recorder(), "file.csv", "\ud800", [])
