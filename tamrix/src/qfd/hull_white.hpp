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

// The Hull-White short-rate factor x (dx = -a x dt + sigma dW); the short rate
// at a node is x plus a deterministic shift fitted to the base curve. Every
// asset is deterministic.
struct HullWhiteCN {
    FD1FParams params;
    double meanrev;  // a; 0 is the Ho-Lee limit
    double vol;      // short-rate volatility
};

std::expected<FdState, model::ModelError> create_state_cn(const HullWhiteCN& m, const timetable::TimeTable& tt);
// Always none: the grid drives no asset.
std::optional<ValueVec> get_model_val_cn(const HullWhiteCN& m, const FdState& s, const std::string& name);
std::expected<CnMatrices, model::ModelError> cn_coefficients(const HullWhiteCN& m, const FdState& s, std::int64_t t);

// sigma^2 / (2 a^2) * (1 - e^{-a t})^2, with its limit sigma^2 t^2 / 2 as a -> 0.
double hw_convexity(double a, double vol, double t);

}  // namespace tamrix::qfd
