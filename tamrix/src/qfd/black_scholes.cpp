#include "qfd/black_scholes.hpp"

#include <cmath>

#include "timetable/timetable.hpp"

namespace tamrix::qfd {

std::expected<FdState, model::ModelError> create_state_cn(const BlackScholesCN& m, const timetable::TimeTable& tt) {
    const auto maturity = grid_maturity(tt);
    if (!maturity) return std::unexpected(maturity.error());
    FdState state = FdState::create(m.params.n_x, m.params.max_x, *maturity);
    const auto s0 = m.params.assets.asset_value(m.asset, 0.0);
    if (!s0) return std::unexpected(model::ModelError(s0.error()));
    state.grid = util::add(state.grid, {std::log(*s0)});
    return state;
}

std::optional<ValueVec> get_model_val_cn(const BlackScholesCN& m, const FdState& s, const std::string& name) {
    if (name != m.asset) return std::nullopt;
    return util::exp_each(s.grid);
}

std::expected<CnMatrices, model::ModelError> cn_coefficients(const BlackScholesCN& m, const FdState& s,
                                                             std::int64_t t) {
    const auto span = step_span(m.params, s, t);
    if (!span) return std::unexpected(span.error());
    const double dt = span->dt;
    const auto mu = m.params.assets.asset_rate(m.asset, span->t_s, span->t_a);
    if (!mu) return std::unexpected(model::ModelError(mu.error()));

    const double var = m.vol * m.vol;
    const double b = var * (dt / 4.0) / (s.dx * s.dx);
    const double c = (*mu - var / 2.0) * (dt / 4.0) / s.dx;
    const double e = (dt / 2.0) * span->rate;
    return cn_matrices(s.size, b, {c}, {e});
}

}  // namespace tamrix::qfd
