"""Reading the dataset for fixed_price: order of reading, messages, accepted array layouts."""
import re

import numpy as np
import pytest

import _tamrix
from timetable import YEAR_MS, Recorder, events, ms

PRC = ms("2024-01-01")
EUR = np.array([[0.5, 0.03], [2.0, 0.034], [5.0, 0.037]])
USD = np.array([[0.0, 1.10], [1.0, 1.112], [5.0, 1.16]])
ROWS = [(PRC + YEAR_MS, "a", "+", 1.0, "USD"), (PRC + 3 * YEAR_MS, "a", "+", 1.0, "EUR")]
DROP = object()


def data(**changes):
    """The reference dataset with top-level keys replaced (DROP removes one); USD=... replaces that curve."""
    d = {"BASE": "EUR", "PRICING_TS": PRC, "ASSETS": {"EUR": ("ZERO_RATES", EUR), "USD": ("FORWARDS", USD)}}
    if "USD" in changes:
        d["ASSETS"] = {**d["ASSETS"], "USD": changes.pop("USD")}
    d.update(changes)
    return {k: v for k, v in d.items() if v is not DROP}


def price(dataset):
    return _tamrix.fixed_price(events(ROWS), Recorder(), dataset, {})


REFERENCE = price(data())
DECREASING = USD[::-1].copy()
NDARRAY_TYPE = r"TypeError: '(numpy\.)?ndarray' object cannot be converted to '.+'"
TS_TYPE = "Error in value of PRICING_TS, likely incorrect type. caused by \nTypeError: "

CASES = [
    # BASE, then ASSETS, then each curve, then PRICING_TS, then FIXED
    ("base-missing", data(BASE=DROP, ASSETS=DROP, PRICING_TS=DROP), "Py Dictionary is missing key 'BASE'"),
    ("base-not-str", data(BASE=5, ASSETS=DROP),
     "Error in value of BASE, likely incorrect type. caused by \nTypeError: 'int' object cannot be converted to 'PyString'"),
    ("assets-missing", data(ASSETS=DROP, PRICING_TS=DROP), "Py Dictionary is missing key 'ASSETS'"),
    ("assets-not-dict", data(ASSETS=[("EUR", EUR)], PRICING_TS=DROP),
     "Error in value of ASSETS, likely incorrect type. caused by \nTypeError: 'list' object cannot be converted to 'PyDict'"),
    ("entry-not-tuple", data(USD=["FORWARDS", USD], PRICING_TS=DROP),
     "TypeError: 'list' object cannot be converted to 'PyTuple'"),
    ("asset-name-not-str", data(ASSETS={"EUR": ("ZERO_RATES", EUR), 7: ("FORWARDS", USD)}), re.compile(r"TypeError: .+")),
    ("type-not-str", data(USD=(1, USD)), re.compile(r"TypeError: .+")),
    ("tuple-too-short", data(USD=("FORWARDS",)), re.compile(r"\w+Error: .+")),
    ("table-nested-list", data(USD=("FORWARDS", USD.tolist())),
     re.compile(r"TypeError: 'list' object cannot be converted to '.+'")),
    ("table-int64", data(USD=("FORWARDS", np.array([[0, 1], [5, 2]]))), re.compile(NDARRAY_TYPE)),
    ("table-float32", data(USD=("FORWARDS", USD.astype(np.float32))), re.compile(NDARRAY_TYPE)),
    ("table-one-dimension", data(USD=("FORWARDS", USD[:, 1].copy())), re.compile(NDARRAY_TYPE)),
    ("table-one-column", data(USD=("FORWARDS", USD[:, :1].copy())), re.compile(r"(?is).*column.*")),
    ("table-no-rows", data(USD=("FORWARDS", np.zeros((0, 2)))), re.compile(r"(?s).+")),
    ("times-decreasing", data(USD=("FORWARDS", DECREASING)),
     "Error while parsing Asset, caused by \nBuilderError Values in the x axis need to be strictly monotonic rising"),
    ("times-repeated", data(USD=("FORWARDS", np.array([[1.0, 1.1], [1.0, 1.2]]))),
     "Error while parsing Asset, caused by \nBuilderError Values in the x axis need to be strictly monotonic rising"),
    # the curve type is tested after the table was read, before the curve is built
    ("unknown-type", data(USD=("SPOT", DECREASING)), "Unknown asset type SPOT"),
    ("type-case-sensitive", data(USD=("forwards", USD)), "Unknown asset type forwards"),
    ("unknown-type-bad-table", data(USD=("SPOT", np.array([[0, 1], [5, 2]]))), re.compile(NDARRAY_TYPE)),
    ("pricing-ts-missing", data(PRICING_TS=DROP, FIXED={"FLAGS": 16}), "Py Dictionary is missing key 'PRICING_TS'"),
    ("pricing-ts-float", data(PRICING_TS=float(PRC), FIXED={"FLAGS": 16}), re.compile(re.escape(TS_TYPE) + ".+")),
    ("pricing-ts-str", data(PRICING_TS=str(PRC)), re.compile(re.escape(TS_TYPE) + ".+")),
    ("pricing-ts-too-large", data(PRICING_TS=2**63),
     re.compile(re.escape("Error in value of PRICING_TS, likely incorrect type. caused by \nOverflowError: ") + ".+")),
    ("flags", data(FIXED={"FLAGS": 16}), "Invalid bits set in FLAG"),
]


@pytest.mark.parametrize("dataset,expected", [c[1:] for c in CASES], ids=[c[0] for c in CASES])
def test_dataset_errors(dataset, expected):
    with pytest.raises(RuntimeError) as err:
        price(dataset)
    prefix = "Error while parsing Dataset, caused by\n"
    message = str(err.value)
    if isinstance(expected, str):
        assert message == prefix + expected
    else:
        assert message.startswith(prefix) and expected.fullmatch(message[len(prefix):]), message


def three_columns(table):
    return np.column_stack([table, np.full(len(table), np.nan)])


def strided(table):
    """Rows and columns far apart in memory: every other row and column of a larger array."""
    big = np.full((2 * len(table), 6), np.nan)
    big[::2, 0], big[::2, 2] = table[:, 0], table[:, 1]
    return big[::2, ::2]


@pytest.mark.parametrize("layout", [
    three_columns,
    lambda t: np.asfortranarray(three_columns(t)),
    strided,
    lambda t: t[::-1].copy()[::-1],
], ids=["extra-column", "fortran", "strided", "negative-strides"])
def test_array_layouts_are_honoured(layout):
    eur, usd = layout(EUR), layout(USD)
    assert price(data(ASSETS={"EUR": ("ZERO_RATES", eur), "USD": ("FORWARDS", usd, "ignored")})) == REFERENCE


@pytest.mark.parametrize("pricing_ts", [np.int64(PRC), np.uint64(PRC)], ids=["int64", "uint64"])
def test_pricing_ts_numpy_integer_accepted(pricing_ts):
    assert price(data(PRICING_TS=pricing_ts)) == REFERENCE
