#include "model/forwardmodel.hpp"

#include <algorithm>

#include "timetable/timetable.hpp"

namespace tamrix::model {

using util::ValueVec;

namespace {

// Vectors handed to the ledger must have one entry or one per path.
std::expected<void, ModelError> fits_paths(const ValueVec& v, std::size_t paths) {
    if (v.size() == 1 || v.size() == paths) return {};
    return std::unexpected(ModelError::message("Value vector of length " + std::to_string(v.size()) +
                                               " does not fit " + std::to_string(paths) + " paths"));
}

// The phrase evaluated on the values of its input names.
std::expected<std::vector<ValueVec>, ModelError> eval_phrase(const FwdModel& m, FwdModelStateCommon& state,
                                                             const timetable::TimeTable& tt,
                                                             const expr::EvalPhrase& phrase, std::int64_t ts) {
    std::vector<ValueVec> inputs;
    inputs.reserve(phrase.iter_inp().size());
    for (const auto& inp : phrase.iter_inp()) {
        auto v = name_value(m, state, tt, inp, ts);
        if (!v) return std::unexpected(std::move(v.error()));
        inputs.push_back(std::move(*v));
    }
    auto outputs = phrase.eval(std::move(inputs));
    if (!outputs) return std::unexpected(ModelError(std::move(outputs.error())));
    return std::move(*outputs);
}

std::expected<void, ModelError> snapper_event(const FwdModel& m, FwdModelStateCommon& state,
                                              const timetable::TimeTable& tt, const std::string& name,
                                              std::int64_t ts) {
    auto snapper = tt.snapper_by_name(name);
    if (!snapper) return std::unexpected(ModelError(snapper.error()));
    auto outputs = eval_phrase(m, state, tt, *(*snapper)->phrase, ts);
    if (!outputs) return std::unexpected(std::move(outputs.error()));
    const auto& names = (*snapper)->out;
    const std::size_t n = std::min(names.size(), outputs->size());
    for (std::size_t j = 0; j < n; ++j) state.snaps[names[j]] = std::move((*outputs)[j]);
    return {};
}

// Steps 3.7 and 3.8 of the walk for one event; failures are event-wrapped by the caller.
std::expected<void, ModelError> value_event(const FwdModel& m, FwdModelStateCommon& state,
                                            const timetable::TimeTable& tt, std::size_t i, std::int64_t ts,
                                            const ValueVec& dq) {
    const timetable::Op& op = tt.op_at(i);
    const auto unit_key = tt.unit_key_at(i);
    if (!unit_key) return std::unexpected(ModelError::event_specs("Missing Unit Name"));
    const timetable::Unit& unit = tt.unit_by_key(*unit_key);

    using U = timetable::Unit;
    if (auto* t = std::get_if<U::Track>(&unit.kind)) {
        ledger::save_t(state.graph, i, t->key);
        return {};
    }
    if (auto* s = std::get_if<U::Snapper>(&unit.kind)) return snapper_event(m, state, tt, s->name, ts);
    if (std::holds_alternative<U::Unnamed>(unit.kind)) return std::unexpected(ModelError::message("Unknown Unit"));

    std::expected<ValueVec, ModelError> value;
    if (auto* a = std::get_if<U::Asset>(&unit.kind)) {
        value = m.asset_value(state, dq, a->name, ts);
    } else if (auto* s = std::get_if<U::Snap>(&unit.kind)) {
        auto found = state.snaps.find(s->name);
        if (found == state.snaps.end())
            return std::unexpected(ModelError::message("Unknown Snap '" + s->name + "'"));
        value = found->second;
        if (auto ok = util::mul_into(*value, dq); !ok) return std::unexpected(ModelError::message(ok.error()));
    } else {
        const auto& name = std::get<U::Phrase>(unit.kind).name;
        const expr::EvalPhrase* phrase = tt.get_phrase(name);
        if (!phrase) return std::unexpected(ModelError::event_specs("Phrase not found#" + name));
        value = phrase_value_1(m, state, tt, *phrase, ts);
        if (!value) return std::unexpected(std::move(value.error()));
        if (auto ok = util::mul_into(*value, dq); !ok) return std::unexpected(ModelError::message(ok.error()));
    }
    if (!value) return std::unexpected(std::move(value.error()));
    if (auto ok = fits_paths(*value, m.paths()); !ok) return ok;
    return gr_save(m, state, tt, i, std::move(*value), op, ts);
}

}  // namespace

std::expected<ValueVec, ModelError> name_value(const FwdModel& m, FwdModelStateCommon& state,
                                               const timetable::TimeTable& tt, const std::string& name,
                                               std::int64_t ts) {
    if (const expr::EvalPhrase* phrase = tt.get_phrase(name)) {
        auto& active = state.phrases_in_progress;
        if (std::find(active.begin(), active.end(), name) != active.end())
            return std::unexpected(ModelError::message("Phrase '" + name + "' depends on itself through its inputs"));
        active.push_back(name);
        auto value = phrase_value_1(m, state, tt, *phrase, ts);
        active.pop_back();
        return value;
    }
    if (auto found = state.snaps.find(name); found != state.snaps.end()) return found->second;
    return m.asset_value(state, ValueVec{1.0}, name, ts);
}

std::expected<ValueVec, ModelError> phrase_value_1(const FwdModel& m, FwdModelStateCommon& state,
                                                   const timetable::TimeTable& tt, const expr::EvalPhrase& phrase,
                                                   std::int64_t ts) {
    auto outputs = eval_phrase(m, state, tt, phrase, ts);
    if (!outputs) return std::unexpected(std::move(outputs.error()));
    if (outputs->empty()) return std::unexpected(ModelError::message("No output from phrase"));
    return std::move(outputs->back());
}

std::expected<void, ModelError> gr_save(const FwdModel& m, FwdModelStateCommon& state,
                                        const timetable::TimeTable& tt, std::size_t event, ValueVec value,
                                        const timetable::Op& op, std::int64_t ts) {
    const auto* named = op.named();
    if (!named) {
        ledger::save_pay(state.graph, event, std::move(value));
        return {};
    }
    auto weight = name_value(m, state, tt, named->name, ts);
    if (!weight) return std::unexpected(std::move(weight.error()));
    if (auto ok = fits_paths(*weight, m.paths()); !ok) return ok;
    ledger::save_cond_pay(state.graph, event, std::move(value), std::move(*weight));
    return {};
}

std::expected<void, ModelError> evolve_forward(const FwdModel& m, FwdModelStateCommon& state,
                                               const timetable::TimeTable& tt) {
    std::int64_t current = m.start_time();
    for (std::size_t i = 0; i < tt.len(); ++i) {
        const auto ts = tt.ts_opt_at(i);
        if (!ts) return std::unexpected(event_error(tt, i, m.missing_time_text()));
        if (*ts < current) return std::unexpected(event_in_past(tt, i, current));
        if (auto moved = m.step_to(state, current, *ts); !moved) return moved;
        current = *ts;

        const ValueVec dq = util::scaled(state.discount, tt.quantity_at(i));
        if (auto done = value_event(m, state, tt, i, *ts, dq); !done)
            return std::unexpected(event_error(tt, i, done.error().text()));
    }
    return {};
}

std::expected<ledger::Ledger, ModelError> calculate_forward(const FwdModel& m, const timetable::TimeTable& tt) {
    auto state = FwdModelStateCommon::create(tt, m.paths());
    if (auto walked = evolve_forward(m, state, tt); !walked) return std::unexpected(std::move(walked.error()));
    if (auto back = evolve_pvs_backward(state, tt, m.flags()); !back) return std::unexpected(std::move(back.error()));
    return std::move(state.ledger);
}

std::expected<double, ModelError> price_single(const ledger::Ledger& ledger) {
    auto pv = ledger.pv_vec(0);
    if (!pv) return std::unexpected(ModelError(pv.error()));
    return (**pv)[0];
}

}  // namespace tamrix::model
