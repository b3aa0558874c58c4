#include "qfd/state.hpp"

#include "timetable/timetable.hpp"

namespace tamrix::qfd {

FdState FdState::create(std::uint64_t n_x, double max_x, std::int64_t ts) {
    const std::size_t size = 2 * static_cast<std::size_t>(n_x) + 1;
    util::ValueVec grid(size, max_x);
    if (n_x > 0) {
        const double s = (-max_x - max_x) / (2.0 * static_cast<double>(n_x));
        for (std::size_t i = 0; i < size; ++i) grid[i] = max_x + static_cast<double>(i) * s;
    }
    return FdState{ledger::Ledger(size), std::move(grid), ts, max_x / static_cast<double>(n_x), size};
}

std::expected<std::int64_t, model::ModelError> grid_maturity(const timetable::TimeTable& tt) {
    if (tt.len() == 0)
        return std::unexpected(model::ModelError::message("Cannot build a grid for a timetable without events"));
    return tt.ts_at(tt.len() - 1);
}

}  // namespace tamrix::qfd
