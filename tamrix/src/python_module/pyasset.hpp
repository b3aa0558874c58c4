#pragma once
#include <Python.h>

#include <expected>

#include "asset/assets.hpp"
#include "python_module/pyerror.hpp"

namespace tamrix::python_module {

// "BASE" and "ASSETS" of the dataset dictionary.
std::expected<asset::Assets, PyParseError> create_assets(PyObject* dataset);

}  // namespace tamrix::python_module
