#pragma once
#include <Python.h>

#include <cstdint>
#include <expected>

#include "asset/assets.hpp"
#include "python_module/pyerror.hpp"
#include "python_module/pyref.hpp"
#include "qmc/mc.hpp"

namespace tamrix::python_module {

struct McParams {
    asset::Assets assets;
    std::size_t paths = 0;
    std::uint64_t seed = 0;
    std::int64_t prc_ts = 0;
    std::uint32_t flags = 0;
};

std::expected<McParams, PyParseError> get_mc_params(PyObject* dataset);

// The Monte Carlo model served by a Python object's advance(t) and get_value(name).
class MCPy final : public qmc::MCModel {
public:
    MCPy(McParams params, PyRef model) : p_(std::move(params)), model_(std::move(model)) {}

    std::size_t paths() const override { return p_.paths; }
    std::uint32_t flags() const override { return p_.flags; }
    std::int64_t prc_ts() const override { return p_.prc_ts; }
    const asset::Assets& assets() const override { return p_.assets; }
    std::expected<std::optional<util::ValueVec>, model::ModelError> get_model_val_mc(
        model::FwdModelStateCommon& state, const std::string& name) const override;
    std::expected<void, model::ModelError> advance(model::FwdModelStateCommon& state, std::int64_t ts) const override;

private:
    McParams p_;
    PyRef model_;
};

// "Error in Python method '{method}', caused by \n{pending exception}" as a ModelError.
model::ModelError method_error(const char* method);

}  // namespace tamrix::python_module
