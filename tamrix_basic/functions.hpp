#pragma once
#include <Python.h>

namespace tamrix_basic {

PyObject* mc_price(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* fixed_price(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* fd_hullwhite_price(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* fd_blackscholes_price(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* backtest_csv(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* backtest_py(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

}  // namespace tamrix_basic
