#pragma once
#include <cstdint>
#include <expected>
#include <string>
#include <unordered_map>
#include <vector>

#include "ledger/depgraph.hpp"
#include "ledger/ledger.hpp"
#include "model/error.hpp"
#include "util/values.hpp"

namespace tamrix::timetable { class TimeTable; }

namespace tamrix::model {

// What a forward walk carries from event to event.
struct FwdModelStateCommon {
    ledger::EvGraph graph;
    std::unordered_map<std::string, util::ValueVec> snaps;
    ledger::Ledger ledger;
    util::ValueVec discount{1.0};
    // Names of the phrases being valued, innermost last: a phrase reached again
    // through its own inputs is a cycle, refused instead of recursing forever.
    std::vector<std::string> phrases_in_progress;

    static FwdModelStateCommon create(const timetable::TimeTable& tt, std::size_t size);
};
using FwdModelStateGeneric = FwdModelStateCommon;

// Hands the recorded events to the ledger, last row first.
std::expected<void, ModelError> evolve_pvs_backward(FwdModelStateCommon& state, const timetable::TimeTable& tt,
                                                    std::uint32_t flags);

}  // namespace tamrix::model
