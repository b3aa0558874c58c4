#pragma once
#include <cstdint>
#include <expected>
#include <string>
#include <variant>

#include "ledger/ledger.hpp"
#include "model/error.hpp"
#include "qfd/black_scholes.hpp"
#include "qfd/crank.hpp"
#include "qfd/hull_white.hpp"
#include "qfd/state.hpp"
#include "timetable/timetable.hpp"

namespace tamrix::qfd {

// The lattice step in ms: timestep years truncated toward zero, saturating at
// the 64-bit limits, NaN giving 0.
std::int64_t lattice_step_ms(double timestep);

// Steps shorter than this many years are not taken.
inline constexpr double MIN_STEP_YEARS = 1e-10;

namespace detail {

// Rejects grids the walk cannot work on: no nodes beside the centre, a width
// that is not finite and positive, a lattice step under one millisecond.
std::expected<void, model::ModelError> check_grid(const FD1FParams& p);
std::int64_t minus_saturating(std::int64_t t, std::int64_t step);
// v[n_x]; a shorter vector is an InternalError.
double centre_value(const ValueVec& v, std::uint64_t n_x);

}  // namespace detail

// Moves every track's values from state.ts back to t; steps shorter than
// MIN_STEP_YEARS (zero and negative ones included) change nothing.
template <FDCN M>
std::expected<void, model::ModelError> step_back(const M& model, FdState& state, std::int64_t t) {
    if (!(asset::year_fraction(state.ts, t) >= MIN_STEP_YEARS)) return {};
    auto m = cn_coefficients(model, state, t);
    if (!m) return std::unexpected(std::move(m.error()));
    for (auto& [track, v] : state.ledger.pvs_by_track_mut()) v = m->implicit.solve(m->explicit_.product(v));
    state.ts = t;
    return {};
}

// Applies the single-track event of row idx with its value (consumed).
template <FDCN M>
std::expected<void, model::ModelError> one_track_event(const M& model, FdState& state, const timetable::TimeTable& tt,
                                                       std::size_t idx, ValueVec value) {
    const auto track = tt.track_key_at(idx);
    if (!track) return std::unexpected(model::ModelError(track.error()));
    auto r = state.ledger.one_track_event(tt.op_at(idx), *track, std::move(value), idx, model.params.flags);
    if (!r) return std::unexpected(model::ModelError(std::move(r.error())));
    return {};
}

// The value of asset `name` at te times scale: the model's own node values
// when it drives the asset, else the curve's value (keeping scale's length).
template <FDCN M>
std::expected<ValueVec, model::ModelError> asset_value_cn(const M& model, const FdState& state, const ValueVec& scale,
                                                          const std::string& name, std::int64_t te) {
    if (auto own = get_model_val_cn(model, state, name)) return util::mul(*own, scale);
    const auto v = model.params.assets.asset_value(name, asset::year_fraction(te, model.params.prc_ts));
    if (!v) return std::unexpected(model::ModelError(v.error()));
    return util::scaled(scale, *v);
}

namespace detail {

template <FDCN M>
std::expected<void, model::ModelError> apply_event(const M& model, FdState& state, const timetable::TimeTable& tt,
                                                   std::size_t idx) {
    using model::ModelError;
    using timetable::Unit;
    using Result = std::expected<void, ModelError>;
    const auto key = tt.unit_key_at(idx);
    if (!key) return std::unexpected(ModelError::event_specs("Missing Unit Name"));
    const Unit& unit = tt.unit_by_key(*key);
    const double q = tt.quantity_at(idx);
    if (const auto* u = std::get_if<Unit::Track>(&unit.kind)) {
        const auto pv = state.ledger.pv_vec(u->key);
        if (!pv) return std::unexpected(ModelError(pv.error()));
        return one_track_event(model, state, tt, idx, util::scaled(**pv, q));
    }
    if (const auto* u = std::get_if<Unit::Asset>(&unit.kind)) {
        auto value = asset_value_cn(model, state, ValueVec{q}, u->name, tt.ts_at(idx));
        if (!value) return std::unexpected(std::move(value.error()));
        return one_track_event(model, state, tt, idx, std::move(*value));
    }
    if (const auto* u = std::get_if<Unit::Snapper>(&unit.kind))
        return Result(std::unexpect, ModelError::not_implemented("Snapper in FD: " + u->name));
    if (const auto* u = std::get_if<Unit::Snap>(&unit.kind))
        return Result(std::unexpect, ModelError::not_implemented("Snap in FD: " + u->name));
    if (const auto* u = std::get_if<Unit::Phrase>(&unit.kind))
        return Result(std::unexpect, ModelError::not_implemented("Phrase in FD: " + u->name));
    return Result(std::unexpect, ModelError::event_specs("Unknown Unit"));
}

// Steps down the lattice from t while it lies above target, then exactly to target.
template <FDCN M>
std::expected<void, model::ModelError> walk_to(const M& model, FdState& state, std::int64_t& t, std::int64_t target,
                                               std::int64_t step) {
    while (t > target) {
        if (auto r = step_back(model, state, t); !r) return r;
        t = minus_saturating(t, step);
    }
    return step_back(model, state, target);
}

}  // namespace detail

// Values the timetable backward on the grid: from the last row's time down the
// lattice, with an exact step to every event time and finally to the pricing
// time, applying the events last row first. Failures while applying an event
// carry the event's description; step failures are returned as they are.
template <FDCN M>
std::expected<ledger::Ledger, model::ModelError> calculate_fd(const M& model, const timetable::TimeTable& tt) {
    const FD1FParams& p = model.params;
    if (auto ok = detail::check_grid(p); !ok) return std::unexpected(std::move(ok.error()));
    auto state = create_state_cn(model, tt);
    if (!state) return std::unexpected(std::move(state.error()));

    const std::int64_t step = lattice_step_ms(p.timestep);
    std::int64_t t = detail::minus_saturating(state->ts, step);
    for (std::size_t idx = tt.len(); idx-- > 0;) {
        if (auto r = detail::walk_to(model, *state, t, tt.ts_at(idx), step); !r)
            return std::unexpected(std::move(r.error()));
        if (auto r = detail::apply_event(model, *state, tt, idx); !r)
            return std::unexpected(model::event_error(tt, idx, r.error().text()));
    }
    if (auto r = detail::walk_to(model, *state, t, p.prc_ts, step); !r) return std::unexpected(std::move(r.error()));
    return std::move(*state).into_ledger();
}

// Track 0's value at the centre node.
template <FDCN M>
std::expected<double, model::ModelError> price_fd(const M& model, const ledger::Ledger& ledger) {
    const auto v = ledger.pv_vec(0);
    if (!v) return std::unexpected(model::ModelError(v.error()));
    return detail::centre_value(**v, model.params.n_x);
}

}  // namespace tamrix::qfd
