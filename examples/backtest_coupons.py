"""Backtest of an asset-linked note against daily prices served by a Python object (backtest_py).

The note on 1000 EUR fixes the ACME level on 2024-01-02, pays a monthly coupon of 0.4% while ACME
is at least 80% of that level, and on 2025-01-02 the holder takes the larger of 1000 EUR in cash
and 1000 EUR worth of ACME at the initial level (the "physical" track).
"""
from datetime import datetime, timezone

import numpy as np

import _tamrix
from timetable import events, ms

DAY_MS = 86_400_000
BASE = "EUR"
NOTIONAL = 1000.0
ISSUE, MATURITY = ms("2024-01-02"), ms("2025-01-02")
COUPON_DATES = [ms(f"2024-{month:02d}-02") for month in range(2, 13)]


class DailyPrices:
    """Closing prices per day: a seeded random walk for each asset, from the first day on.

    Also the state object of the backtest: it keeps the statistics it receives.
    """

    def __init__(self, first_day_ms, days, spots, seed=2, daily_vol=0.02):
        rng = np.random.default_rng(seed)
        self.first_day = first_day_ms // DAY_MS
        self.closes = {name: spot * np.exp(np.cumsum(rng.normal(0.0, daily_vol, days)))
                       for name, spot in spots.items()}
        self.calls = 0
        self.stats = {}

    def get_value(self, name, ts_ms):
        self.calls += 1
        day = ts_ms // DAY_MS - self.first_day
        if day < 0:
            raise KeyError(f"no {name} price before {date_text(self.first_day * DAY_MS)}")
        return float(self.closes[name][day])

    def set_stat(self, key, value):
        self.stats[key] = value


def note_rows():
    rows = [(ISSUE, "note", "+", 1.0, "initial fixing")]
    rows += [(t, "note", "+", NOTIONAL, "coupon") for t in COUPON_DATES]
    rows += [
        (MATURITY, "note", ">", 1.0, "physical"),   # the holder's choice, against the later rows of "physical"
        (MATURITY, "note", "+", NOTIONAL, BASE),     # cash redemption
        (MATURITY, "physical", "+", NOTIONAL, "performance"),
    ]
    return rows


EXPRESSIONS = {
    "initial fixing": {"type": "snapper", "fn": lambda xs: [xs[0]], "inp": ["ACME"], "out": ["ACME_0"]},
    "coupon": {"type": "phrase", "fn": lambda xs: [0.004 * (xs[0] >= 0.8 * xs[1]).astype(float)],
               "inp": ["ACME", "ACME_0"]},
    "performance": {"type": "phrase", "fn": lambda xs: [xs[0] / xs[1]], "inp": ["ACME", "ACME_0"]},
}


def date_text(ts_ms):
    return datetime.fromtimestamp(ts_ms / 1000, timezone.utc).strftime("%Y-%m-%d")


def main():
    rows = note_rows()
    prices = DailyPrices(ISSUE, (MATURITY - ISSUE) // DAY_MS + 1, {"ACME": 100.0})
    _tamrix.backtest_py(events(rows), prices, EXPRESSIONS, BASE)

    tracks = list(dict.fromkeys(track for _, track, *_ in rows))  # track keys in order of first appearance
    acme = prices.closes["ACME"]
    print(f"backtest_py: note on ACME, initial {acme[0]:.4f}, final {acme[-1]:.4f} ({prices.calls} price look-ups)")
    for key, batch in sorted(prices.stats["CASHFLOW"].items()):
        print(f"track {key} ({tracks[key]})")
        print(f"  {'row':>4}  {'date':<10}  {'unit':<14}{'cashflow':>14}")
        flows = sorted(zip(batch.column("index").to_pylist(), batch.column("value").to_pylist()))
        for row, value in flows:
            ts, _, op, _, unit = rows[row]
            print(f"  {row:>4}  {date_text(ts):<10}  {unit if op != '>' else 'choice: ' + unit:<14}{value:>14.4f}")
        print(f"  {'total':<30}{sum(v for _, v in flows):>14.4f}")


if __name__ == "__main__":
    main()
