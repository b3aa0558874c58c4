"""Contracts priced with the deterministic curve model (fixed_price)."""
import numpy as np

import _tamrix
from timetable import YEAR_MS, Recorder, dataset, events, forward_curve, ms

PRICING = ms("2024-01-01")
EUR_CURVE = ("ZERO_RATES", np.array([[0.5, 0.030], [2.0, 0.034], [5.0, 0.037], [10.0, 0.040]]))
USD_FORWARDS = forward_curve([0.0, 1.0, 5.0], [1.10, 1.112, 1.16])  # EUR price of one USD
MARKET = dataset(PRICING, base="EUR", assets={"EUR": EUR_CURVE, "USD": USD_FORWARDS})


def bond():
    """5-year annual 4% bond on 100 EUR."""
    rows = [(PRICING + k * YEAR_MS, "bond", "+", 4.0, "EUR") for k in range(1, 6)]
    rows.append((PRICING + 5 * YEAR_MS, "bond", "+", 100.0, "EUR"))
    state = Recorder()
    price = _tamrix.fixed_price(events(rows), state, {**MARKET, "FIXED": {"FLAGS": 8}}, {})
    flows = state.stat("CASHFLOW")[0]
    return price, {"discounted cashflows": [round(float(v[0]), 4) for _, v in sorted(flows.items())]}


def usd_forward():
    """Receive 1,000,000 USD against 1,110,000 EUR in 2 years."""
    t = PRICING + 2 * YEAR_MS
    rows = [(t, "fwd", "+", 1_000_000.0, "USD"), (t, "fwd", "+", -1_110_000.0, "EUR")]
    return _tamrix.fixed_price(events(rows), Recorder(), MARKET, {}), None


def choice_between_tracks():
    """Decide at T0 between 100 EUR at T1 and 90 USD at T2 (the larger value)."""
    t0, t1, t2 = PRICING + YEAR_MS // 2, PRICING + YEAR_MS, PRICING + 2 * YEAR_MS
    rows = [(t0, "holder", ">", 1.0, "usd leg"), (t1, "holder", "+", 100.0, "EUR"), (t2, "usd leg", "+", 90.0, "USD")]
    state = Recorder()
    price = _tamrix.fixed_price(events(rows), state, {**MARKET, "FIXED": {"FLAGS": 2}}, {})
    took_usd = bool(state.stat("CHOICES")[0][0][0])
    return price, {"took the USD leg": took_usd}


def digital_on_usd():
    """Pay 100 EUR in 3 years if the USD forward then is above 1.13 (a Python phrase)."""
    exprs = {"usd_above": {"type": "phrase", "fn": lambda xs: [(xs[0] > 1.13).astype(float)], "inp": ["USD"]}}
    rows = [(PRICING + 3 * YEAR_MS, "digital", "usd_above", 100.0, "EUR")]
    return _tamrix.fixed_price(events(rows), Recorder(), MARKET, exprs), None


def main():
    print("fixed_price: deterministic curves (EUR base)")
    print(f"{'contract':<28}{'price':>16}  details")
    for name, fn in [("5y 4% bond", bond), ("USD forward", usd_forward),
                     ("choice EUR vs USD leg", choice_between_tracks), ("digital on USD (phrase)", digital_on_usd)]:
        price, details = fn()
        print(f"{name:<28}{price:>16.6f}  {details if details is not None else ''}")


if __name__ == "__main__":
    main()
