import math

import numpy as np
import pytest

import _tamrix
from black_scholes import bs_call, bs_put
from fd_options import american_put_rows
from timetable import YEAR_MS, Recorder, dataset, events, forward_curve, ms

PRC = ms("2024-01-01")


def bs_dataset(spot, rate, vol, n_x, max_x, timestep):
    """USD on a flat zero curve; STK a forward growing at the same rate."""
    stk = forward_curve([0.0, 10.0], [spot, spot * math.exp(10.0 * rate)])
    return dataset(PRC, base="USD", assets={"STK": stk}, rate=rate,
                   FD={"N_X": n_x, "MAX_X": max_x, "TIMESTEP": timestep},
                   BS={"VOL": vol, "ASSET": "STK"})


def lattice_ms(timestep):
    return int(timestep * YEAR_MS)


@pytest.mark.parametrize("call", [True, False], ids=["call", "put"])
def test_european_option_matches_black_scholes(call):
    s, k, r, vol, t = 100.0, 100.0, 0.05, 0.2, 1.0
    want = bs_call(s, k, r, vol, t) if call else bs_put(s, k, r, vol, t)
    assert want == pytest.approx(10.450584 if call else 5.573526, abs=1e-6)

    sign = 1.0 if call else -1.0
    mat = PRC + YEAR_MS
    rb = events([(mat, "opt", ">", 1.0, "pay"),
                 (mat, "pay", "+", -sign * k, "USD"),
                 (mat, "pay", "+", sign, "STK")])
    price = _tamrix.fd_blackscholes_price(rb, Recorder(), bs_dataset(s, r, vol, 400, 1.5, 1 / 365), {})
    assert price == pytest.approx(want, abs=1e-3)


# Finite-difference American put values, K = 40, r = 6% (Longstaff and Schwartz 2001, Table 1).
@pytest.mark.parametrize("spot,vol,years,reference", [
    (36, 0.2, 1, 4.478), (36, 0.2, 2, 4.840), (36, 0.4, 1, 7.101),
    (38, 0.2, 1, 3.250), (40, 0.2, 1, 2.314), (42, 0.2, 1, 1.617),
    (44, 0.2, 1, 1.110), (40, 0.4, 2, 6.920), (44, 0.4, 2, 5.647),
])
def test_american_put_matches_published_values(spot, vol, years, reference):
    timestep = 0.01
    rb = events(american_put_rows(40.0, round(years / timestep), lattice_ms(timestep)))
    price = _tamrix.fd_blackscholes_price(rb, Recorder(), bs_dataset(spot, 0.06, vol, 200, 1.5, timestep), {})
    assert price == pytest.approx(reference, abs=0.01)


ZERO_TIMES = np.array([0.5, 1.0, 2.0, 3.0, 5.0])
ZERO_RATES = np.array([0.02, 0.025, 0.03, 0.032, 0.035])


def hw_dataset(meanrev, vol, timestep=1 / 12, pricing_ts=PRC):
    curve = ("ZERO_RATES", np.column_stack([ZERO_TIMES, ZERO_RATES]))
    return dataset(pricing_ts, base="USD", assets={"USD": curve},
                   FD={"N_X": 100, "MAX_X": 0.2, "TIMESTEP": timestep},
                   HW={"MEANREV": meanrev, "VOL": vol})


@pytest.mark.parametrize("meanrev", [0.05, 0.0])
def test_hull_white_zero_coupon_bond_reprices_the_curve(meanrev):
    t = 3.3
    want = math.exp(-np.interp(t, ZERO_TIMES, ZERO_TIMES * ZERO_RATES))
    rb = events([(PRC + round(t * YEAR_MS), "bond", "+", 1.0, "USD")])
    price = _tamrix.fd_hullwhite_price(rb, Recorder(), hw_dataset(meanrev, 0.01), {})
    assert price / want == pytest.approx(1.0, abs=1e-4)


def test_price_is_the_value_at_the_pricing_time():
    # 2024 is a leap year: maturity is 366/365 years away, and no lattice time
    # of step 0.3 years lands on the pricing time.
    rate = 0.05
    ds = dataset(PRC, base="USD", rate=rate, FD={"N_X": 10, "MAX_X": 0.2, "TIMESTEP": 0.3},
                 HW={"MEANREV": 0.1, "VOL": 0.0})
    rb = events([(ms("2025-01-01"), "bond", "+", 1.0, "USD")])
    price = _tamrix.fd_hullwhite_price(rb, Recorder(), ds, {})
    assert price == pytest.approx(math.exp(-rate * 366 / 365), rel=1e-5)


def event_desc(row, track, unit):
    return (f'#{row}: track: "Track({track})", time: Single(2024-01-01T00:00:00Z), op: +, qty: 1, '
            f'unit: "{unit}"')


