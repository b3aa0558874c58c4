#pragma once
#include <expected>
#include <optional>
#include <string>
#include <vector>

#include "asset/error.hpp"

namespace tamrix::asset {

// Piecewise-linear interpolation over strictly increasing x, no extrapolation.
class LinearInterp {
public:
    // Errors are the builder texts ("The chosen Interpolation strategy needs at
    // least 2 data points", "Values in the x axis need to be strictly monotonic
    // rising", "Lengths of x and data axis need to match. Got x: {n}, data: {m}").
    static std::expected<LinearInterp, std::string> create(std::vector<double> x, std::vector<double> data);
    // None outside [x_first, x_last] (and for NaN).
    std::optional<double> at(double t) const;

private:
    std::vector<double> x_, y_;
};

// One curve in log form: y(t) = t*r(t) for zero rates, ln F(t) for forwards.
struct AssetLogFwd {
    bool is_base = false;
    double t0 = 0.0;
    double y0 = 0.0;
    std::optional<LinearInterp> interp;  // two or more rows

    static std::expected<AssetLogFwd, AssetError> create(std::vector<double> times, std::vector<double> logs,
                                                         bool is_base);
    std::expected<double, AssetError> y(double t) const;
    // (y(t1) - y(t2)) / (t1 - t2); DivideByZero when t1 == t2.
    std::expected<double, AssetError> rate(double t1, double t2) const;
};

}  // namespace tamrix::asset
