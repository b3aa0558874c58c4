#include "qmc/mc.hpp"

namespace tamrix::qmc {

std::expected<void, model::ModelError> MCModel::step_to(model::FwdModelStateCommon& state, std::int64_t current,
                                                        std::int64_t ts) const {
    if (ts > current) return advance(state, ts);
    return {};
}

std::expected<util::ValueVec, model::ModelError> MCModel::asset_value(model::FwdModelStateCommon& state,
                                                                      const util::ValueVec& quantity,
                                                                      const std::string& name,
                                                                      std::int64_t ts) const {
    auto own = get_model_val_mc(state, name);
    if (!own) return std::unexpected(std::move(own.error()));
    if (*own) {
        util::ValueVec& v = **own;
        if (auto ok = util::mul_into(v, quantity); !ok) return std::unexpected(model::ModelError::message(ok.error()));
        return std::move(v);
    }
    auto s = assets().asset_value(name, asset::year_fraction(ts, prc_ts()));
    if (!s) return std::unexpected(model::ModelError(std::move(s.error())));
    return util::scaled(quantity, *s);
}

std::expected<ledger::Ledger, model::ModelError> calculate(const MCModel& model, const timetable::TimeTable& tt) {
    return model::calculate_forward(model, tt);
}

std::expected<double, model::ModelError> price(const MCModel&, const ledger::Ledger& ledger) {
    auto pv = ledger.pv_vec(0);
    if (!pv) return std::unexpected(model::ModelError(pv.error()));
    if ((*pv)->empty()) return std::unexpected(model::ModelError::message("Empty PV Vector"));
    return util::mean(**pv);
}

}  // namespace tamrix::qmc
