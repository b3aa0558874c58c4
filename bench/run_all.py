"""Benchmarks as ratios within one run (absolute timings on a shared machine are noise).

- Monte Carlo: time per path should stay flat as paths grow (vector work, no per-path
  Python calls), and the engine is compared with the same valuation written in NumPy.
- Grids: time should grow linearly with the node count at a fixed time step.
- Fixed model: time per event for a long bond.
"""
import math
import pathlib
import sys
import time

import numpy as np

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "examples"))
import _tamrix  # noqa: E402
from timetable import YEAR_MS, Recorder, dataset, events, forward_curve, ms  # noqa: E402

PRICING = ms("2024-01-01")


def best_of(fn, repeat=5):
    times = []
    for _ in range(repeat):
        t0 = time.perf_counter()
        fn()
        times.append(time.perf_counter() - t0)
    return min(times)


class PresetPaths:
    """A Monte Carlo model serving precomputed paths: measures the engine alone."""

    def __init__(self, spots, step_discount):
        self.spots, self.df, self.k = spots, step_discount, -1

    def advance(self, t):
        self.k += 1
        return self.df

    def get_value(self, name):
        return self.spots[self.k] if name == "STK" else None

    def set_stat(self, key, value):
        pass


def bench_mc():
    months = 12
    rows = [(PRICING + (k + 1) * YEAR_MS // 12, "avg", "+", 1.0 / months, "STK") for k in range(months)]
    rows.insert(0, (PRICING, "opt", ">", 1.0, "avg"))
    rb = events(rows)
    ds = dataset(PRICING, base="USD", rate=0.05, assets={"STK": forward_curve([0, 5], [100, 100])},
                 MC={"PATHS": 0, "SEED": 1})
    print("Monte Carlo (12 monthly fixings, average into a track, choice against it)")
    print(f"{'paths':>10}{'engine s':>12}{'ns/path/event':>16}{'numpy s':>12}{'engine/numpy':>14}")
    rng = np.random.default_rng(1)
    for paths in (10_000, 100_000, 1_000_000):
        spots = [100.0 * np.exp(rng.normal(0.0, 0.05, paths)) for _ in range(months)]
        df = np.full(paths, math.exp(-0.05 / 12))
        ds["MC"]["PATHS"] = paths
        engine = best_of(lambda: _tamrix.mc_price(rb, PresetPaths(spots, df), ds, {}), repeat=3)

        def numpy_ref():
            disc = np.ones(paths)
            total = np.zeros(paths)
            for k in range(months):
                disc = disc * df
                total = total + disc * (1.0 / months) * spots[k]
            return np.maximum(total, 0.0).mean()

        ref = best_of(numpy_ref, repeat=3)
        per = engine / paths / (months + 1) * 1e9
        print(f"{paths:>10}{engine:>12.4f}{per:>16.2f}{ref:>12.4f}{engine / ref:>14.2f}")


def bench_fd():
    ds = dataset(PRICING, base="USD", rate=0.05, assets={"STK": forward_curve([0, 5], [100, 100 * math.exp(0.25)])},
                 FD={"N_X": 0, "MAX_X": 1.5, "TIMESTEP": 1 / 365}, BS={"VOL": 0.2, "ASSET": "STK"})
    t = PRICING + YEAR_MS
    rb = events([(t, "opt", ">", 1.0, "pay"), (t, "pay", "+", -100.0, "USD"), (t, "pay", "+", 1.0, "STK")])
    print("Black-Scholes grid, European call, 365 steps")
    print(f"{'N_X':>10}{'seconds':>12}{'ns/node/step':>14}")
    for n_x in (100, 400, 1600):
        ds["FD"]["N_X"] = n_x
        s = best_of(lambda: _tamrix.fd_blackscholes_price(rb, Recorder(), ds, {}))
        print(f"{n_x:>10}{s:>12.4f}{s / (2 * n_x + 1) / 365 * 1e9:>14.2f}")


def bench_fixed():
    print("Fixed model, monthly coupons")
    print(f"{'events':>10}{'seconds':>12}{'us/event':>12}")
    ds = dataset(PRICING, base="USD", rate=0.03)
    ds["ASSETS"]["USD"] = ("ZERO_RATES", np.array([[0.0, 0.03], [1000.0, 0.03]]))
    for n in (1_000, 10_000, 100_000):
        rb = events([(PRICING + k * YEAR_MS // 1200, "bond", "+", 1.0, "USD") for k in range(n)])
        s = best_of(lambda: _tamrix.fixed_price(rb, Recorder(), ds, {}), repeat=3)
        print(f"{n:>10}{s:>12.4f}{s / n * 1e6:>12.3f}")


if __name__ == "__main__":
    bench_mc()
    print()
    bench_fd()
    print()
    bench_fixed()
