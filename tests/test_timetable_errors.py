"""Building the timetable: the event table's columns and the expressions dictionary."""
import pyarrow as pa
import pytest

import _tamrix
from timetable import Recorder, dataset, dictionary, events, ms

DATASET = dataset(ms("2024-01-01"), rate=0.03)
T = ms("2025-01-01")
PREFIX = "Error while parsing Timetable, caused by \n"
DROP = object()
NAMES = ["time", "track", "op", "quantity", "unit"]


def price(rb, expressions=None):
    return _tamrix.fixed_price(rb, Recorder(), DATASET, {} if expressions is None else expressions)


def batch(n=1, order=NAMES, extra=(), **cols):
    """n rows paying 100 EUR at T on track "a"; keyword columns replace or (DROP) remove
    defaults; `extra` (name, array) pairs are appended."""
    default = {
        "time": pa.array([T] * n, pa.timestamp("ms")),
        "track": dictionary(["a"], [0] * n),
        "op": dictionary(["+"], [0] * n),
        "quantity": pa.array([100.0] * n),
        "unit": dictionary(["EUR"], [0] * n),
    } | cols
    names = [c for c in order if default[c] is not DROP] + [name for name, _ in extra]
    arrays = [default[c] for c in order if default[c] is not DROP] + [a for _, a in extra]
    return pa.RecordBatch.from_arrays(arrays, names=names)


def dict_of(values, value_type, keys=(0,)):
    return pa.DictionaryArray.from_arrays(pa.array(list(keys), pa.int64()), pa.array(values, value_type))


def unchecked(texts, keys):
    """A dictionary column whose keys pyarrow does not check against the dictionary."""
    return pa.DictionaryArray.from_arrays(pa.array(keys, pa.int64()), pa.array(texts, pa.string()), safe=False)


INT32_KEYS = pa.array(["a"]).dictionary_encode()
NOT_STR = dict_of([7], pa.int64())
LARGE_STR = dict_of(["EUR"], pa.large_string())


def fn(xs):
    return [1.0]


def phrase(**changes):
    entry = {"type": "phrase", "fn": fn, "inp": []} | changes
    return {k: v for k, v in entry.items() if v is not DROP}


def snapper(**changes):
    return phrase(**({"type": "snapper", "out": ["s"]} | changes))


def expr(name, text):
    return f"Error while parsing expression '{name}', caused by \n{text}"


def wrong(key, detail):
    return f"Error in value of {key}, likely incorrect type. caused by \n{detail}"


def not_found(c):
    return f"Column '{c}' not found"


def not_converted(c):
    return f"Couldn't convert column '{c}', likely incorrect type"


