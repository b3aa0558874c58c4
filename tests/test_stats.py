"""Statistics written to the state object by fixed_price."""
import gc
import math

import numpy as np
import pytest

import _tamrix
from timetable import YEAR_MS, Recorder, dataset, events, forward_curve, ms

PRC = ms("2024-01-01")
T0, T1, T2 = PRC + YEAR_MS // 4, PRC + YEAR_MS, PRC + 2 * YEAR_MS
RATE = 0.03
MARKET = dataset(PRC, base="EUR", rate=RATE, assets={"USD": forward_curve([0.0, 5.0], [150.0, 150.0]),
                                                     "W": forward_curve([0.0, 5.0], [0.25, 0.25])})
CHOICE = [(T0, "a", ">", 1.0, "b"), (T1, "a", "+", 100.0, "EUR"), (T2, "b", "+", 1.0, "USD")]  # "b" wins
BOND = [(PRC + k * YEAR_MS, "bond", "+", 5.0, "EUR") for k in range(1, 6)] + [(PRC + 5 * YEAR_MS, "bond", "+", 100.0, "EUR")]
WEIGHTED = [(T0, "a", "+", 3.0, "EUR"), (T1, "a", "W", 40.0, "EUR"), (T2, "a", "+", 100.0, "EUR")]
CHOICE_LOSES = [(T0, "a", "<", 1.0, "b")] + CHOICE[1:]


def df(ts):
    return math.exp(-RATE * (ts - PRC) / YEAR_MS)


def run(rows, fixed=None, state=None):
    state = Recorder() if state is None else state
    data = MARKET if fixed is None else {**MARKET, "FIXED": fixed}
    return _tamrix.fixed_price(events(rows), state, data, {}), state


@pytest.mark.parametrize("fixed,keys", [
    (None, []),
    ([], []),
    ("FLAGS", []),
    ({}, []),
    ({"FLAGS": 0}, []),
    ({"FLAGS": 1}, ["PV_VEC"]),
    ({"FLAGS": 2}, ["CHOICES"]),
    ({"FLAGS": 4}, []),
    ({"FLAGS": 8}, ["CASHFLOW"]),
    ({"FLAGS": 9}, ["PV_VEC", "CASHFLOW"]),
    ({"FLAGS": 15}, ["PV_VEC", "CHOICES", "CASHFLOW"]),
    ({"FLAGS": np.uint8(10)}, ["CHOICES", "CASHFLOW"]),
])
def test_flags_select_statistics(fixed, keys):
    _, state = run(CHOICE, fixed)
    assert [k for k, _ in state.stats] == keys


def test_statistics_content():
    price, state = run(CHOICE, {"FLAGS": 15})
    leg = 150.0 * df(T2)
    assert price == pytest.approx(leg, rel=1e-12)

    pv = state.stat("PV_VEC")
    assert pv.dtype == np.float64 and pv.shape == (1,) and pv[0] == price

    choices = state.stat("CHOICES")
    assert list(choices) == [0] and list(choices[0]) == [0]
    assert choices[0][0].dtype == np.uint64 and choices[0][0].tolist() == [1]

    flows = state.stat("CASHFLOW")
    assert {k: sorted(v) for k, v in flows.items()} == {0: [0, 1], 1: [2]}
    assert flows[0][1].tolist() == [0.0]  # the losing payment is zeroed
    assert flows[0][0][0] == pytest.approx(leg, rel=1e-12) and flows[1][2][0] == pytest.approx(leg, rel=1e-12)

    arrays = [choices[0][0]] + [a for track in flows.values() for a in track.values()]
    assert all(a.flags.writeable and a.ndim == 1 for a in arrays)
    assert all(a.dtype == np.float64 for track in flows.values() for a in track.values())
    del state
    gc.collect()
    for a in arrays:  # the arrays own their memory after the ledger is gone
        a[0] += 1.0
    assert choices[0][0].tolist() == [2]


def test_choices_recorded_when_no_choice_event():
    _, state = run(BOND, {"FLAGS": 2})
    assert state.stats == [("CHOICES", {})]


@pytest.mark.parametrize("rows", [BOND, CHOICE, CHOICE_LOSES, WEIGHTED], ids=["bond", "choice-won", "choice-lost", "weighted"])
def test_cashflows_sum_to_track_value(rows):
    price, state = run(rows, {"FLAGS": 9})
    flows = state.stat("CASHFLOW")[0]
    assert sum(v[0] for v in flows.values()) == pytest.approx(price, rel=1e-12)
    assert state.stat("PV_VEC")[0] == price


def test_bond_cashflows_are_discounted_payments():
    _, state = run(BOND, {"FLAGS": 8})
    flows = {row: v.tolist() for row, v in state.stat("CASHFLOW")[0].items()}
    want = {k - 1: [5.0 * df(PRC + k * YEAR_MS)] for k in range(1, 6)} | {5: [100.0 * df(PRC + 5 * YEAR_MS)]}
    assert flows.keys() == want.keys()
    assert all(flows[r] == pytest.approx(want[r], rel=1e-12) for r in want)


class NoStat:
    pass


class NotCallable:
    set_stat = 5


class RaisesAlways:
    def set_stat(self, key, value):
        raise KeyError(key)


class RaisesOnPv(Recorder):
    def set_stat(self, key, value, /):
        if key == "PV_VEC":
            raise ValueError("refused")
        super().set_stat(key, value)


@pytest.mark.parametrize("state", [NoStat(), NotCallable(), RaisesAlways(), RaisesOnPv()],
                         ids=["no-set_stat", "not-callable", "raises", "raises-on-first"])
def test_set_stat_failures_are_discarded(state):
    reference, _ = run(CHOICE)
    price, _ = run(CHOICE, {"FLAGS": 15}, state)
    assert price == reference
    if isinstance(state, RaisesOnPv):
        assert [k for k, _ in state.stats] == ["CHOICES", "CASHFLOW"]


OVERFLOW = "Error in value of FLAGS, likely incorrect type. caused by \nOverflowError: out of range integral type conversion attempted"


@pytest.mark.parametrize("flags,message", [
    (16, "Invalid bits set in FLAG"),
    (255, "Invalid bits set in FLAG"),
    (-1, OVERFLOW),
    (2**32, OVERFLOW),
])
def test_flag_errors(flags, message):
    with pytest.raises(RuntimeError) as err:
        run(CHOICE, {"FLAGS": flags})
    assert str(err.value) == "Error while parsing Dataset, caused by\n" + message


@pytest.mark.parametrize("flags", [1.0, "1", None])
def test_flags_not_an_integer(flags):
    with pytest.raises(RuntimeError) as err:
        run(CHOICE, {"FLAGS": flags})
    assert str(err.value).startswith(
        "Error while parsing Dataset, caused by\nError in value of FLAGS, likely incorrect type. caused by \nTypeError: ")
