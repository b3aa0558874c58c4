// The six module functions: bind and convert the arguments, build the
// timetable, read the model, value, write the statistics.
#include "functions.hpp"

#include <array>
#include <memory>
#include <optional>
#include <string>

#include "binder.hpp"
#include "boundary.hpp"
#include "python_module/pyapi.hpp"
#include "python_module/pybatch.hpp"
#include "python_module/pyerror.hpp"
#include "python_module/pystats.hpp"
#include "python_module/pymc.hpp"
#include "python_module/pyunit.hpp"
#include "python_module/tsdata_py.hpp"
#include "hist/historic.hpp"
#include "qfd/fd1f.hpp"

namespace tamrix_basic {

namespace pm = tamrix::python_module;

namespace {

std::optional<tamrix::arrow::RecordBatch> convert_batch(PyObject* obj) {
    auto batch = pm::import_record_batch(obj);
    if (!batch) reraise_for_argument("events_rb");
    return batch;
}

bool convert_dict(PyObject* obj, const char* param) {
    if (PyDict_Check(obj)) return true;
    PyErr_SetString(PyExc_TypeError, pm::cannot_convert(obj, "PyDict").c_str());
    return reraise_for_argument(param);
}

std::optional<std::string> convert_str(PyObject* obj, const char* param) {
    if (!PyUnicode_Check(obj)) {
        PyErr_SetString(PyExc_TypeError, pm::cannot_convert(obj, "PyString").c_str());
        reraise_for_argument(param);
        return std::nullopt;
    }
    Py_ssize_t n = 0;
    const char* p = PyUnicode_AsUTF8AndSize(obj, &n);
    if (!p) {
        reraise_for_argument(param);
        return std::nullopt;
    }
    return std::string(p, static_cast<std::size_t>(n));
}

constexpr std::array<const char*, 4> pricing_params{"events_rb", "py_state", "dataset", "expressions"};

// The road shared by the four pricing functions. `read` builds the model from
// the dataset (and py_state); `value` gives (ledger, price) or a ModelError.
template <class Read, class Value>
PyObject* pricing_call(const char* fname, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, Read read,
                       Value value) {
    return guarded([&]() -> PyObject* {
        PyObject* a[4];
        if (!bind_args(fname, pricing_params, args, nargs, kwnames, a)) return nullptr;
        auto batch = convert_batch(a[0]);
        if (!batch) return nullptr;
        PyObject* py_state = a[1];
        if (!convert_dict(a[2], "dataset") || !convert_dict(a[3], "expressions")) return nullptr;

        auto tt = pm::create_timetable(std::move(*batch), a[3]);
        if (!tt) return pm::raise_timetable_error(tt.error());
        auto model = read(a[2], py_state);
        if (!model) return pm::raise_dataset_error(model.error());
        return value(*model, *tt, py_state);
    });
}

// calculate, price, statistics.
template <class Model, class Calc, class Price>
PyObject* value_and_report(const Model& model, const tamrix::timetable::TimeTable& tt, PyObject* py_state,
                           std::uint32_t flags, Calc calc, Price price) {
    auto ledger = calc(model, tt);
    if (!ledger) return pm::raise_model_error(ledger.error());
    auto p = price(model, *ledger);
    if (!p) return pm::raise_model_error(p.error());
    auto saved = pm::py_save_stats(flags, *ledger, py_state);
    if (!saved) return pm::raise_model_error(saved.error());
    return PyFloat_FromDouble(*p);
}


}  // namespace

PyObject* fixed_price(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return pricing_call(
        "fixed_price", args, nargs, kwnames, [](PyObject* dataset, PyObject*) { return pm::read_fixed(dataset); },
        [](const tamrix::qdt::Fixed& m, const tamrix::timetable::TimeTable& tt, PyObject* py_state) {
            return value_and_report(
                m, tt, py_state, m.flags(), [](const auto& mm, const auto& t) { return tamrix::qdt::calculate(mm, t); },
                [](const auto& mm, const auto& l) { return tamrix::qdt::price(mm, l); });
        });
}

PyObject* mc_price(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return pricing_call(
        "mc_price", args, nargs, kwnames,
        [](PyObject* dataset, PyObject* py_state) -> std::expected<pm::MCPy, pm::PyParseError> {
            auto params = pm::get_mc_params(dataset);
            if (!params) return std::unexpected(std::move(params.error()));
            return pm::MCPy(std::move(*params), pm::PyRef::borrow(py_state));
        },
        [](const pm::MCPy& m, const tamrix::timetable::TimeTable& tt, PyObject* py_state) {
            return value_and_report(
                m, tt, py_state, m.flags(), [](const auto& mm, const auto& t) { return tamrix::qmc::calculate(mm, t); },
                [](const auto& mm, const auto& l) { return tamrix::qmc::price(mm, l); });
        });
}

namespace {

template <class M>
PyObject* value_on_grid(const M& m, const tamrix::timetable::TimeTable& tt, PyObject* py_state) {
    return value_and_report(
        m, tt, py_state, m.params.flags, [](const auto& mm, const auto& t) { return tamrix::qfd::calculate_fd(mm, t); },
        [](const auto& mm, const auto& l) { return tamrix::qfd::price_fd(mm, l); });
}

}  // namespace

PyObject* fd_hullwhite_price(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return pricing_call(
        "fd_hullwhite_price", args, nargs, kwnames,
        [](PyObject* dataset, PyObject*) { return pm::read_hull_white(dataset); },
        [](const tamrix::qfd::HullWhiteCN& m, const tamrix::timetable::TimeTable& tt, PyObject* py_state) {
            return value_on_grid(m, tt, py_state);
        });
}

PyObject* fd_blackscholes_price(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return pricing_call(
        "fd_blackscholes_price", args, nargs, kwnames,
        [](PyObject* dataset, PyObject*) { return pm::read_black_scholes(dataset); },
        [](const tamrix::qfd::BlackScholesCN& m, const tamrix::timetable::TimeTable& tt, PyObject* py_state) {
            return value_on_grid(m, tt, py_state);
        });
}

namespace {

// Replays the timetable against `data` and hands the cashflows to py_state.
PyObject* backtest_call(tamrix::arrow::RecordBatch batch, PyObject* expressions, PyObject* py_state,
                        std::unique_ptr<tamrix::hist::TsData> data) {
    auto tt = pm::create_timetable(std::move(batch), expressions);
    if (!tt) return pm::raise_timetable_error(tt.error());
    const tamrix::hist::Historic model(std::move(data), tamrix::ledger::FLAG_CASHFLOW);
    auto ledger = tamrix::hist::calculate(model, *tt);
    if (!ledger) return pm::raise_model_error(ledger.error());
    if (!pm::save_backtest_cashflow(*ledger, py_state)) return nullptr;
    Py_RETURN_NONE;
}


}  // namespace

PyObject* backtest_csv(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr std::array<const char*, 5> params{"events_rb", "py_state", "_filename", "base", "expressions"};
    return guarded([&]() -> PyObject* {
        PyObject* a[5];
        if (!bind_args("backtest_csv", params, args, nargs, kwnames, a)) return nullptr;
        auto batch = convert_batch(a[0]);
        if (!batch) return nullptr;
        if (!convert_str(a[2], "_filename")) return nullptr;
        auto base = convert_str(a[3], "base");
        if (!base || !convert_dict(a[4], "expressions")) return nullptr;
        return backtest_call(std::move(*batch), a[4], a[1], std::make_unique<tamrix::hist::TsDataCSV>(*base, 100.0));
    });
}

PyObject* backtest_py(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr std::array<const char*, 4> params{"events_rb", "py_state", "expressions", "base"};
    return guarded([&]() -> PyObject* {
        PyObject* a[4];
        if (!bind_args("backtest_py", params, args, nargs, kwnames, a)) return nullptr;
        auto batch = convert_batch(a[0]);
        if (!batch) return nullptr;
        if (!convert_dict(a[2], "expressions")) return nullptr;
        auto base = convert_str(a[3], "base");
        if (!base) return nullptr;
        return backtest_call(std::move(*batch), a[2], a[1],
                             std::make_unique<pm::TsDataPy>(*base, pm::PyRef::borrow(a[1])));
    });
}

}  // namespace tamrix_basic
