#pragma once
#include <Python.h>

#include <cstdint>
#include <expected>

#include "ledger/ledger.hpp"
#include "model/error.hpp"

namespace tamrix::python_module {

// Calls py_state.set_stat(key, value); every failure is discarded.
void set_stat(PyObject* py_state, const char* key, PyObject* value);

// "PV_VEC", "CHOICES" and "CASHFLOW" as the flag word asks.
std::expected<void, model::ModelError> py_save_stats(std::uint32_t flags, ledger::Ledger& ledger, PyObject* py_state);

// "CASHFLOW": {track key: pyarrow.RecordBatch ("index" UInt64, "value" Float64)}.
// False with a Python exception set when a batch cannot reach pyarrow.
bool save_backtest_cashflow(ledger::Ledger& ledger, PyObject* py_state);

}  // namespace tamrix::python_module
