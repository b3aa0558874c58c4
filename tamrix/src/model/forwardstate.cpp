#include "model/forwardstate.hpp"

#include "timetable/timetable.hpp"

namespace tamrix::model {

FwdModelStateCommon FwdModelStateCommon::create(const timetable::TimeTable& tt, std::size_t size) {
    return FwdModelStateCommon{ledger::get_dependency_graph(tt), {}, ledger::Ledger(size), {1.0}, {}};
}

std::expected<void, ModelError> evolve_pvs_backward(FwdModelStateCommon& state, const timetable::TimeTable& tt,
                                                    std::uint32_t flags) {
    auto& states = state.graph.states;
    std::size_t remaining = states.size();
    while (remaining > 0) {
        if (states.empty()) return std::unexpected(ModelError::message("Empty Event Graph"));
        ledger::EvState slot = std::move(states.back());
        states.pop_back();
        --remaining;
        const std::size_t event = remaining;

        if (std::holds_alternative<ledger::EvState::Empty>(slot.kind)) continue;
        auto track = tt.track_key_at(event);
        if (!track) return std::unexpected(ModelError(track.error()));

        std::expected<void, ledger::LedgerError> done;
        if (auto* pay = std::get_if<ledger::EvState::Pay>(&slot.kind)) {
            done = state.ledger.one_track_event(tt.op_at(event), *track, std::move(pay->value), event, flags);
        } else if (auto* ref = std::get_if<ledger::EvState::TrackRef>(&slot.kind)) {
            auto pv = state.ledger.pv_vec(ref->track);
            if (!pv) return std::unexpected(ModelError(pv.error()));
            util::ValueVec copy = **pv;
            done = state.ledger.one_track_event(tt.op_at(event), *track, std::move(copy), event, flags);
        } else {
            auto& cond = std::get<ledger::EvState::CondPay>(slot.kind);
            done = state.ledger.one_track_weights(std::move(cond.weight), *track, std::move(cond.value), event, flags);
        }
        if (!done) return std::unexpected(ModelError(done.error()));
    }
    return {};
}

}  // namespace tamrix::model