# id, batch columns, expressions, message after PREFIX
CASES = [
    # columns are looked up in the order time, track, op, quantity, unit
    ("no time", dict(time=DROP), {}, not_found("time")),
    ("no time nor unit", dict(time=DROP, unit=DROP), {}, not_found("time")),
    ("no track", dict(track=DROP), {}, not_found("track")),
    ("no op quantity unit", dict(op=DROP, quantity=DROP, unit=DROP), {}, not_found("op")),
    ("no quantity", dict(quantity=DROP), {}, not_found("quantity")),
    ("no unit", dict(unit=DROP), {}, not_found("unit")),
    ("time int64", dict(time=pa.array([T])), {}, not_converted("time")),
    ("time seconds", dict(time=pa.array([T // 1000], pa.timestamp("s"))), {}, not_converted("time")),
    ("time microseconds", dict(time=pa.array([T * 1000], pa.timestamp("us"))), {}, not_converted("time")),
    ("time date64", dict(time=pa.array([T], pa.date64())), {}, not_converted("time")),
    ("first time column wins", dict(time=pa.array([T]), extra=[("time", pa.array([T], pa.timestamp("ms")))]), {},
     not_converted("time")),
    ("time int64 and no track", dict(time=pa.array([T]), track=DROP), {}, not_converted("time")),
    ("track int32 keys", dict(track=INT32_KEYS), {}, not_converted("track")),
    ("track plain strings", dict(track=pa.array(["a"])), {}, not_converted("track")),
    ("track int32 keys and no quantity", dict(track=INT32_KEYS, quantity=DROP), {}, not_converted("track")),
    ("op uint64 keys", dict(op=pa.DictionaryArray.from_arrays(pa.array([0], pa.uint64()), pa.array(["+"]))), {},
     not_converted("op")),
    ("quantity int64", dict(quantity=pa.array([100])), {}, not_converted("quantity")),
    ("quantity float32", dict(quantity=pa.array([100.0], pa.float32())), {}, not_converted("quantity")),
    ("unit int32 keys", dict(unit=pa.array(["EUR"]).dictionary_encode()), {}, not_converted("unit")),
    # dictionary value types: unit, then track, then op
    ("unit values int64", dict(unit=NOT_STR), {}, "Error in units column, expected strings"),
    ("unit values large_string", dict(unit=LARGE_STR), {}, "Error in units column, expected strings"),
    ("track values int64", dict(track=NOT_STR), {}, "Error in tracks column, expected strings"),
    ("op values int64", dict(op=NOT_STR), {}, "Error in ops column, expected strings"),
    ("op values large_string", dict(op=dict_of(["+"], pa.large_string())), {}, "Error in ops column, expected strings"),
    ("all three not strings", dict(unit=NOT_STR, track=NOT_STR, op=NOT_STR), {},
     "Error in units column, expected strings"),
    ("track and op not strings", dict(track=NOT_STR, op=NOT_STR), {}, "Error in tracks column, expected strings"),
    ("unused null track entry", dict(track=dictionary(["a", None], [0])), {}, "Missing Track Value"),
    ("null track entry before op check", dict(track=dictionary([None, "a"], [1]), op=NOT_STR), {},
     "Missing Track Value"),
    ("unit check before null track entry", dict(track=dictionary([None], [0]), unit=NOT_STR), {},
     "Error in units column, expected strings"),
    # row keys outside their dictionaries, checked after the value types
    ("unit key 7", dict(n=4, unit=unchecked(list("abcde"), [0, 1, 2, 7])), {},
     "Key 7 of column 'unit' at row 3 is outside its dictionary of 5 entries"),
    ("negative track key", dict(track=unchecked(["a"], [-1])), {},
     "Key -1 of column 'track' at row 0 is outside its dictionary of 1 entries"),
    ("op key 1", dict(n=2, op=unchecked(["+"], [0, 1])), {},
     "Key 1 of column 'op' at row 1 is outside its dictionary of 1 entries"),
    ("unit key 1 of empty dictionary", dict(unit=unchecked([], [1])), {},
     "Key 1 of column 'unit' at row 0 is outside its dictionary of 0 entries"),
    ("bad key after value types", dict(unit=unchecked(["EUR"], [3]), op=NOT_STR), {},
     "Error in ops column, expected strings"),
    # expressions dictionary
    ("name not str", {}, {1: phrase()}, "TypeError: 'int' object cannot be converted to 'PyString'"),
    ("entry a list", {}, {"x": []}, wrong("n/a", "'list' object cannot be converted to 'PyDict'")),
    ("entry None", {}, {"x": None}, wrong("n/a", "'NoneType' object cannot be converted to 'PyDict'")),
    ("no type", {}, {"x": phrase(type=DROP)}, expr("x", "Py Dictionary is missing key 'type'")),
    ("type int", {}, {"x": phrase(type=1)},
     expr("x", wrong("type", "TypeError: 'int' object cannot be converted to 'PyString'"))),
    ("phrase without fn", {}, {"x": phrase(fn=DROP)}, expr("x", "Py Dictionary is missing key 'fn'")),
    ("phrase without inp", {}, {"x": phrase(inp=DROP)}, expr("x", "Py Dictionary is missing key 'inp'")),
    ("inp not a sequence", {}, {"x": phrase(inp=5)},
     expr("x", wrong("inp", "TypeError: 'int' object cannot be converted to 'Sequence'"))),
    ("inp item not str", {}, {"x": phrase(inp=["a", 2])},
     expr("x", wrong("inp", "TypeError: 'int' object cannot be converted to 'PyString'"))),
    ("snapper without fn", {}, {"x": snapper(fn=DROP, out=DROP)}, expr("x", "Py Dictionary is missing key 'fn'")),
    ("snapper without out", {}, {"x": snapper(out=DROP)}, expr("x", "Py Dictionary is missing key 'out'")),
    ("type batch", {}, {"b": {"type": "batch"}}, expr("b", "Batch is not supported in this package")),
    ("type sum", {}, {"x": phrase(type="sum")}, expr("x", "Invalid value 'sum' for key 'type'")),
    ("type Phrase", {}, {"x": phrase(type="Phrase")}, expr("x", "Invalid value 'Phrase' for key 'type'")),
    ("first bad entry a", {}, {"a": phrase(type="sum"), "b": {"type": "batch"}},
     expr("a", "Invalid value 'sum' for key 'type'")),
    ("first bad entry b", {}, {"b": {"type": "batch"}, "a": phrase(type="sum")},
     expr("b", "Batch is not supported in this package")),
    ("good entry then bad", {}, {"a": phrase(), "z": snapper(), "b": phrase(inp=DROP)},
     expr("b", "Py Dictionary is missing key 'inp'")),
    # expressions are read after the columns and before the dictionary value types
    ("missing column before expressions", dict(unit=DROP), {"x": []}, not_found("unit")),
    ("expressions before unit values", dict(unit=NOT_STR), {"x": phrase(type="sum")},
     expr("x", "Invalid value 'sum' for key 'type'")),
    ("expressions before out-of-range key", dict(unit=unchecked(["EUR"], [1])), {1: phrase()},
     "TypeError: 'int' object cannot be converted to 'PyString'"),
]


@pytest.mark.parametrize("cols,expressions,message", [c[1:] for c in CASES], ids=[c[0] for c in CASES])
def test_timetable_errors(cols, expressions, message):
    with pytest.raises(RuntimeError) as info:
        price(batch(**cols), expressions)
    assert type(info.value) is RuntimeError
    assert str(info.value) == PREFIX + message


@pytest.mark.parametrize("key", ["inp", "out"])
def test_str_refused_as_list_of_texts(key):
    entry = snapper(**{key: "ab"})
    with pytest.raises(RuntimeError) as info:
        price(batch(), {"x": entry})
    assert str(info.value).startswith(PREFIX + expr("x", wrong(key, "TypeError: ")))


REFERENCE = price(events([(T, "a", "+", 100.0, "EUR")]))


@pytest.mark.parametrize("rb,expressions", [
    (batch(order=["unit", "quantity", "op", "track", "time"]), {}),
    (batch(extra=[("note", pa.array(["x"])), ("price", pa.array([1.0]))]), {}),
    (batch(extra=[("time", pa.array([1]))]), {}),
    (events([(T, "a", "+", 100.0, "EUR")], tz="UTC"), {}),
    (events([(T, "a", "+", 100.0, "EUR")], tz="Asia/Tokyo"), {}),
    (batch(track=dictionary(["a", "unused"], [0]), unit=dictionary(["EUR", None, "a"], [0])), {}),
    (batch(), {"unused": phrase(fn=None), "snap": snapper(inp=("p", "q"), out=("s", "t")), "b": phrase(inp=[])}),
], ids=["columns reordered", "extra column", "second time column ignored", "time zone UTC", "time zone Tokyo",
        "unused dictionary entries", "unused expressions"])
def test_accepted_tables(rb, expressions):
    assert price(rb, expressions) == REFERENCE


def test_zero_rows():
    rb = events([])
    assert rb.num_rows == 0
    state = Recorder()
    assert _tamrix.backtest_csv(rb, state, "", "EUR", {}) is None
    assert state.stats == [("CASHFLOW", {})]
