#include "python_module/tsdata_py.hpp"

#include "python_module/numpy_api.hpp"
#include "python_module/pymc.hpp"
#include "python_module/pyutils.hpp"

namespace tamrix::python_module {

std::expected<double, model::ModelError> TsDataPy::asset_value(const std::string& name, std::int64_t ts) const {
    if (name == base_) return 1.0;
    PyRef result = call_method(py_state_.get(), "get_value", py_text(name).get(),
                               PyRef::steal(PyLong_FromLongLong(ts)).get());
    if (!result) return std::unexpected(method_error("get_value"));
    // One-element arrays are read through their element (float_of); anything
    // else goes through float() so that its failure can be reported.
    if (PyArray_Check(result.get())) {
        if (auto v = float_of(result.get())) return *v;
    }
    const double v = PyFloat_AsDouble(result.get());
    if (v == -1.0 && PyErr_Occurred()) return std::unexpected(method_error("get_value"));
    return v;
}

}  // namespace tamrix::python_module
