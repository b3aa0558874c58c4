"""Taking the event table over from Python: pyarrow batches, capsule producers, C structures."""
import collections
import ctypes

import numpy as np
import pyarrow as pa
import pytest

import _tamrix
from timetable import Recorder, dataset, events, ms

DATASET = dataset(ms("2024-01-01"), rate=0.03)
T = ms("2025-01-01")
ROW = (T, "a", "+", 100.0, "EUR")
PRICE = _tamrix.fixed_price(events([ROW]), Recorder(), DATASET, {})


def price(rb):
    return _tamrix.fixed_price(rb, Recorder(), DATASET, {})


class Producer:
    """An object offering the Arrow PyCapsule interface with a fixed result."""

    def __init__(self, result):
        self.result = result

    def __arrow_c_array__(self, requested_schema=None):
        if isinstance(self.result, BaseException):
            raise self.result
        return self.result


def struct_of(rb):
    return pa.StructArray.from_arrays(rb.columns, names=rb.schema.names)


# --- hand-made C structures ---------------------------------------------------------

class ArrowSchema(ctypes.Structure):
    pass


class ArrowArray(ctypes.Structure):
    pass


SCHEMA_RELEASE = ctypes.CFUNCTYPE(None, ctypes.POINTER(ArrowSchema))
ARRAY_RELEASE = ctypes.CFUNCTYPE(None, ctypes.POINTER(ArrowArray))
ArrowSchema._fields_ = [
    ("format", ctypes.c_char_p), ("name", ctypes.c_char_p), ("metadata", ctypes.c_char_p),
    ("flags", ctypes.c_int64), ("n_children", ctypes.c_int64),
    ("children", ctypes.POINTER(ctypes.POINTER(ArrowSchema))), ("dictionary", ctypes.POINTER(ArrowSchema)),
    ("release", SCHEMA_RELEASE), ("private_data", ctypes.c_void_p)]
ArrowArray._fields_ = [
    ("length", ctypes.c_int64), ("null_count", ctypes.c_int64), ("offset", ctypes.c_int64),
    ("n_buffers", ctypes.c_int64), ("n_children", ctypes.c_int64),
    ("buffers", ctypes.POINTER(ctypes.c_void_p)), ("children", ctypes.POINTER(ctypes.POINTER(ArrowArray))),
    ("dictionary", ctypes.POINTER(ArrowArray)), ("release", ARRAY_RELEASE), ("private_data", ctypes.c_void_p)]

# A consumer may move a struct before releasing it, so structs are told apart by
# their private_data.
RELEASED = collections.Counter()  # private_data -> calls of release
IDS = iter(range(1, 1 << 60))


@SCHEMA_RELEASE
def release_schema(p):
    RELEASED[p.contents.private_data] += 1
    p.contents.release = SCHEMA_RELEASE()


@ARRAY_RELEASE
def release_array(p):
    RELEASED[p.contents.private_data] += 1
    p.contents.release = ARRAY_RELEASE()


capsule_new = ctypes.pythonapi.PyCapsule_New
capsule_new.restype = ctypes.py_object
capsule_new.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_void_p]


class CBatch:
    """The one-row contract ROW as C structures built here, not by pyarrow.

    Python owns all memory; `keep` holds it alive. Release callbacks only count.
    """

    def __init__(self):
        self.keep = []
        self.cols = {
            "time": self.column(b"tsm:", b"time", ctypes.c_int64, [T]),
            "track": self.dict_column(b"track", ["a"]),
            "op": self.dict_column(b"op", ["+"]),
            "quantity": self.column(b"g", b"quantity", ctypes.c_double, [100.0]),
            "unit": self.dict_column(b"unit", ["EUR", "USD"]),
        }
        schemas, arrays = zip(*self.cols.values())
        self.schema = self.make_schema(b"+s", b"", children=schemas)
        self.array = self.make_array(1, [None], children=arrays)

    def hold(self, obj):
        self.keep.append(obj)
        return obj

    def make_schema(self, fmt, name, children=(), dictionary=None):
        s = self.hold(ArrowSchema(format=fmt, name=name, n_children=len(children), release=release_schema,
                                  private_data=next(IDS)))
        if children:
            s.children = self.hold((ctypes.POINTER(ArrowSchema) * len(children))(*map(ctypes.pointer, children)))
        if dictionary is not None:
            s.dictionary = ctypes.pointer(dictionary)
        return s

    def make_array(self, length, buffers, children=(), dictionary=None):
        a = self.hold(ArrowArray(length=length, n_buffers=len(buffers), n_children=len(children),
                                 release=release_array, private_data=next(IDS)))
        a.buffers = self.hold((ctypes.c_void_p * len(buffers))(
            *[None if b is None else ctypes.addressof(self.hold(b)) for b in buffers]))
        if children:
            a.children = self.hold((ctypes.POINTER(ArrowArray) * len(children))(*map(ctypes.pointer, children)))
        if dictionary is not None:
            a.dictionary = ctypes.pointer(dictionary)
        return a

    def column(self, fmt, name, ctype, values):
        return self.make_schema(fmt, name), self.make_array(len(values), [None, (ctype * len(values))(*values)])

    def dict_column(self, name, texts):
        data = "".join(texts).encode()
        offsets = [0]
        for t in texts:
            offsets.append(offsets[-1] + len(t.encode()))
        values = self.make_array(len(texts), [None, (ctypes.c_int32 * len(offsets))(*offsets),
                                              ctypes.create_string_buffer(data, max(len(data), 1))])
        keys = self.make_array(1, [None, (ctypes.c_int64 * 1)(0)], dictionary=values)
        return self.make_schema(b"l", name, dictionary=self.make_schema(b"u", b"")), keys

    def capsules(self):
        return (capsule_new(ctypes.addressof(self.schema), b"arrow_schema", None),
                capsule_new(ctypes.addressof(self.array), b"arrow_array", None))

    def release_counts(self):
        return RELEASED[self.schema.private_data], RELEASED[self.array.private_data]


