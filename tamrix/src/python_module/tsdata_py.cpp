#include "python_module/tsdata_py.hpp"

#include "python_module/numpy_api.hpp"
#include "python_module/pymc.hpp"
#include "python_module/pyutils.hpp"

namespace tamrix::python_module {

std::expected<double, model::ModelError> TsDataPy::asset_value(const std::string& name, std::int64_t ts) const {
    if (name == base_) return 1.0;
    PyRef py_name = PyRef::steal(PyUnicode_DecodeUTF8(name.data(), static_cast<Py_ssize_t>(name.size()), "replace"));
    PyRef py_ts = py_name ? PyRef::steal(PyLong_FromLongLong(ts)) : PyRef();
    PyRef method = py_ts ? PyRef::steal(PyObject_GetAttrString(py_state_.get(), "get_value")) : PyRef();
    PyRef result =
        method ? PyRef::steal(PyObject_CallFunctionObjArgs(method.get(), py_name.get(), py_ts.get(), nullptr)) : PyRef();
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
