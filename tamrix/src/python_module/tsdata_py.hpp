#pragma once
#include <Python.h>

#include "hist/tsdata.hpp"
#include "python_module/pyref.hpp"

namespace tamrix::python_module {

// Historic values from py_state.get_value(name, ts_ms); the base is worth 1.
class TsDataPy final : public hist::TsData {
public:
    TsDataPy(std::string base, PyRef py_state) : base_(std::move(base)), py_state_(std::move(py_state)) {}
    std::expected<double, model::ModelError> asset_value(const std::string& name, std::int64_t ts) const override;

private:
    std::string base_;
    PyRef py_state_;
};

}  // namespace tamrix::python_module
