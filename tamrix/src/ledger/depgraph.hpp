#pragma once
#include <cstdint>
#include <variant>
#include <vector>

#include "util/values.hpp"

namespace tamrix::timetable { class TimeTable; }

namespace tamrix::ledger {

// What the forward walk worked out for one event, for the backward pass.
struct EvState {
    struct Empty {};
    struct Pay { util::ValueVec value; };
    struct TrackRef { std::uint64_t track; };
    struct CondPay { util::ValueVec value; util::ValueVec weight; };
    std::variant<Empty, Pay, TrackRef, CondPay> kind;
};

// One slot per event row.
struct EvGraph {
    std::vector<EvState> states;
};

EvGraph get_dependency_graph(const timetable::TimeTable& tt);
// Replace slot `event` (InternalError if outside the graph).
void save_t(EvGraph& g, std::size_t event, std::uint64_t track);
void save_pay(EvGraph& g, std::size_t event, util::ValueVec value);
void save_cond_pay(EvGraph& g, std::size_t event, util::ValueVec value, util::ValueVec weight);

}  // namespace tamrix::ledger
