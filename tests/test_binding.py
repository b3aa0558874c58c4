"""The module object, its six functions and how their arguments are bound and converted."""
import inspect
import itertools

import pyarrow as pa
import pytest

import _tamrix
from timetable import Recorder, dataset, events, ms

PARAMS = {
    "mc_price": ["events_rb", "py_state", "dataset", "expressions"],
    "fixed_price": ["events_rb", "py_state", "dataset", "expressions"],
    "fd_hullwhite_price": ["events_rb", "py_state", "dataset", "expressions"],
    "fd_blackscholes_price": ["events_rb", "py_state", "dataset", "expressions"],
    "backtest_csv": ["events_rb", "py_state", "_filename", "base", "expressions"],
    "backtest_py": ["events_rb", "py_state", "expressions", "base"],
}

CONTRACT = [(ms("2025-01-01"), "a", "+", 100.0, "EUR")]


def test_module_docstring_functions_and_internal_error():
    assert _tamrix.__doc__ == "basic"
    functions = [name for name, obj in vars(_tamrix).items() if inspect.isbuiltin(obj)]
    assert functions == list(PARAMS)
    assert issubclass(_tamrix.InternalError, BaseException)
    assert not issubclass(_tamrix.InternalError, Exception)


@pytest.mark.parametrize("name", PARAMS)
def test_text_signature(name):
    fn = getattr(_tamrix, name)
    assert fn.__text_signature__ == "(" + ", ".join(PARAMS[name]) + ")"
    params = inspect.signature(fn).parameters.values()
    assert [p.name for p in params] == PARAMS[name]
    assert all(p.kind is p.POSITIONAL_OR_KEYWORD and p.default is p.empty for p in params)
    assert fn.__doc__.startswith("Takes the timetable as a pyarrow record batch and calculates ")


@pytest.mark.parametrize("name,sentence", [
    ("mc_price", "calculates price using monte carlo simulation."),
    ("fd_hullwhite_price", "calculates price using finite difference grid."),
    ("fd_blackscholes_price", "calculates price using finite difference grid."),
])
def test_quoted_descriptions(name, sentence):
    assert getattr(_tamrix, name).__doc__.startswith("Takes the timetable as a pyarrow record batch and " + sentence)


X = object()  # never converted: binding fails first


@pytest.mark.parametrize("name,args,kwargs,message", [
    ("fixed_price", (X,) * 5, {}, "fixed_price() takes 4 positional arguments but 5 were given"),
    ("backtest_csv", (X,) * 7, {}, "backtest_csv() takes 5 positional arguments but 7 were given"),
    ("mc_price", (X,) * 4, {"seed": 1}, "mc_price() got an unexpected keyword argument 'seed'"),
    ("backtest_py", (), {"filename": X}, "backtest_py() got an unexpected keyword argument 'filename'"),
    ("fd_hullwhite_price", (X, X), {"py_state": X, "dataset": X, "expressions": X},
     "fd_hullwhite_price() got multiple values for argument 'py_state'"),
    ("backtest_csv", (X,) * 5, {"events_rb": X}, "backtest_csv() got multiple values for argument 'events_rb'"),
    ("fd_blackscholes_price", (X,) * 3, {},
     "fd_blackscholes_price() missing 1 required positional argument: 'expressions'"),
    ("fixed_price", (X,), {"expressions": X},
     "fixed_price() missing 2 required positional arguments: 'py_state' and 'dataset'"),
    ("backtest_py", (X,), {}, "backtest_py() missing 3 required positional arguments: "
                              "'py_state', 'expressions', and 'base'"),
    ("mc_price", (), {}, "mc_price() missing 4 required positional arguments: "
                         "'events_rb', 'py_state', 'dataset', and 'expressions'"),
    ("backtest_csv", (), {"py_state": X}, "backtest_csv() missing 4 required positional arguments: "
                                          "'events_rb', '_filename', 'base', and 'expressions'"),
])
def test_binding_errors(name, args, kwargs, message):
    with pytest.raises(TypeError) as info:
        getattr(_tamrix, name)(*args, **kwargs)
    assert str(info.value) == message


class SubDict(dict):
    pass


# Per parameter: a value that fails conversion with its message, and one that converts.
# The record batch converts but has no "time" column; the dataset has no model section.
BAD_AND_GOOD = {
    "events_rb": ({"time": []}, "Expected instance of pyarrow.lib.RecordBatch, got builtins.dict",
                  pa.record_batch({"x": [1]})),
    "py_state": None,
    "dataset": ([], "'list' object cannot be converted to 'PyDict'", SubDict()),
    "_filename": (1, "'int' object cannot be converted to 'PyString'", "f.csv"),
    "base": (1, "'int' object cannot be converted to 'PyString'", "EUR"),
    "expressions": ([], "'list' object cannot be converted to 'PyDict'", SubDict()),
}


@pytest.mark.parametrize("name", PARAMS)
def test_conversion_errors_in_parameter_order(name):
    """All convertible parameters start bad; each call repairs the first one reported."""
    params = PARAMS[name]
    fn = getattr(_tamrix, name)
    checked = [p for p in params if BAD_AND_GOOD[p] is not None]
    for k, reported in enumerate(checked):
        args = {p: Recorder() for p in params if BAD_AND_GOOD[p] is None}
        args |= {p: BAD_AND_GOOD[p][2] for p in checked[:k]}
        args |= {p: BAD_AND_GOOD[p][0] for p in checked[k:]}
        with pytest.raises(TypeError) as info:
            fn(**args)
        assert str(info.value) == f"argument '{reported}': {BAD_AND_GOOD[reported][1]}"
    # Everything converts: the timetable fails before the dataset is looked at.
    args = {p: Recorder() if BAD_AND_GOOD[p] is None else BAD_AND_GOOD[p][2] for p in params}
    with pytest.raises(RuntimeError) as info:
        fn(**args)
    assert str(info.value) == "Error while parsing Timetable, caused by \nColumn 'time' not found"


def test_keywords_in_any_order_equal_positional():
    rb, ds = events(CONTRACT), dataset(ms("2024-01-01"), rate=0.03)
    values = {"events_rb": rb, "py_state": Recorder(), "dataset": ds, "expressions": {}}
    price = _tamrix.fixed_price(rb, Recorder(), ds, {})
    assert type(price) is float
    for names in itertools.permutations(values):
        assert _tamrix.fixed_price(**{n: values[n] for n in names}) == price
    assert _tamrix.fixed_price(rb, Recorder(), expressions={}, dataset=ds) == price


def test_backtest_csv_ignores_filename(tmp_path):
    existing = tmp_path / "data.csv"
    existing.write_text("time,EUR\n0,1\n")
    results = []
    for filename in ["", "missing.csv", str(existing)]:
        state = Recorder()
        assert _tamrix.backtest_csv(events(CONTRACT), state, filename, "EUR", {}) is None
        results.append([(key, {track: rb.to_pydict() for track, rb in value.items()}) for key, value in state.stats])
    assert [key for key, _ in results[0]] == ["CASHFLOW"]
    assert results[1] == results[0] and results[2] == results[0]


def test_second_initialisation_in_one_process_raises_import_error():
    import importlib.util

    spec = importlib.util.spec_from_file_location("_tamrix", _tamrix.__file__)
    with pytest.raises(ImportError):
        importlib.util.module_from_spec(spec)
