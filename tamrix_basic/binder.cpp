#include "binder.hpp"

#include <string>
#include <vector>

#include "python_module/pyref.hpp"

namespace tamrix_basic {

using tamrix::python_module::PyRef;

namespace {

std::string quoted_list(const std::vector<const char*>& names) {
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) {
            if (names.size() == 2) out += " and ";
            else if (i + 1 == names.size()) out += ", and ";
            else out += ", ";
        }
        out += "'" + std::string(names[i]) + "'";
    }
    return out;
}

bool type_error(const std::string& msg) {
    PyErr_SetString(PyExc_TypeError, msg.c_str());
    return false;
}

}  // namespace

bool bind_args(const char* fname, std::span<const char* const> params, PyObject* const* args, Py_ssize_t nargs,
               PyObject* kwnames, PyObject** out) {
    const std::string f = fname;
    const auto n = static_cast<Py_ssize_t>(params.size());
    if (nargs > n)
        return type_error(f + "() takes " + std::to_string(n) + " positional arguments but " + std::to_string(nargs) +
                          (nargs == 1 ? " was given" : " were given"));
    for (Py_ssize_t i = 0; i < n; ++i) out[i] = i < nargs ? args[i] : nullptr;

    const Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
    for (Py_ssize_t k = 0; k < nkw; ++k) {
        PyObject* key = PyTuple_GET_ITEM(kwnames, k);
        const char* name = PyUnicode_Check(key) ? PyUnicode_AsUTF8(key) : nullptr;
        if (!name) {
            PyErr_Clear();
            return type_error(f + "() keywords must be strings");
        }
        Py_ssize_t slot = -1;
        for (Py_ssize_t i = 0; i < n; ++i)
            if (std::string(params[i]) == name) slot = i;
        if (slot < 0) return type_error(f + "() got an unexpected keyword argument '" + name + "'");
        if (out[slot]) return type_error(f + "() got multiple values for argument '" + name + "'");
        out[slot] = args[nargs + k];
    }

    std::vector<const char*> missing;
    for (Py_ssize_t i = 0; i < n; ++i)
        if (!out[i]) missing.push_back(params[i]);
    if (!missing.empty())
        return type_error(f + "() missing " + std::to_string(missing.size()) + " required positional argument" +
                          (missing.size() == 1 ? "" : "s") + ": " + quoted_list(missing));
    return true;
}

bool reraise_for_argument(const char* param) {
    if (!PyErr_ExceptionMatches(PyExc_TypeError)) return false;
    PyObject *type = nullptr, *value = nullptr, *tb = nullptr;
    PyErr_Fetch(&type, &value, &tb);
    PyErr_NormalizeException(&type, &value, &tb);
    PyRef t = PyRef::steal(type), v = PyRef::steal(value), b = PyRef::steal(tb);
    PyRef msg = v ? PyRef::steal(PyObject_Str(v.get())) : PyRef();
    if (!msg) PyErr_Clear();
    PyRef text = PyRef::steal(PyUnicode_FromFormat("argument '%s': %S", param, msg ? msg.get() : Py_None));
    if (!text) return false;
    PyRef err = PyRef::steal(PyObject_CallOneArg(PyExc_TypeError, text.get()));
    if (!err) return false;
    if (v) {
        PyObject* cause = PyException_GetCause(v.get());  // new reference, stolen below
        if (cause) PyException_SetCause(err.get(), cause);
    }
    PyErr_SetObject(PyExc_TypeError, err.get());
    return false;
}

}  // namespace tamrix_basic
