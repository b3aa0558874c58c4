#pragma once
#include <Python.h>

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "python_module/pyerror.hpp"
#include "python_module/pyref.hpp"

namespace tamrix::python_module {

// Native conversions of Python values. The error is the conversion's exception
// rendered "{type name}: {message}".
std::expected<std::string, std::string> to_text(PyObject* v);
std::expected<std::vector<std::string>, std::string> to_text_list(PyObject* v);
std::expected<double, std::string> to_f64(PyObject* v);
std::expected<std::int64_t, std::string> to_i64(PyObject* v);
std::expected<std::uint64_t, std::string> to_u64(PyObject* v);

template <class T>
std::expected<T, std::string> convert(PyObject* v);
template <> inline std::expected<std::string, std::string> convert(PyObject* v) { return to_text(v); }
template <> inline std::expected<std::vector<std::string>, std::string> convert(PyObject* v) { return to_text_list(v); }
template <> inline std::expected<double, std::string> convert(PyObject* v) { return to_f64(v); }
template <> inline std::expected<std::int64_t, std::string> convert(PyObject* v) { return to_i64(v); }
template <> inline std::expected<std::uint64_t, std::string> convert(PyObject* v) { return to_u64(v); }

// float() of the value, or none (the conversion's exception is discarded). A
// one-element array is read through its element, avoiding NumPy's deprecated
// array-to-scalar conversion.
std::optional<double> float_of(PyObject* v);

// A Python str of the text (invalid UTF-8 replaced).
PyRef py_text(std::string_view text);

// obj.name(*args), the method looked up at every call. Null with the Python
// exception set if the lookup or the call fails; every argument must be non-null.
template <class... Args>
PyRef call_method(PyObject* obj, const char* name, Args... args) {
    if (((args == nullptr) || ...)) return {};
    PyRef method = PyRef::steal(PyObject_GetAttrString(obj, name));
    if (!method) return {};
    return PyRef::steal(PyObject_CallFunctionObjArgs(method.get(), static_cast<PyObject*>(args)..., nullptr));
}

// Dictionary access: a plain lookup (no __missing__). The result is a strong
// reference, since reading further values may run code that changes the dict.
std::expected<PyRef, PyParseError> get_any(PyObject* dict, const char* key);
std::expected<PyRef, PyParseError> get_dict(PyObject* dict, const char* key);

template <class T>
std::expected<T, PyParseError> get_typed(PyObject* dict, const char* key) {
    auto v = get_any(dict, key);
    if (!v) return std::unexpected(std::move(v.error()));
    auto c = convert<T>(v->get());
    if (!c) return std::unexpected(PyParseError{PyParseError::WrongType{key, std::move(c.error())}});
    return std::move(*c);
}

inline std::expected<std::string, PyParseError> get_str(PyObject* dict, const char* key) {
    return get_typed<std::string>(dict, key);
}

// "FLAGS": 0 when absent, at most 15.
std::expected<std::uint32_t, PyParseError> get_flag(PyObject* dict);

// Columns 0 and 1 of a two-dimensional float64 array (further columns ignored).
std::expected<std::pair<std::vector<double>, std::vector<double>>, std::string> get_2col_array(PyObject* v);

}  // namespace tamrix::python_module
