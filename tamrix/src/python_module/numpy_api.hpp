#pragma once
// The one place that includes NumPy's C API; numpy_api.cpp owns the API table.
#include <Python.h>

#define PY_ARRAY_UNIQUE_SYMBOL TAMRIX_ARRAY_API
#ifndef TAMRIX_NUMPY_API_OWNER
#define NO_IMPORT_ARRAY
#endif
#include <numpy/arrayobject.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "python_module/pyref.hpp"

namespace tamrix::python_module {

// Loads NumPy's C API; false with a Python exception set on failure.
bool import_numpy();

// One-dimensional arrays that take over the vector's memory (no copy).
PyRef adopt_as_array(std::vector<double>&& v);
PyRef adopt_as_array(std::vector<std::uint64_t>&& v);

// A copy of a one-dimensional float64 array (native byte order, any strides),
// or none if `obj` is not one.
std::optional<std::vector<double>> copy_float64_1d(PyObject* obj);
// A one-dimensional bool array as 1.0 / 0.0, or none if `obj` is not one.
std::optional<std::vector<double>> copy_bool_1d(PyObject* obj);

}  // namespace tamrix::python_module
