#include "hist/historic.hpp"

namespace tamrix::hist {

std::expected<util::ValueVec, model::ModelError> Historic::asset_value(model::FwdModelStateCommon&,
                                                                       const util::ValueVec& quantity,
                                                                       const std::string& name,
                                                                       std::int64_t ts) const {
    auto v = data_->asset_value(name, ts);
    if (!v) return std::unexpected(std::move(v.error()));
    return util::scaled(quantity, *v);
}

std::expected<ledger::Ledger, model::ModelError> calculate(const Historic& model, const timetable::TimeTable& tt) {
    return model::calculate_forward(model, tt);
}

}  // namespace tamrix::hist
