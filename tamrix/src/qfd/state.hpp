#pragma once
#include <cstdint>
#include <expected>

#include "ledger/ledger.hpp"
#include "model/error.hpp"
#include "util/values.hpp"

namespace tamrix::timetable { class TimeTable; }

namespace tamrix::qfd {

// The grid walked backward in time: one value vector per track on the nodes.
struct FdState {
    ledger::Ledger ledger;
    util::ValueVec grid;  // grid variable per node, from +max_x at node 0 down to -max_x
    std::int64_t ts;      // time at which the ledger's values stand, ms
    double dx;            // max_x / n_x
    std::size_t size;     // 2 * n_x + 1

    static FdState create(std::uint64_t n_x, double max_x, std::int64_t ts);
    ledger::Ledger into_ledger() && { return std::move(ledger); }
};

// The time of the timetable's last row, where the grid starts.
std::expected<std::int64_t, model::ModelError> grid_maturity(const timetable::TimeTable& tt);

}  // namespace tamrix::qfd
