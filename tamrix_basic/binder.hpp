#pragma once
#include <Python.h>

#include <span>

namespace tamrix_basic {

// Binds fast-call arguments to the parameters (all required,
// positional-or-keyword) with the interpreter's customary TypeError texts.
// On success out[i] is a borrowed reference for params[i].
bool bind_args(const char* fname, std::span<const char* const> params, PyObject* const* args, Py_ssize_t nargs,
               PyObject* kwnames, PyObject** out);

// Re-raises a pending TypeError as "argument '{param}': {message}", keeping its
// cause; other exceptions stay as they are. Returns false for chaining.
bool reraise_for_argument(const char* param);

}  // namespace tamrix_basic
