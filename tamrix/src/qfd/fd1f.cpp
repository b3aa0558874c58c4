#include "qfd/fd1f.hpp"

#include <cmath>
#include <limits>

#include "util/internal_error.hpp"
#include "util/number_text.hpp"

namespace tamrix::qfd {

std::int64_t lattice_step_ms(double timestep) {
    const double ms = timestep * asset::MS_PER_YEAR;
    if (std::isnan(ms)) return 0;
    constexpr double limit = 9223372036854775808.0;  // 2^63
    if (ms >= limit) return std::numeric_limits<std::int64_t>::max();
    if (ms < -limit) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(ms);
}

namespace detail {

std::expected<void, model::ModelError> check_grid(const FD1FParams& p) {
    using model::ModelError;
    if (p.n_x == 0) return std::unexpected(ModelError::message("Cannot build a grid with N_X = 0"));
    if (p.n_x > (std::numeric_limits<std::size_t>::max() / sizeof(double) - 1) / 2)
        return std::unexpected(ModelError::message("Cannot build a grid with N_X = " + std::to_string(p.n_x)));
    if (!(std::isfinite(p.max_x) && p.max_x > 0.0))
        return std::unexpected(ModelError::message("Cannot build a grid with MAX_X = " + util::number_text(p.max_x)));
    if (lattice_step_ms(p.timestep) <= 0)
        return std::unexpected(ModelError::message("Cannot build a grid with TIMESTEP = " +
                                                   util::number_text(p.timestep) +
                                                   ": the step must be at least one millisecond"));
    return {};
}

std::int64_t minus_saturating(std::int64_t t, std::int64_t step) {
    std::int64_t out;
    if (__builtin_sub_overflow(t, step, &out)) return std::numeric_limits<std::int64_t>::min();
    return out;
}

double centre_value(const ValueVec& v, std::uint64_t n_x) {
    if (n_x >= v.size())
        throw InternalError("A grid vector of " + std::to_string(v.size()) + " values has no centre node " +
                            std::to_string(n_x));
    return v[static_cast<std::size_t>(n_x)];
}

}  // namespace detail

}  // namespace tamrix::qfd
