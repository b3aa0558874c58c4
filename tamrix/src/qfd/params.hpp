#pragma once
#include <cstdint>

#include "asset/assets.hpp"

namespace tamrix::qfd {

// Grid and market parameters shared by the one-factor grid models.
struct FD1FParams {
    asset::Assets assets;
    std::uint64_t n_x;      // grid steps on each side of the centre node
    double max_x;           // half-width of the grid in the grid variable
    std::uint64_t size;     // 2 * n_x + 1 nodes
    double timestep;        // lattice step in years
    std::int64_t prc_ts;    // valuation time, ms
    std::uint32_t flags;    // statistics flag word
};

}  // namespace tamrix::qfd
