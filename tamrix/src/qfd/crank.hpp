#pragma once
#include <concepts>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>

#include "model/error.hpp"
#include "qfd/params.hpp"
#include "qfd/state.hpp"
#include "util/values.hpp"

namespace tamrix::timetable { class TimeTable; }

namespace tamrix::qfd {

using util::ValueVec;

// n x n tridiagonal matrix. lower[i] multiplies entry i-1 of row i (lower[0]
// unused); upper[i] multiplies entry i+1 (upper[n-1] unused).
struct Tridiagonal {
    ValueVec lower;
    ValueVec diag;
    ValueVec upper;
    std::size_t size = 0;

    // T * v.
    ValueVec product(const ValueVec& v) const;
    // x with T * x = d (Thomas algorithm, no pivoting; a zero pivot gives inf/NaN).
    ValueVec solve(const ValueVec& d) const;
};

// The matrices of one Crank-Nicolson step: V becomes implicit.solve(explicit.product(V)).
struct CnMatrices {
    Tridiagonal implicit;
    Tridiagonal explicit_;
};

// A step back from the state's time t_s to t_a (year fractions), its length
// dt in years and the base curve's forward rate over it.
struct StepSpan {
    double t_s, t_a, dt, rate;
};
std::expected<StepSpan, model::ModelError> step_span(const FD1FParams& p, const FdState& s, std::int64_t t);

// The step matrices on n nodes from the diffusion term b and the per-node drift
// c and discount e terms (each of n entries or one). Interior rows use central
// differences; the boundary rows drop diffusion and difference toward the interior.
CnMatrices cn_matrices(std::size_t n, double b, const ValueVec& c, const ValueVec& e);

// A Crank-Nicolson grid model: its parameters, its initial state at the last
// event, the node values of assets it drives itself, and the step matrices
// from the state's time back to t.
template <class M>
concept FDCN = requires(const M& m, const FdState& s, const timetable::TimeTable& tt, const std::string& name,
                        std::int64_t t) {
    { m.params } -> std::convertible_to<const FD1FParams&>;
    { create_state_cn(m, tt) } -> std::same_as<std::expected<FdState, model::ModelError>>;
    { get_model_val_cn(m, s, name) } -> std::same_as<std::optional<ValueVec>>;
    { cn_coefficients(m, s, t) } -> std::same_as<std::expected<CnMatrices, model::ModelError>>;
};

}  // namespace tamrix::qfd
