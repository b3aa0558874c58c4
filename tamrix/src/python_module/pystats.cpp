#include "python_module/pystats.hpp"

#include "arrow/batch_builder.hpp"
#include "python_module/numpy_api.hpp"
#include "util/internal_error.hpp"
#include "python_module/pyref.hpp"
#include "python_module/pyutils.hpp"

namespace tamrix::python_module {

void set_stat(PyObject* py_state, const char* key, PyObject* value) {
    if (!call_method(py_state, "set_stat", py_text(key).get(), value)) PyErr_Clear();
}

namespace {

// dict {outer key: dict {inner key: array adopting the vector}}; insertion
// failures are discarded like those of set_stat.
template <class Outer>
PyRef nested_dict(Outer&& outer) {
    PyRef d = PyRef::steal(PyDict_New());
    if (!d) return {};
    for (auto& [okey, inner] : outer) {
        PyRef di = PyRef::steal(PyDict_New());
        PyRef ok = PyRef::steal(PyLong_FromUnsignedLongLong(okey));
        if (!di || !ok) {
            PyErr_Clear();
            continue;
        }
        for (auto& [ikey, vec] : inner) {
            PyRef ik = PyRef::steal(PyLong_FromUnsignedLongLong(ikey));
            PyRef arr = adopt_as_array(std::move(vec));
            if (!ik || !arr || PyDict_SetItem(di.get(), ik.get(), arr.get()) < 0) PyErr_Clear();
        }
        if (PyDict_SetItem(d.get(), ok.get(), di.get()) < 0) PyErr_Clear();
    }
    return d;
}

}  // namespace

std::expected<void, model::ModelError> py_save_stats(std::uint32_t flags, ledger::Ledger& ledger, PyObject* py_state) {
    if (flags & ledger::FLAG_PV_VEC) {
        auto pv = ledger.pv_vec(0);
        if (!pv) return std::unexpected(model::ModelError(pv.error()));
        PyRef arr = adopt_as_array(util::ValueVec(**pv));
        if (arr) set_stat(py_state, "PV_VEC", arr.get());
        else PyErr_Clear();
    }
    if (flags & ledger::FLAG_CHOICES) {
        PyRef d = nested_dict(ledger.take_choices().by_event);
        if (d) set_stat(py_state, "CHOICES", d.get());
        else PyErr_Clear();
    }
    if (flags & ledger::FLAG_CASHFLOW) {
        PyRef d = nested_dict(ledger.take_cashflows());
        if (d) set_stat(py_state, "CASHFLOW", d.get());
        else PyErr_Clear();
    }
    return {};
}

namespace {

void release_stream_capsule(PyObject* capsule) {
    auto* stream = static_cast<ArrowArrayStream*>(PyCapsule_GetPointer(capsule, "arrow_array_stream"));
    if (!stream) {
        PyErr_Clear();
        return;
    }
    if (stream->release) stream->release(stream);
    delete stream;
}

// One track's cashflows as a pyarrow RecordBatch read back from a C stream.
PyRef cashflow_batch(std::unordered_map<std::uint64_t, util::ValueVec>& by_event) {
    std::vector<std::uint64_t> index;
    std::vector<double> value;
    index.reserve(by_event.size());
    value.reserve(by_event.size());
    for (auto& [row, cf] : by_event) {
        if (cf.empty()) throw InternalError("empty cashflow vector at event " + std::to_string(row));
        index.push_back(row);
        value.push_back(cf[0]);
    }
    auto* stream = new ArrowArrayStream(arrow::cashflow_stream(std::move(index), std::move(value)));
    PyRef capsule = PyRef::steal(PyCapsule_New(stream, "arrow_array_stream", release_stream_capsule));
    if (!capsule) {
        stream->release(stream);
        delete stream;
        return {};
    }
    PyRef pa = PyRef::steal(PyImport_ImportModule("pyarrow"));
    PyRef reader_cls = pa ? PyRef::steal(PyObject_GetAttrString(pa.get(), "RecordBatchReader")) : PyRef();
    PyRef reader = reader_cls ? PyRef::steal(PyObject_CallMethod(reader_cls.get(), "_import_from_c_capsule", "O",
                                                                 capsule.get()))
                              : PyRef();
    if (!reader) return {};
    return PyRef::steal(PyObject_CallMethod(reader.get(), "read_next_batch", nullptr));
}

}  // namespace

bool save_backtest_cashflow(ledger::Ledger& ledger, PyObject* py_state) {
    PyRef d = PyRef::steal(PyDict_New());
    if (!d) return false;
    auto cashflows = ledger.take_cashflows();
    for (auto& [track, by_event] : cashflows) {
        PyRef batch = cashflow_batch(by_event);
        if (!batch) return false;
        PyRef key = PyRef::steal(PyLong_FromUnsignedLongLong(track));
        if (!key || PyDict_SetItem(d.get(), key.get(), batch.get()) < 0) PyErr_Clear();
    }
    set_stat(py_state, "CASHFLOW", d.get());
    return true;
}

}  // namespace tamrix::python_module