def test_hand_made_structures_are_read_and_released_once():
    cb = CBatch()
    assert price(Producer(cb.capsules())) == PRICE
    assert cb.release_counts() == (1, 1)


def fewer_array_children(cb):
    cb.array.n_children = 4


def negative_length(cb):
    cb.array.length = -1


def child_shorter_than_struct(cb):
    cb.array.length = 2


def decreasing_dictionary_offsets(cb):
    values = cb.cols["unit"][1].dictionary.contents
    ctypes.cast(values.buffers[1], ctypes.POINTER(ctypes.c_int32))[2] = 1  # offsets 0, 3, 1


def released_schema(cb):
    cb.schema.release = SCHEMA_RELEASE()


def released_array(cb):
    cb.array.release = ARRAY_RELEASE()


@pytest.mark.parametrize("tamper", [fewer_array_children, negative_length, child_shorter_than_struct,
                                    decreasing_dictionary_offsets, released_schema, released_array])
def test_malformed_structures_are_rejected(tamper):
    cb = CBatch()
    tamper(cb)
    live = (bool(cb.schema.release), bool(cb.array.release))
    with pytest.raises(ValueError):
        price(Producer(cb.capsules()))
    # What was handed over alive is released exactly once.
    assert cb.release_counts() == tuple(int(x) for x in live)


def rb_capsules():
    return events([ROW]).__arrow_c_array__()


POINTEE = CBatch()  # never read: the capsules below fail on their names


def named_capsule(name):
    return capsule_new(ctypes.addressof(POINTEE.schema), name, None)


@pytest.mark.parametrize("make,error,message", [
    (lambda: {"time": [T]}, TypeError,
     "argument 'events_rb': Expected instance of pyarrow.lib.RecordBatch, got builtins.dict"),
    (lambda: pa.table(events([ROW])), TypeError,
     "argument 'events_rb': Expected instance of pyarrow.lib.RecordBatch, got pyarrow.lib.Table"),
    (lambda: np.zeros(3), TypeError,
     "argument 'events_rb': Expected instance of pyarrow.lib.RecordBatch, got numpy.ndarray"),
    (lambda: Producer(list(rb_capsules())), TypeError,
     "argument 'events_rb': Expected __arrow_c_array__ to return a tuple."),
    (lambda: Producer((1, rb_capsules()[1])), TypeError,
     "argument 'events_rb': 'int' object cannot be converted to 'PyCapsule'"),
    (lambda: Producer((rb_capsules()[0], "arrow_array")), TypeError,
     "argument 'events_rb': 'str' object cannot be converted to 'PyCapsule'"),
    (lambda: Producer(rb_capsules()[::-1]), ValueError,
     "Expected name 'arrow_schema' in PyCapsule, instead got 'arrow_array'"),
    (lambda: Producer((rb_capsules()[0], named_capsule(b"arrow_arr"))), ValueError,
     "Expected name 'arrow_array' in PyCapsule, instead got 'arrow_arr'"),
    (lambda: Producer((named_capsule(None), rb_capsules()[1])), ValueError,
     "Expected schema PyCapsule to have name set."),
    (lambda: Producer(pa.array([1.0, 2.0]).__arrow_c_array__()), TypeError,
     "argument 'events_rb': Expected Struct type from __arrow_c_array."),
    (lambda: Producer(pa.StructArray.from_arrays(events([ROW, ROW]).columns, names=events([ROW]).schema.names,
                                                 mask=pa.array([False, True])).__arrow_c_array__()),
     ValueError, "Cannot convert nullable StructArray to RecordBatch, see StructArray documentation"),
    (lambda: Producer(TypeError("no export")), TypeError, "argument 'events_rb': no export"),
    (lambda: Producer(KeyError("k")), KeyError, "'k'"),
])
def test_intake_errors(make, error, message):
    with pytest.raises(error) as info:
        price(make())
    assert type(info.value) is error
    assert str(info.value) == message


@pytest.mark.parametrize("result", [(), (rb_capsules()[0],), rb_capsules() + (None,)])
def test_tuples_of_other_sizes_fail_cleanly(result):
    with pytest.raises(Exception):
        price(Producer(result))


TWO_ROWS = events([(T, "a", "+", 7.0, "EUR"), ROW])


@pytest.mark.parametrize("make", [
    lambda: events([ROW]),
    lambda: Producer(struct_of(events([ROW])).__arrow_c_array__()),
    lambda: TWO_ROWS.slice(1),
    lambda: Producer(struct_of(TWO_ROWS).slice(1).__arrow_c_array__()),
    lambda: Producer(struct_of(events([ROW, ROW])).slice(0, 1).__arrow_c_array__()),
], ids=["RecordBatch", "StructArray producer", "sliced RecordBatch", "sliced StructArray", "prefix of StructArray"])
def test_accepted_producers(make):
    assert price(make()) == PRICE
