// The _tamrix extension module: its definition and initialisation.
#include <Python.h>

#include "boundary.hpp"
#include "functions.hpp"
#include "python_module/numpy_api.hpp"

namespace tamrix_basic {

PyObject* internal_error_type = nullptr;

namespace {

#define TAMRIX_FN(name) reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(name))

PyMethodDef methods[] = {
    {"mc_price", TAMRIX_FN(mc_price), METH_FASTCALL | METH_KEYWORDS,
     "mc_price(events_rb, py_state, dataset, expressions)\n--\n\n"
     "Takes the timetable as a pyarrow record batch and calculates price using monte carlo simulation. "
     "It is a thin Python wrapper around the calculate function of the core library's Monte Carlo module."},
    {"fixed_price", TAMRIX_FN(fixed_price), METH_FASTCALL | METH_KEYWORDS,
     "fixed_price(events_rb, py_state, dataset, expressions)\n--\n\n"
     "Takes the timetable as a pyarrow record batch and calculates price using the fixed model. "
     "It is a thin Python wrapper around the calculate function of the core library's fixed model module."},
    {"fd_hullwhite_price", TAMRIX_FN(fd_hullwhite_price), METH_FASTCALL | METH_KEYWORDS,
     "fd_hullwhite_price(events_rb, py_state, dataset, expressions)\n--\n\n"
     "Takes the timetable as a pyarrow record batch and calculates price using finite difference grid. "
     "It is a thin Python wrapper around the calculate function of the core library's finite-difference module."},
    {"fd_blackscholes_price", TAMRIX_FN(fd_blackscholes_price), METH_FASTCALL | METH_KEYWORDS,
     "fd_blackscholes_price(events_rb, py_state, dataset, expressions)\n--\n\n"
     "Takes the timetable as a pyarrow record batch and calculates price using finite difference grid. "
     "It is a thin Python wrapper around the calculate function of the core library's finite-difference module."},
    {"backtest_csv", TAMRIX_FN(backtest_csv), METH_FASTCALL | METH_KEYWORDS,
     "backtest_csv(events_rb, py_state, _filename, base, expressions)\n--\n\n"
     "Takes the timetable as a pyarrow record batch and calculates cashflows using valuation along historic data. "
     "It is a thin Python wrapper around the calculate function of the core library's historic module."},
    {"backtest_py", TAMRIX_FN(backtest_py), METH_FASTCALL | METH_KEYWORDS,
     "backtest_py(events_rb, py_state, expressions, base)\n--\n\n"
     "Takes the timetable as a pyarrow record batch and calculates cashflows using valuation along historic data. "
     "It is a thin Python wrapper around the calculate function of the core library's historic module."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef module_def = {PyModuleDef_HEAD_INIT, "_tamrix", "basic", 0, methods, nullptr, nullptr, nullptr, nullptr};

bool initialised = false;

}  // namespace

}  // namespace tamrix_basic

PyMODINIT_FUNC PyInit__tamrix() {
    using namespace tamrix_basic;
    if (initialised) {
        PyErr_SetString(PyExc_ImportError, "_tamrix may be initialised only once per process");
        return nullptr;
    }
    if (!tamrix::python_module::import_numpy()) return nullptr;
    PyObject* m = PyModule_Create(&module_def);
    if (!m) return nullptr;
    if (!internal_error_type) {
        internal_error_type = PyErr_NewExceptionWithDoc(
            "_tamrix.InternalError", "A violated internal invariant of the engine.", PyExc_BaseException, nullptr);
        if (!internal_error_type) {
            Py_DECREF(m);
            return nullptr;
        }
    }
    if (PyModule_AddObjectRef(m, "InternalError", internal_error_type) < 0) {
        Py_DECREF(m);
        return nullptr;
    }
    initialised = true;
    return m;
}
