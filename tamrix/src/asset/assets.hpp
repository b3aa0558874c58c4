#pragma once
#include <cstdint>
#include <expected>
#include <string>
#include <unordered_map>

#include "asset/error.hpp"
#include "asset/forward.hpp"

namespace tamrix::asset {

// Market data: one log-form curve per asset; the base asset's curve discounts.
// Times are year fractions from the pricing time.
struct Assets {
    std::string base;
    std::unordered_map<std::string, AssetLogFwd> curves;

    std::expected<const AssetLogFwd*, AssetError> asset_by_name(const std::string& name) const;
    std::expected<double, AssetError> discount_factor(double t) const;
    std::expected<double, AssetError> discount_rate(double t1, double t2) const;
    std::expected<double, AssetError> asset_rate(const std::string& name, double t1, double t2) const;
    std::expected<double, AssetError> asset_value(const std::string& name, double t) const;
};

inline constexpr double MS_PER_YEAR = 31'536'000'000.0;
inline double year_fraction(std::int64_t ts, std::int64_t prc_ts) {
    return static_cast<double>(static_cast<__int128>(ts) - prc_ts) / MS_PER_YEAR;
}

}  // namespace tamrix::asset
