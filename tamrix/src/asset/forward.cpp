#include "asset/forward.hpp"

#include <algorithm>

namespace tamrix::asset {

std::expected<LinearInterp, std::string> LinearInterp::create(std::vector<double> x, std::vector<double> data) {
    if (x.size() != data.size())
        return std::unexpected("Lengths of x and data axis need to match. Got x: " + std::to_string(x.size()) +
                               ", data: " + std::to_string(data.size()));
    if (x.size() < 2)
        return std::unexpected(std::string("The chosen Interpolation strategy needs at least 2 data points"));
    for (std::size_t i = 0; i + 1 < x.size(); ++i) {
        // Written so that a NaN time fails too.
        if (!(x[i] < x[i + 1]))
            return std::unexpected(std::string("Values in the x axis need to be strictly monotonic rising"));
    }
    LinearInterp out;
    out.x_ = std::move(x);
    out.y_ = std::move(data);
    return out;
}

std::optional<double> LinearInterp::at(double t) const {
    if (!(t >= x_.front() && t <= x_.back())) return std::nullopt;
    // First knot strictly after t; the segment starts one before it.
    const auto hi = static_cast<std::size_t>(std::upper_bound(x_.begin(), x_.end(), t) - x_.begin());
    const std::size_t i = hi - 1;
    // Exactly on a knot: its own value, even when a neighbour is infinite.
    if (t == x_[i]) return y_[i];
    return y_[i] + (t - x_[i]) * (y_[i + 1] - y_[i]) / (x_[i + 1] - x_[i]);
}

std::expected<AssetLogFwd, AssetError> AssetLogFwd::create(std::vector<double> times, std::vector<double> logs,
                                                           bool is_base) {
    if (times.empty() && logs.empty())
        return std::unexpected(AssetError{AssetError::BuilderError{"A curve needs at least one data point"}});
    AssetLogFwd curve;
    curve.is_base = is_base;
    if (!times.empty() && !logs.empty()) {
        curve.t0 = times[0];
        curve.y0 = logs[0];
    }
    if (times.size() == 1 && logs.size() == 1) return curve;
    auto interp = LinearInterp::create(std::move(times), std::move(logs));
    if (!interp) return std::unexpected(AssetError{AssetError::BuilderError{std::move(interp.error())}});
    curve.interp = std::move(*interp);
    return curve;
}

std::expected<double, AssetError> AssetLogFwd::y(double t) const {
    if (t0 > 0.0 && t <= t0) return y0 * t / t0;
    if (interp) {
        if (auto v = interp->at(t)) return *v;
    }
    return std::unexpected(AssetError{AssetError::OutOfRange{t}});
}

std::expected<double, AssetError> AssetLogFwd::rate(double t1, double t2) const {
    if (t1 == t2) return std::unexpected(AssetError{AssetError::DivideByZero{}});
    auto y1 = y(t1);
    if (!y1) return std::unexpected(std::move(y1.error()));
    auto y2 = y(t2);
    if (!y2) return std::unexpected(std::move(y2.error()));
    return (*y1 - *y2) / (t1 - t2);
}

}  // namespace tamrix::asset
