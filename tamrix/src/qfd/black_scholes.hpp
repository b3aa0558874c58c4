#pragma once
#include <cstdint>
#include <expected>
#include <optional>
#include <string>

#include "model/error.hpp"
#include "qfd/crank.hpp"
#include "qfd/params.hpp"
#include "qfd/state.hpp"

namespace tamrix::qfd {

// One asset following a lognormal process; the grid variable is its log-spot.
struct BlackScholesCN {
    FD1FParams params;
    std::string asset;  // the asset the grid follows
    double vol;         // lognormal volatility per square-root year
};

// The grid at the last event, shifted by ln S0 so that node n_x is today's spot.
std::expected<FdState, model::ModelError> create_state_cn(const BlackScholesCN& m, const timetable::TimeTable& tt);
// e^x at every node for the model's own asset (exact name match); none otherwise.
std::optional<ValueVec> get_model_val_cn(const BlackScholesCN& m, const FdState& s, const std::string& name);
std::expected<CnMatrices, model::ModelError> cn_coefficients(const BlackScholesCN& m, const FdState& s,
                                                             std::int64_t t);

}  // namespace tamrix::qfd
