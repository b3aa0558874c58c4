#include "qfd/hull_white.hpp"

#include <cmath>

#include "timetable/timetable.hpp"

namespace tamrix::qfd {

std::expected<FdState, model::ModelError> create_state_cn(const HullWhiteCN& m, const timetable::TimeTable& tt) {
    const auto maturity = grid_maturity(tt);
    if (!maturity) return std::unexpected(maturity.error());
    return FdState::create(m.params.n_x, m.params.max_x, *maturity);
}

std::optional<ValueVec> get_model_val_cn(const HullWhiteCN&, const FdState&, const std::string&) {
    return std::nullopt;
}

double hw_convexity(double a, double vol, double t) {
    // g = (1 - e^{-a t}) / a, by its series where a t is too small for the quotient
    const double x = a * t;
    const double g = std::abs(x) < 1e-6 ? t * (1.0 - x / 2.0 + x * x / 6.0) : -std::expm1(-x) / a;
    return vol * vol / 2.0 * g * g;
}

std::expected<CnMatrices, model::ModelError> cn_coefficients(const HullWhiteCN& m, const FdState& s, std::int64_t t) {
    const auto span = step_span(m.params, s, t);
    if (!span) return std::unexpected(span.error());
    const double dt = span->dt;
    const double phi = span->rate + hw_convexity(m.meanrev, m.vol, span->t_a);
    const double b = m.vol * m.vol * (dt / 4.0) / (s.dx * s.dx);
    const ValueVec c = util::scaled(s.grid, -(m.meanrev * (dt / 4.0)) / s.dx);
    const ValueVec e = util::scaled(util::add(s.grid, {phi}), dt / 2.0);
    return cn_matrices(s.size, b, c, e);
}

}  // namespace tamrix::qfd
