#include "python_module/pyutils.hpp"

#include <cstring>

#include "python_module/numpy_api.hpp"
#include "python_module/pyref.hpp"

namespace tamrix::python_module {

PyRef py_text(std::string_view text) {
    return PyRef::steal(PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
}

std::expected<std::string, std::string> to_text(PyObject* v) {
    if (!PyUnicode_Check(v)) return std::unexpected("TypeError: " + cannot_convert(v, "PyString"));
    Py_ssize_t n = 0;
    const char* p = PyUnicode_AsUTF8AndSize(v, &n);
    if (!p) return std::unexpected(take_error_text());
    return std::string(p, static_cast<std::size_t>(n));
}

std::expected<std::vector<std::string>, std::string> to_text_list(PyObject* v) {
    if (PyUnicode_Check(v)) return std::unexpected("TypeError: a 'str' cannot be read as a list of strings");
    if (!PySequence_Check(v)) return std::unexpected("TypeError: " + cannot_convert(v, "Sequence"));
    const Py_ssize_t n = PySequence_Size(v);
    if (n < 0) return std::unexpected(take_error_text());
    std::vector<std::string> out;
    out.reserve(static_cast<std::size_t>(n));
    for (Py_ssize_t i = 0; i < n; ++i) {
        PyRef item = PyRef::steal(PySequence_GetItem(v, i));
        if (!item) return std::unexpected(take_error_text());
        auto s = to_text(item.get());
        if (!s) return std::unexpected(std::move(s.error()));
        out.push_back(std::move(*s));
    }
    return out;
}

std::expected<double, std::string> to_f64(PyObject* v) {
    const double x = PyFloat_AsDouble(v);
    if (x == -1.0 && PyErr_Occurred()) return std::unexpected(take_error_text());
    return x;
}

std::optional<double> float_of(PyObject* v) {
    PyRef scalar;
    if (PyArray_Check(v)) {
        auto* arr = reinterpret_cast<PyArrayObject*>(v);
        if (PyArray_SIZE(arr) != 1) return std::nullopt;
        scalar = PyRef::steal(PyArray_GETITEM(arr, static_cast<char*>(PyArray_DATA(arr))));
        if (!scalar) {
            PyErr_Clear();
            return std::nullopt;
        }
        v = scalar.get();
    }
    const double x = PyFloat_AsDouble(v);
    if (x == -1.0 && PyErr_Occurred()) {
        PyErr_Clear();
        return std::nullopt;
    }
    return x;
}

std::expected<std::int64_t, std::string> to_i64(PyObject* v) {
    const long long x = PyLong_AsLongLong(v);
    if (x == -1 && PyErr_Occurred()) return std::unexpected(take_error_text());
    return static_cast<std::int64_t>(x);
}

std::expected<std::uint64_t, std::string> to_u64(PyObject* v) {
    PyRef index = PyRef::steal(PyNumber_Index(v));
    if (!index) return std::unexpected(take_error_text());
    const unsigned long long x = PyLong_AsUnsignedLongLong(index.get());
    if (x == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return std::unexpected(take_error_text());
    return static_cast<std::uint64_t>(x);
}

std::expected<PyRef, PyParseError> get_any(PyObject* dict, const char* key) {
    PyRef k = PyRef::steal(PyUnicode_FromString(key));
    if (!k) return std::unexpected(PyParseError::python(take_error_text()));
    PyObject* v = PyDict_GetItemWithError(dict, k.get());
    if (!v) {
        if (PyErr_Occurred()) return std::unexpected(PyParseError::python(take_error_text()));
        return std::unexpected(PyParseError{PyParseError::MissingKey{key}});
    }
    return PyRef::borrow(v);
}

std::expected<PyRef, PyParseError> get_dict(PyObject* dict, const char* key) {
    auto v = get_any(dict, key);
    if (!v) return v;
    if (!PyDict_Check(v->get()))
        return std::unexpected(
            PyParseError{PyParseError::WrongType{key, "TypeError: " + cannot_convert(v->get(), "PyDict")}});
    return v;
}

std::expected<std::uint32_t, PyParseError> get_flag(PyObject* dict) {
    auto v = get_any(dict, "FLAGS");
    if (!v) {
        if (std::holds_alternative<PyParseError::MissingKey>(v.error().kind)) return 0u;
        return std::unexpected(std::move(v.error()));
    }
    PyRef index = PyRef::steal(PyNumber_Index(v->get()));
    if (!index) return std::unexpected(PyParseError{PyParseError::WrongType{"FLAGS", take_error_text()}});
    int overflow = 0;
    const long long x = PyLong_AsLongLongAndOverflow(index.get(), &overflow);
    if (x == -1 && PyErr_Occurred())
        return std::unexpected(PyParseError{PyParseError::WrongType{"FLAGS", take_error_text()}});
    if (overflow != 0 || x < 0 || x > 0xFFFFFFFFLL)
        return std::unexpected(PyParseError{
            PyParseError::WrongType{"FLAGS", "OverflowError: out of range integral type conversion attempted"}});
    if (x >= 16) return std::unexpected(PyParseError::message("Invalid bits set in FLAG"));
    return static_cast<std::uint32_t>(x);
}

std::expected<std::pair<std::vector<double>, std::vector<double>>, std::string> get_2col_array(PyObject* v) {
    if (!PyArray_Check(v)) return std::unexpected("TypeError: " + cannot_convert(v, "Float64Array2D"));
    auto* arr = reinterpret_cast<PyArrayObject*>(v);
    if (PyArray_NDIM(arr) != 2 || !PyArray_EquivTypenums(PyArray_TYPE(arr), NPY_FLOAT64) ||
        !PyArray_ISNOTSWAPPED(arr))
        return std::unexpected("TypeError: " + cannot_convert(v, "Float64Array2D"));
    const npy_intp rows = PyArray_DIM(arr, 0), cols = PyArray_DIM(arr, 1);
    if (cols < 2)
        return std::unexpected("ValueError: the curve array has " + std::to_string(cols) +
                               " column(s); it needs two: times and values");
    const npy_intp rs = PyArray_STRIDE(arr, 0), cs = PyArray_STRIDE(arr, 1);
    const char* base = static_cast<const char*>(PyArray_DATA(arr));
    std::vector<double> c0(static_cast<std::size_t>(rows)), c1(static_cast<std::size_t>(rows));
    for (npy_intp r = 0; r < rows; ++r) {
        std::memcpy(&c0[r], base + r * rs, sizeof(double));
        std::memcpy(&c1[r], base + r * rs + cs, sizeof(double));
    }
    return std::pair{std::move(c0), std::move(c1)};
}

}  // namespace tamrix::python_module
