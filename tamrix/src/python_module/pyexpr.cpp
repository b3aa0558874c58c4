#include "python_module/pyexpr.hpp"


#include "python_module/numpy_api.hpp"
#include "python_module/pyutils.hpp"

namespace tamrix::python_module {

namespace {

PyExecError exec_python() { return {PyExecError::Python{take_error_text()}}; }

std::string type_repr(PyObject* item) {
    PyRef s = PyRef::steal(PyObject_Str(reinterpret_cast<PyObject*>(Py_TYPE(item))));
    const char* p = s ? PyUnicode_AsUTF8(s.get()) : nullptr;
    if (!p) {
        PyErr_Clear();
        return "<unknown type>";
    }
    return p;
}

}  // namespace

std::expected<util::ValueVec, PyExecError> to_array1(PyObject* item) {
    if (auto v = copy_float64_1d(item)) return std::move(*v);
    if (auto v = copy_bool_1d(item)) return std::move(*v);
    if (auto x = float_of(item)) return util::ValueVec{*x};
    return std::unexpected(PyExecError{PyExecError::Execution{"Expected float or array, received " + type_repr(item)}});
}

std::expected<std::vector<util::ValueVec>, expr::ExprError> PyPhrase::eval(std::vector<util::ValueVec> inputs) const {
    auto fail = [](const PyExecError& e) { return std::unexpected(expr::ExprError{e.text()}); };

    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(inputs.size())));
    if (!list) return fail(exec_python());
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        PyRef arr = adopt_as_array(std::move(inputs[i]));
        if (!arr) return fail(exec_python());
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), arr.release());
    }

    PyRef result = PyRef::steal(PyObject_CallOneArg(fn_.get(), list.get()));
    if (!result) return fail(exec_python());
    if (!PyList_Check(result.get()))
        return fail(PyExecError{PyExecError::FoundValue{cannot_convert(result.get(), "PyList")}});

    std::vector<util::ValueVec> outputs;
    const Py_ssize_t n = PyList_GET_SIZE(result.get());
    outputs.reserve(static_cast<std::size_t>(n));
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(result.get()); ++i) {
        // A strong reference: converting an item may run Python code that mutates the list.
        PyRef item = PyRef::borrow(PyList_GET_ITEM(result.get(), i));
        auto v = to_array1(item.get());
        if (!v) return fail(v.error());
        outputs.push_back(std::move(*v));
    }
    return outputs;
}

}  // namespace tamrix::python_module
