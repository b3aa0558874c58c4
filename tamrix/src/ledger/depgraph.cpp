#include "ledger/depgraph.hpp"

#include <string>

#include "timetable/timetable.hpp"
#include "util/internal_error.hpp"

namespace tamrix::ledger {

namespace {

EvState& slot(EvGraph& g, std::size_t event) {
    if (event >= g.states.size())
        throw InternalError("Event " + std::to_string(event) + " outside the event graph of " +
                            std::to_string(g.states.size()) + " slots");
    return g.states[event];
}

}  // namespace

EvGraph get_dependency_graph(const timetable::TimeTable& tt) {
    EvGraph g;
    g.states.resize(tt.len());
    return g;
}

void save_t(EvGraph& g, std::size_t event, std::uint64_t track) { slot(g, event).kind = EvState::TrackRef{track}; }

void save_pay(EvGraph& g, std::size_t event, util::ValueVec value) {
    slot(g, event).kind = EvState::Pay{std::move(value)};
}

void save_cond_pay(EvGraph& g, std::size_t event, util::ValueVec value, util::ValueVec weight) {
    slot(g, event).kind = EvState::CondPay{std::move(value), std::move(weight)};
}

}  // namespace tamrix::ledger
