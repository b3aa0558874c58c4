#pragma once
#include <Python.h>

#include <expected>

#include "python_module/pyerror.hpp"
#include "qdt/fixed.hpp"

namespace tamrix::python_module {

// Model readers of the dataset dictionary.
std::expected<qdt::Fixed, PyParseError> read_fixed(PyObject* dataset);

}  // namespace tamrix::python_module
