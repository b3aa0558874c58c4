"""Options and a callable bond on Crank-Nicolson grids."""
import math

import numpy as np

import _tamrix
from black_scholes import bs_put
from timetable import YEAR_MS, Recorder, dataset, events, forward_curve, ms

PRICING = ms("2024-01-01")


def bs_market(spot, rate, vol, timestep):
    """USD base on a flat zero curve; the stock's forward grows at the same rate."""
    stock = forward_curve([0.0, 10.0], [spot, spot * math.exp(10.0 * rate)])
    return dataset(PRICING, base="USD", assets={"STK": stock}, rate=rate,
                   FD={"N_X": 300, "MAX_X": 1.5, "TIMESTEP": timestep}, BS={"VOL": vol, "ASSET": "STK"})


def european_put(spot=100.0, strike=100.0, rate=0.05, vol=0.2):
    t = PRICING + YEAR_MS
    rows = [(t, "opt", ">", 1.0, "payoff"), (t, "payoff", "+", strike, "USD"), (t, "payoff", "+", -1.0, "STK")]
    price = _tamrix.fd_blackscholes_price(events(rows), Recorder(), bs_market(spot, rate, vol, 1 / 365), {})
    return price, bs_put(spot, strike, rate, vol, 1.0), "Black-Scholes formula"


def american_put_rows(strike, n_steps, step, start=PRICING):
    """Exercise at every grid time: "opt" keeps the better of holding and the
    exercise value on track "ex", which is emptied (it has no value yet at
    maturity) and refilled at each time; rows at one time apply last row first."""
    rows = []
    for k in range(n_steps + 1):
        t = start + k * step
        rows += [(t, "opt", ">", 1.0, "ex"), (t, "ex", "+", strike, "USD"), (t, "ex", "+", -1.0, "STK")]
        if k < n_steps:
            rows.append((t, "ex", "+", -1.0, "ex"))
    return rows


def american_put(spot=36.0, strike=40.0, rate=0.06, vol=0.2, years=1, timestep=0.01):
    rows = american_put_rows(strike, round(years / timestep), int(timestep * YEAR_MS))
    price = _tamrix.fd_blackscholes_price(events(rows), Recorder(), bs_market(spot, rate, vol, timestep), {})
    return price, 4.478, "Longstaff-Schwartz (2001) FD value"


def callable_bond():
    """5y annual 4% bond the issuer may call at par on the coupon dates of years 2 to 4."""
    curve = ("ZERO_RATES", np.array([[0.5, 0.030], [2.0, 0.034], [5.0, 0.037], [10.0, 0.040]]))
    market = dataset(PRICING, base="USD", assets={"USD": curve},
                     FD={"N_X": 200, "MAX_X": 0.3, "TIMESTEP": 1 / 52}, HW={"MEANREV": 0.05, "VOL": 0.01})
    straight, callable_rows = [], []
    for year in range(1, 6):
        t = PRICING + year * YEAR_MS
        straight.append((t, "bond", "+", 4.0, "USD"))
        callable_rows.append((t, "bond", "+", 4.0, "USD"))
        if 2 <= year <= 4:
            callable_rows += [(t, "bond", "<", 1.0, "call"), (t, "call", "+", 100.0, "USD")]
            if year < 4:
                callable_rows.append((t, "call", "+", -1.0, "call"))
    last = PRICING + 5 * YEAR_MS
    straight.append((last, "bond", "+", 100.0, "USD"))
    callable_rows.append((last, "bond", "+", 100.0, "USD"))
    plain = _tamrix.fd_hullwhite_price(events(straight), Recorder(), market, {})
    curve_value = _tamrix.fixed_price(events(straight), Recorder(), market, {})
    called = _tamrix.fd_hullwhite_price(events(callable_rows), Recorder(), market, {})
    return [("straight 5y 4% bond (HW)", plain, curve_value, "curve value"),
            ("callable 5y 4% bond (HW)", called, None, "")]


def main():
    print("Crank-Nicolson grids")
    print(f"{'contract':<30}{'grid price':>12}{'reference':>12}  reference source")
    rows = [("European put (BS)", *european_put()), ("American put S=36 (BS)", *american_put())]
    rows += callable_bond()
    for name, price, ref, source in rows:
        ref_text = f"{ref:>12.6f}" if ref is not None else " " * 12
        print(f"{name:<30}{price:>12.6f}{ref_text}  {source}")


if __name__ == "__main__":
    main()
