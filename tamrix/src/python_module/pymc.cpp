#include "python_module/pymc.hpp"

#include "python_module/numpy_api.hpp"
#include "python_module/pyasset.hpp"
#include "python_module/pyutils.hpp"

namespace tamrix::python_module {

std::expected<McParams, PyParseError> get_mc_params(PyObject* dataset) {
    McParams p;
    auto assets = create_assets(dataset);
    if (!assets) return std::unexpected(std::move(assets.error()));
    p.assets = std::move(*assets);
    auto mc = get_dict(dataset, "MC");
    if (!mc) return std::unexpected(std::move(mc.error()));
    auto paths = get_typed<std::uint64_t>(mc->get(), "PATHS");
    if (!paths) return std::unexpected(std::move(paths.error()));
    p.paths = *paths;
    auto seed = get_typed<std::uint64_t>(mc->get(), "SEED");
    if (!seed) return std::unexpected(std::move(seed.error()));
    p.seed = *seed;
    auto flags = get_flag(mc->get());
    if (!flags) return std::unexpected(std::move(flags.error()));
    p.flags = *flags;
    auto prc_ts = get_typed<std::int64_t>(dataset, "PRICING_TS");
    if (!prc_ts) return std::unexpected(std::move(prc_ts.error()));
    p.prc_ts = *prc_ts;
    return p;
}

model::ModelError method_error(const char* method) {
    return model::ModelError::message(PyExecError{PyExecError::Method{method, take_error_text()}}.text());
}

namespace {

model::ModelError wrong_length(const char* method, std::size_t got, std::size_t paths) {
    return model::ModelError::message("Array from Python method '" + std::string(method) + "' has " +
                                      std::to_string(got) + " entries; expected " + std::to_string(paths) +
                                      " (PATHS) or 1");
}

}  // namespace

std::expected<std::optional<util::ValueVec>, model::ModelError> MCPy::get_model_val_mc(model::FwdModelStateCommon&,
                                                                                        const std::string& name) const {
    PyRef result = call_method(model_.get(), "get_value", py_text(name).get());
    if (!result) return std::unexpected(method_error("get_value"));
    auto values = copy_float64_1d(result.get());
    if (values && values->size() != 1 && values->size() != p_.paths)
        return std::unexpected(wrong_length("get_value", values->size(), p_.paths));
    return values;
}

std::expected<void, model::ModelError> MCPy::advance(model::FwdModelStateCommon& state, std::int64_t ts) const {
    const double t = asset::year_fraction(ts, p_.prc_ts);
    PyRef result = call_method(model_.get(), "advance", PyRef::steal(PyFloat_FromDouble(t)).get());
    if (!result) return std::unexpected(method_error("advance"));

    std::optional<util::ValueVec> step = copy_float64_1d(result.get());
    if (!step) {
        if (auto v = float_of(result.get())) step = util::ValueVec{*v};
    }
    if (step) {
        if (step->size() != 1 && step->size() != p_.paths)
            return std::unexpected(wrong_length("advance", step->size(), p_.paths));
        if (auto d = util::mul_into(state.discount, *step); !d)
            return std::unexpected(model::ModelError::message(d.error()));
        return {};
    }
    auto df = p_.assets.discount_factor(t);
    if (!df) return std::unexpected(model::ModelError(std::move(df.error())));
    state.discount = {*df};
    return {};
}

}  // namespace tamrix::python_module
