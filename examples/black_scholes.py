"""Black-Scholes formulas, the reference values beside the engine's prices."""
import math


def norm_cdf(x):
    return 0.5 * math.erfc(-x / math.sqrt(2.0))


def bs_call(s, k, r, vol, t):
    d1 = (math.log(s / k) + (r + vol * vol / 2) * t) / (vol * math.sqrt(t))
    d2 = d1 - vol * math.sqrt(t)
    return s * norm_cdf(d1) - k * math.exp(-r * t) * norm_cdf(d2)


def bs_put(s, k, r, vol, t):
    """By put-call parity."""
    return bs_call(s, k, r, vol, t) - s + k * math.exp(-r * t)
