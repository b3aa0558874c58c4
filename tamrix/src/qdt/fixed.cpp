#include "qdt/fixed.hpp"

namespace tamrix::qdt {

std::expected<void, model::ModelError> Fixed::step_to(model::FwdModelStateCommon& state, std::int64_t,
                                                      std::int64_t ts) const {
    auto df = params_.assets.discount_factor(asset::year_fraction(ts, params_.prc_ts));
    if (!df) return std::unexpected(model::ModelError(std::move(df.error())));
    state.discount = {*df};
    return {};
}

std::expected<util::ValueVec, model::ModelError> Fixed::asset_value(model::FwdModelStateCommon&,
                                                                    const util::ValueVec& quantity,
                                                                    const std::string& name,
                                                                    std::int64_t ts) const {
    auto v = params_.assets.asset_value(name, asset::year_fraction(ts, params_.prc_ts));
    if (!v) return std::unexpected(model::ModelError(std::move(v.error())));
    return util::scaled(quantity, *v);
}

std::expected<ledger::Ledger, model::ModelError> calculate(const Fixed& model, const timetable::TimeTable& tt) {
    return model::calculate_forward(model, tt);
}

std::expected<double, model::ModelError> price(const Fixed&, const ledger::Ledger& ledger) {
    return model::price_single(ledger);
}

}  // namespace tamrix::qdt
