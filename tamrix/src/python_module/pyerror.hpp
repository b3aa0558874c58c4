#pragma once
#include <Python.h>

#include <memory>
#include <string>
#include <variant>

#include "asset/error.hpp"
#include "model/error.hpp"
#include "timetable/error.hpp"

namespace tamrix::python_module {

// The pending Python exception as "{type name}: {message}" (or
// "{type name}: <exception str() failed>"); the error indicator is cleared.
std::string take_error_text();
// Qualified name of the object's type, e.g. "list", "ndarray".
std::string type_name_of(PyObject* obj);
// "'{type}' object cannot be converted to '{target}'"
std::string cannot_convert(PyObject* obj, const char* target);

// Errors of reading Python inputs (dataset and expressions dictionaries).
struct PyParseError {
    struct Python { std::string text; };  // rendered exception
    struct Asset { asset::AssetError inner; };
    struct Expression { std::string name; std::shared_ptr<const PyParseError> cause; };
    struct InvalidValue { std::string key; std::string value; };
    struct MissingKey { std::string key; };
    struct WrongType { std::string key; std::string detail; };
    struct Message { std::string text; };
    std::variant<Python, Asset, Expression, InvalidValue, MissingKey, WrongType, Message> kind;

    static PyParseError python(std::string text) { return {Python{std::move(text)}}; }
    static PyParseError message(std::string text) { return {Message{std::move(text)}}; }
    std::string text() const;
};

PyParseError expr_err(const std::string& name, PyParseError cause);

struct PyTimeTableError {
    struct Parse { PyParseError inner; };
    struct Table { timetable::TimeTableError inner; };
    std::variant<Parse, Table> kind;
    std::string text() const;
};

// Failures of Python code called during a valuation.
struct PyExecError {
    struct Python { std::string text; };
    struct FoundValue { std::string text; };
    struct Method { std::string name; std::string text; };
    struct Execution { std::string text; };
    std::variant<Python, FoundValue, Method, Execution> kind;
    std::string text() const;
};

// Sets RuntimeError with the boundary texts; always returns nullptr.
PyObject* raise_timetable_error(const PyTimeTableError& e);
PyObject* raise_dataset_error(const PyParseError& e);
PyObject* raise_model_error(const model::ModelError& e);

}  // namespace tamrix::python_module
