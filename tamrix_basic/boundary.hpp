#pragma once
#include <Python.h>

#include <exception>
#include <new>
#include <stdexcept>

#include "util/internal_error.hpp"

namespace tamrix_basic {

// _tamrix.InternalError, created at module initialisation.
extern PyObject* internal_error_type;

// Runs a module function body; no C++ exception crosses into CPython.
template <class F>
PyObject* guarded(F&& body) noexcept {
    try {
        return body();
    } catch (const tamrix::InternalError& e) {
        PyErr_SetString(internal_error_type, e.what());
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::length_error&) {
        // A size from the caller too large to allocate (e.g. PATHS or N_X).
        PyErr_NoMemory();
    } catch (const std::exception& e) {
        PyErr_SetString(internal_error_type, e.what());
    } catch (...) {
        PyErr_SetString(internal_error_type, "unknown C++ exception");
    }
    return nullptr;
}

}  // namespace tamrix_basic
