"""European and Asian calls by Monte Carlo, the paths coming from a NumPy GBM model."""
import math

import numpy as np

import _tamrix
from black_scholes import bs_call
from gbm import GBM
from timetable import YEAR_MS, events, ms

PRICING = ms("2024-01-01")


def at(years):
    return PRICING + round(years * YEAR_MS)


def european_call(strike, years, asset="STK", base="USD"):
    """Track "opt" keeps the better of nothing and the exercise value on track "ex"."""
    t = at(years)
    rows = [(t, "opt", ">", 1.0, "ex"), (t, "ex", "+", 1.0, asset), (t, "ex", "+", -strike, base)]
    return rows, {}


def asian_call(strike, years, fixings, asset="STK"):
    """Call on the average of `fixings` equally spaced spots: a snapper keeps
    the running sum and count, a phrase pays at the last fixing."""
    exprs = {
        "start": {"type": "snapper", "fn": lambda xs: [0.0, 0.0], "inp": [], "out": ["sum", "n"]},
        "fix": {"type": "snapper", "fn": lambda xs: [xs[1] + xs[0], xs[2] + 1.0],
                "inp": [asset, "sum", "n"], "out": ["sum", "n"]},
        "payoff": {"type": "phrase", "fn": lambda xs: [np.maximum(xs[0] / xs[1] - strike, 0.0)],
                   "inp": ["sum", "n"]},
    }
    rows = [(PRICING, "asian", "+", 1.0, "start")]
    rows += [(at(years * k / fixings), "asian", "+", 1.0, "fix") for k in range(1, fixings + 1)]
    rows.append((at(years), "asian", "+", 1.0, "payoff"))
    return rows, exprs


def mc_price(model, contract):
    """Price and standard error from the per-path values of track 0."""
    rows, exprs = contract
    price = _tamrix.mc_price(events(rows), model, model.market(PRICING, flags=1), exprs)
    pv = model.stats["PV_VEC"]
    return price, pv.std(ddof=1) / math.sqrt(len(pv))


def main(spot=100.0, strike=100.0, rate=0.05, vol=0.2, years=1.0, paths=100_000, seed=2024):
    rows = [
        ("European call", european_call(strike, years), bs_call(spot, strike, rate, vol, years)),
        ("Asian call, 12 monthly fixings", asian_call(strike, years, 12), None),
    ]
    print(f"Monte Carlo, geometric Brownian motion: S={spot:g} K={strike:g} r={rate:g} vol={vol:g} "
          f"T={years:g} paths={paths}")
    print(f"{'contract':<32}{'MC price':>10}{'std err':>10}{'Black-Scholes':>15}")
    for name, contract, reference in rows:
        price, stderr = mc_price(GBM(spot, rate, vol, paths, seed), contract)
        ref_text = f"{reference:>15.6f}" if reference is not None else ""
        print(f"{name:<32}{price:>10.6f}{stderr:>10.6f}{ref_text}")


if __name__ == "__main__":
    main()
