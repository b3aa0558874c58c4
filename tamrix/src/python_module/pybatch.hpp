#pragma once
#include <Python.h>

#include <optional>

#include "arrow/record_batch.hpp"

namespace tamrix::python_module {

// Takes over a record batch from an object with __arrow_c_array__ or a pyarrow
// RecordBatch. None with a Python exception set on failure.
std::optional<arrow::RecordBatch> import_record_batch(PyObject* obj);

}  // namespace tamrix::python_module