@pytest.mark.parametrize("rows,desc,cause", [
    ([(PRC, "main", "+", 1.0, "snp")], event_desc(0, 0, "Snapper(snp)"),
     "Feature Not Implemented: `Snapper in FD: snp`"),
    ([(PRC, "main", "+", 1.0, "out")], event_desc(0, 0, "Snap(out)"), "Feature Not Implemented: `Snap in FD: out`"),
    ([(PRC, "main", "+", 1.0, "phr")], event_desc(0, 0, "Phrase(phr)"),
     "Feature Not Implemented: `Phrase in FD: phr`"),
    ([(PRC, "main", "+", 1.0, None)], event_desc(0, 0, "<none>"), "Error in Event Specs: Missing Unit Name"),
    # the last row is applied first, before track "other" has any value
    ([(PRC, "other", "+", 1.0, "USD"), (PRC, "main", "+", 1.0, "other")], event_desc(1, 1, "Track(0)"),
     "Track 0 not found"),
], ids=["snapper", "snap", "phrase", "no_unit", "empty_track"])
def test_event_failures_name_the_event(rows, desc, cause):
    expressions = {
        "snp": {"type": "snapper", "fn": lambda: [1.0], "inp": [], "out": ["out"]},
        "phr": {"type": "phrase", "fn": lambda: [1.0], "inp": []},
    }
    with pytest.raises(RuntimeError) as info:
        _tamrix.fd_hullwhite_price(events(rows), Recorder(), hw_dataset(0.05, 0.01), expressions)
    assert str(info.value) == ("Error during model evaluation, caused by\nError at event:\n  " + desc
                               + ", caused by \n" + cause)


def test_empty_timetable_is_refused():
    with pytest.raises(RuntimeError) as info:
        _tamrix.fd_blackscholes_price(events([]), Recorder(), bs_dataset(100, 0.05, 0.2, 10, 1.0, 0.1), {})
    assert str(info.value) == ("Error during model evaluation, caused by\n"
                               "Cannot build a grid for a timetable without events")


def test_curve_failures_during_a_step_are_not_event_errors():
    # the base curve ends at 5 years; the contract at 6
    rb = events([(PRC + 6 * YEAR_MS, "bond", "+", 1.0, "USD")])
    with pytest.raises(RuntimeError) as info:
        _tamrix.fd_hullwhite_price(rb, Recorder(), hw_dataset(0.05, 0.01, timestep=0.5), {})
    assert str(info.value) == (
        "Error during model evaluation, caused by\n"
        "Error in 'discount' rate from time 5.5 to 6, caused by \n"
        "'Error: Interpolation out of range at time 6.\n Perhaps the time range in forwards/discount data is too short.'")


def grid_dataset(**fd):
    ds = bs_dataset(100.0, 0.05, 0.2, 10, 1.0, 0.01)
    ds["HW"] = {"MEANREV": 0.05, "VOL": 0.01}
    ds["FD"].update(fd)
    return ds


PREFIX = "Error while parsing Dataset, caused by\n"


@pytest.mark.parametrize("change,message", [
    (lambda ds: ds.pop("FD"), "Py Dictionary is missing key 'FD'"),
    (lambda ds: ds["FD"].pop("N_X"), "Py Dictionary is missing key 'N_X'"),
    (lambda ds: ds["FD"].update(N_X=-1), "Error in value of N_X, likely incorrect type. caused by \n"
                                         "OverflowError: can't convert negative int to unsigned"),
    (lambda ds: ds["FD"].pop("MAX_X"), "Py Dictionary is missing key 'MAX_X'"),
    (lambda ds: ds["FD"].pop("TIMESTEP"), "Py Dictionary is missing key 'TIMESTEP'"),
    (lambda ds: ds["FD"].update(FLAGS=16), "Invalid bits set in FLAG"),
    (lambda ds: ds.pop("PRICING_TS"), "Py Dictionary is missing key 'PRICING_TS'"),
    # grid values are checked once every key is read: a missing key comes first
    (lambda ds: ds["FD"].update(N_X=0, MAX_X=None), "Error in value of MAX_X, likely incorrect type. caused by \n"
                                                    "TypeError: must be real number, not NoneType"),
    (lambda ds: ds["FD"].update(N_X=0), "Invalid value '0' for key 'N_X'"),
    (lambda ds: ds["FD"].update(MAX_X=-1.0), "Invalid value '-1' for key 'MAX_X'"),
    (lambda ds: ds["FD"].update(MAX_X=math.inf), "Invalid value 'inf' for key 'MAX_X'"),
    (lambda ds: ds["FD"].update(TIMESTEP=1e-12), "Invalid value '0.000000000001' for key 'TIMESTEP'"),
    (lambda ds: ds["FD"].update(TIMESTEP=math.nan), "Invalid value 'NaN' for key 'TIMESTEP'"),
])
@pytest.mark.parametrize("fn", [_tamrix.fd_blackscholes_price, _tamrix.fd_hullwhite_price], ids=["bs", "hw"])
def test_grid_dataset_errors(change, message, fn):
    ds = grid_dataset()
    change(ds)
    rb = events([(PRC + YEAR_MS, "opt", "+", 1.0, "USD")])
    with pytest.raises(RuntimeError) as err:
        fn(rb, Recorder(), ds, {})
    assert str(err.value) == PREFIX + message


@pytest.mark.parametrize("fn,section,key", [
    (_tamrix.fd_blackscholes_price, "BS", None), (_tamrix.fd_blackscholes_price, "BS", "VOL"),
    (_tamrix.fd_blackscholes_price, "BS", "ASSET"), (_tamrix.fd_hullwhite_price, "HW", None),
    (_tamrix.fd_hullwhite_price, "HW", "MEANREV"), (_tamrix.fd_hullwhite_price, "HW", "VOL"),
])
def test_model_section_keys_are_required(fn, section, key):
    ds = grid_dataset()
    if key is None:
        ds.pop(section)
    else:
        ds[section].pop(key)
    rb = events([(PRC + YEAR_MS, "opt", "+", 1.0, "USD")])
    with pytest.raises(RuntimeError) as err:
        fn(rb, Recorder(), ds, {})
    assert str(err.value) == PREFIX + f"Py Dictionary is missing key '{key or section}'"
