"""A vectorised geometric Brownian motion model for _tamrix.mc_price.

The object is passed as `py_state`: the engine calls `advance(t)` once per
distinct event time, `get_value(name)` for asset values and `set_stat` for the
statistics. All paths move together as one NumPy array.
"""
from __future__ import annotations

import math

import numpy as np

from timetable import dataset, forward_curve, zero_curve


class GBM:
    """One stock under a flat rate: S(t) = S(0) exp((r - vol^2/2) t + vol W(t))."""

    def __init__(self, spot, rate, vol, paths, seed, asset="STK", base="USD"):
        self.spot0, self.rate, self.vol = float(spot), float(rate), float(vol)
        self.paths, self.seed = int(paths), int(seed)
        self.asset, self.base = asset, base
        self.rng = np.random.default_rng(self.seed)
        self.t = 0.0
        self.spot = np.full(self.paths, self.spot0)
        self.stats: dict[str, object] = {}

    def advance(self, t):
        """Moves every path to year fraction t with an exact lognormal step;
        returns the step discount, the same on every path."""
        dt = t - self.t
        if dt < 0.0:
            raise ValueError(f"time goes back from {self.t} to {t}")
        z = self.rng.standard_normal(self.paths)
        self.spot *= np.exp((self.rate - 0.5 * self.vol**2) * dt + self.vol * math.sqrt(dt) * z)
        self.t = t
        return math.exp(-self.rate * dt)

    def get_value(self, name):
        """The spot on every path for the model's asset; None lets the engine
        use the dataset (the base asset is worth 1)."""
        return self.spot if name == self.asset else None

    def set_stat(self, key, value):
        self.stats[key] = value

    def market(self, pricing_ts, flags=0, horizon=30.0):
        """A dataset agreeing with the model: flat base curve at the model's
        rate, the stock's forward growing at that rate."""
        stock = forward_curve([0.0, horizon], [self.spot0, self.spot0 * math.exp(self.rate * horizon)])
        return dataset(pricing_ts, base=self.base, assets={self.base: zero_curve(self.rate, horizon), self.asset: stock},
                       MC={"PATHS": self.paths, "SEED": self.seed, "FLAGS": flags})
