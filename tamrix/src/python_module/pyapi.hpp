#pragma once
#include <Python.h>

#include <expected>

#include "python_module/pyerror.hpp"
#include "qdt/fixed.hpp"
#include "qfd/black_scholes.hpp"
#include "qfd/hull_white.hpp"
#include "qfd/params.hpp"

namespace tamrix::python_module {

// Model readers of the dataset dictionary.
std::expected<qdt::Fixed, PyParseError> read_fixed(PyObject* dataset);
// Assets, "FD" and "PRICING_TS".
std::expected<qfd::FD1FParams, PyParseError> get_fd_1f(PyObject* dataset);
// Grid models; once every key is read, grid values they cannot work with are InvalidValue.
std::expected<qfd::BlackScholesCN, PyParseError> read_black_scholes(PyObject* dataset);
std::expected<qfd::HullWhiteCN, PyParseError> read_hull_white(PyObject* dataset);

}  // namespace tamrix::python_module
