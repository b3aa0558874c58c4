#include "asset/assets.hpp"

#include <cmath>

namespace tamrix::asset {

std::expected<const AssetLogFwd*, AssetError> Assets::asset_by_name(const std::string& name) const {
    const auto it = curves.find(name);
    if (it == curves.end()) return std::unexpected(AssetError{AssetError::AssetNotFound{name}});
    return &it->second;
}

std::expected<double, AssetError> Assets::discount_factor(double t) const {
    const auto curve = asset_by_name(base);
    if (!curve) return std::unexpected(curve.error());
    const auto y = (*curve)->y(t);
    if (!y) return std::unexpected(spot_error("discount factor", y.error(), t));
    return std::exp(-*y);
}

std::expected<double, AssetError> Assets::discount_rate(double t1, double t2) const {
    const auto curve = asset_by_name(base);
    if (!curve) return std::unexpected(curve.error());
    const auto r = (*curve)->rate(t1, t2);
    if (!r) return std::unexpected(rate_error("discount", r.error(), t1, t2));
    return *r;
}

std::expected<double, AssetError> Assets::asset_rate(const std::string& name, double t1, double t2) const {
    const auto curve = asset_by_name(name);
    if (!curve) return std::unexpected(curve.error());
    const auto r = (*curve)->rate(t1, t2);
    if (!r) return std::unexpected(rate_error(name, r.error(), t1, t2));
    return *r;
}

std::expected<double, AssetError> Assets::asset_value(const std::string& name, double t) const {
    const auto curve = asset_by_name(name);
    if (!curve) return std::unexpected(curve.error());
    if ((*curve)->is_base) return 1.0;
    const auto y = (*curve)->y(t);
    if (!y) return std::unexpected(y.error());
    return std::exp(*y);
}

}  // namespace tamrix::asset
