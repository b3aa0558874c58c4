#pragma once
#include <cstdint>
#include <optional>

#include "asset/assets.hpp"
#include "model/forwardmodel.hpp"

namespace tamrix::qmc {

// A Monte Carlo model: supplies per-path asset values and step discounts; the
// walk, discounting bookkeeping and backward valuation are shared.
class MCModel : public model::FwdModel {
public:
    virtual std::int64_t prc_ts() const = 0;
    virtual const asset::Assets& assets() const = 0;
    // The model's own value of `name` on every path, if it has one.
    virtual std::expected<std::optional<util::ValueVec>, model::ModelError> get_model_val_mc(
        model::FwdModelStateCommon& state, const std::string& name) const = 0;
    // Moves the model to `ts` and updates state.discount.
    virtual std::expected<void, model::ModelError> advance(model::FwdModelStateCommon& state,
                                                           std::int64_t ts) const = 0;

    std::int64_t start_time() const final { return prc_ts(); }
    std::string missing_time_text() const final { return "missing time"; }
    std::expected<void, model::ModelError> step_to(model::FwdModelStateCommon& state, std::int64_t current,
                                                   std::int64_t ts) const final;
    std::expected<util::ValueVec, model::ModelError> asset_value(model::FwdModelStateCommon& state,
                                                                 const util::ValueVec& quantity,
                                                                 const std::string& name,
                                                                 std::int64_t ts) const final;
};

std::expected<ledger::Ledger, model::ModelError> calculate(const MCModel& model, const timetable::TimeTable& tt);
// Mean of track 0's vector over the paths.
std::expected<double, model::ModelError> price(const MCModel& model, const ledger::Ledger& ledger);

}  // namespace tamrix::qmc
