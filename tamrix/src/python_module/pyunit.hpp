#pragma once
#include <Python.h>

#include <expected>
#include <memory>

#include "arrow/record_batch.hpp"
#include "python_module/pyerror.hpp"
#include "python_module/pyexpr.hpp"
#include "timetable/timetable.hpp"

namespace tamrix::python_module {

// Reads the expressions dictionary and assembles the timetable.
std::expected<timetable::TimeTable, PyTimeTableError> create_timetable(arrow::RecordBatch batch, PyObject* expressions);

// A phrase from an entry dictionary: "fn" (any object) and "inp" (list of texts).
std::expected<std::unique_ptr<PyPhrase>, PyParseError> create_phrase(PyObject* entry);

}  // namespace tamrix::python_module
