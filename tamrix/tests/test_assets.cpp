#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "asset/assets.hpp"
#include "asset/forward.hpp"

namespace {

using tamrix::asset::AssetError;
using tamrix::asset::AssetLogFwd;
using tamrix::asset::Assets;
using tamrix::asset::LinearInterp;

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

const std::string out_of_range_tail = ".\n Perhaps the time range in forwards/discount data is too short.";

std::string oor_text(const std::string& t) {
    return "Error: Interpolation out of range at time " + t + out_of_range_tail;
}

AssetLogFwd curve(std::vector<double> times, std::vector<double> logs, bool is_base = false) {
    auto c = AssetLogFwd::create(std::move(times), std::move(logs), is_base);
    if (!c) throw std::runtime_error(c.error().text());
    return std::move(*c);
}

std::vector<double> zero_rate_logs(const std::vector<double>& times, const std::vector<double>& rates) {
    std::vector<double> out;
    for (std::size_t i = 0; i < times.size(); ++i) out.push_back(times[i] * rates[i]);
    return out;
}

std::vector<double> forward_logs(const std::vector<double>& fwds) {
    std::vector<double> out;
    for (double f : fwds) out.push_back(std::log(f));
    return out;
}

// ---- y(t): the three rules ----

struct YCase {
    const char* name;
    std::vector<double> times, logs;
    double t;
    std::optional<double> y;  // none: OutOfRange at t
};
void PrintTo(const YCase& c, std::ostream* os) { *os << c.name; }

class CurveY : public testing::TestWithParam<YCase> {};

TEST_P(CurveY, FollowsTheRules) {
    const auto& c = GetParam();
    const auto y = curve(c.times, c.logs).y(c.t);
    if (!c.y) {
        ASSERT_FALSE(y.has_value()) << "got " << *y;
        const auto* oor = std::get_if<AssetError::OutOfRange>(&y.error().kind);
        ASSERT_NE(oor, nullptr) << y.error().text();
        if (std::isnan(c.t))
            EXPECT_TRUE(std::isnan(oor->t));
        else
            EXPECT_EQ(oor->t, c.t);
        return;
    }
    ASSERT_TRUE(y.has_value()) << y.error().text();
    if (std::isnan(*c.y))
        EXPECT_TRUE(std::isnan(*y)) << *y;
    else if (std::isinf(*c.y))
        EXPECT_EQ(*y, *c.y);
    else
        EXPECT_NEAR(*y, *c.y, 1e-15);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, CurveY,
    testing::Values(
        // One row at t0 = 1: the line through the origin serves (−inf, 1], nothing beyond.
        YCase{"single_half", {1.0}, {0.06}, 0.5, 0.03}, YCase{"single_at_t0", {1.0}, {0.06}, 1.0, 0.06},
        YCase{"single_zero", {1.0}, {0.06}, 0.0, 0.0}, YCase{"single_negative", {1.0}, {0.06}, -1.0, -0.06},
        YCase{"single_beyond", {1.0}, {0.06}, 1.5, std::nullopt},
        YCase{"single_nan", {1.0}, {0.06}, nan, std::nullopt},
        // A single row at t0 <= 0 covers no time at all.
        YCase{"single_at_zero", {0.0}, {0.5}, 0.0, std::nullopt},
        // First time 0: rule 1 never applies.
        YCase{"first0_before", {0.0, 1.0}, {0.01, 0.05}, -0.1, std::nullopt},
        YCase{"first0_at_0", {0.0, 1.0}, {0.01, 0.05}, 0.0, 0.01},
        YCase{"first0_mid", {0.0, 1.0}, {0.01, 0.05}, 0.5, 0.03},
        YCase{"first0_last", {0.0, 1.0}, {0.01, 0.05}, 1.0, 0.05},
        YCase{"first0_after", {0.0, 1.0}, {0.01, 0.05}, 1.0000001, std::nullopt},
        // Table from t0 = 1: line to the origin, then interpolation up to the last time.
        YCase{"two_rows_rule1", {1.0, 2.0}, {0.05, 0.12}, 0.5, 0.025},
        YCase{"two_rows_interp", {1.0, 2.0}, {0.05, 0.12}, 1.5, 0.085},
        YCase{"two_rows_last", {1.0, 2.0}, {0.05, 0.12}, 2.0, 0.12},
        YCase{"two_rows_after", {1.0, 2.0}, {0.05, 0.12}, 2.5, std::nullopt},
        YCase{"two_rows_nan", {1.0, 2.0}, {0.05, 0.12}, nan, std::nullopt},
        YCase{"three_rows_second_segment", {1.0, 2.0, 4.0}, {1.0, 2.0, 6.0}, 3.0, 4.0},
        // Negative first time: covered from t0 on.
        YCase{"negative_t0_before", {-1.0, 1.0}, {0.0, 2.0}, -1.5, std::nullopt},
        YCase{"negative_t0_mid", {-1.0, 1.0}, {0.0, 2.0}, 0.0, 1.0},
        // Non-finite entries flow through, they are not errors.
        YCase{"minus_inf_knot", {0.0, 1.0, 2.0}, {0.0, -inf, 0.0}, 1.0, -inf},
        YCase{"minus_inf_segment", {0.0, 1.0, 2.0}, {0.0, -inf, 0.0}, 0.5, -inf},
        YCase{"finite_knot_next_to_minus_inf", {0.0, 1.0, 2.0}, {0.0, -inf, 0.0}, 0.0, 0.0},
        YCase{"both_ends_minus_inf", {0.0, 1.0}, {-inf, -inf}, 0.5, nan},
        YCase{"nan_entry", {0.0, 1.0}, {nan, 1.0}, 0.5, nan},
        YCase{"nan_first_entry_rule1", {1.0, 2.0}, {nan, 1.0}, 0.5, nan}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Curve, SingleRowHasNoInterpolator) {
    const auto c = curve({1.5}, {0.3}, true);
    EXPECT_TRUE(c.is_base);
    EXPECT_EQ(c.t0, 1.5);
    EXPECT_EQ(c.y0, 0.3);
    EXPECT_FALSE(c.interp.has_value());
    EXPECT_TRUE(curve({1.0, 2.0}, {0.1, 0.2}).interp.has_value());
}

TEST(Curve, RateIsAverageLogGrowthAndRejectsEqualTimes) {
    const auto c = curve({1.0, 2.0}, {0.05, 0.12});
    EXPECT_NEAR(*c.rate(2.0, 1.0), 0.07, 1e-15);
    EXPECT_NEAR(*c.rate(1.0, 2.0), 0.07, 1e-15);
    // Equal times fail before anything is evaluated, even outside the table.
    EXPECT_EQ(c.rate(9.0, 9.0).error().text(), "Error: Divide by zero");
    // The first time's failure is reported first.
    EXPECT_EQ(c.rate(3.0, 4.0).error().text(), oor_text("3"));
    EXPECT_EQ(c.rate(1.0, 4.0).error().text(), oor_text("4"));
}

// ---- construction ----

struct BuildCase {
    const char* name;
    std::vector<double> times, logs;
    std::string text;
};
void PrintTo(const BuildCase& c, std::ostream* os) { *os << c.name; }

class CurveBuild : public testing::TestWithParam<BuildCase> {};

TEST_P(CurveBuild, Fails) {
    const auto& c = GetParam();
    const auto r = AssetLogFwd::create(c.times, c.logs, false);
    ASSERT_FALSE(r.has_value());
    EXPECT_TRUE(std::holds_alternative<AssetError::BuilderError>(r.error().kind));
    EXPECT_EQ(r.error().text(), c.text);
}

const std::string not_rising = "BuilderError Values in the x axis need to be strictly monotonic rising";

INSTANTIATE_TEST_SUITE_P(
    Texts, CurveBuild,
    testing::Values(BuildCase{"empty", {}, {}, "BuilderError A curve needs at least one data point"},
                    BuildCase{"decreasing", {2.0, 1.0}, {0.1, 0.2}, not_rising},
                    BuildCase{"decreasing_later", {0.0, 2.0, 1.0}, {0.1, 0.2, 0.3}, not_rising},
                    BuildCase{"repeated", {1.0, 1.0}, {0.1, 0.2}, not_rising},
                    BuildCase{"nan_time", {0.0, nan}, {0.1, 0.2}, not_rising},
                    BuildCase{"lengths", {1.0, 2.0}, {0.1},
                              "BuilderError Lengths of x and data axis need to match. Got x: 2, data: 1"},
                    BuildCase{"no_times", {}, {0.1},
                              "BuilderError Lengths of x and data axis need to match. Got x: 0, data: 1"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LinearInterp, NeedsTwoPointsAndServesOnlyItsRange) {
    EXPECT_EQ(LinearInterp::create({1.0}, {2.0}).error(),
              "The chosen Interpolation strategy needs at least 2 data points");
    const auto li = *LinearInterp::create({0.0, 1.0, 3.0}, {0.0, 10.0, 30.0});
    EXPECT_EQ(li.at(0.0), 0.0);
    EXPECT_EQ(li.at(3.0), 30.0);
    EXPECT_DOUBLE_EQ(*li.at(2.0), 20.0);
    EXPECT_FALSE(li.at(-1e-300).has_value());
    EXPECT_FALSE(li.at(3.0000000000000004).has_value());
    EXPECT_FALSE(li.at(nan).has_value());
    EXPECT_FALSE(li.at(inf).has_value());
}

// ---- Assets ----

Assets market() {
    Assets a;
    a.base = "USD";
    a.curves.emplace("USD", curve({1.0, 2.0}, zero_rate_logs({1.0, 2.0}, {0.05, 0.06}), true));
    a.curves.emplace("EQ", curve({1.0, 2.0}, forward_logs({100.0, 110.0})));
    a.curves.emplace("DEAD", curve({0.0, 1.0, 2.0}, forward_logs({50.0, 0.0, 0.0})));
    return a;
}

TEST(Assets, ZeroRatesDiscount) {
    const auto a = market();
    EXPECT_NEAR(*a.discount_factor(0.5), std::exp(-0.025), 1e-15);
    EXPECT_NEAR(*a.discount_factor(1.5), std::exp(-0.085), 1e-15);
    EXPECT_NEAR(*a.discount_factor(2.0), std::exp(-0.12), 1e-15);
    EXPECT_EQ(*a.discount_factor(0.0), 1.0);
    EXPECT_NEAR(*a.discount_rate(2.0, 1.0), 0.07, 1e-15);
    // The first zero rate is held flat back to time 0.
    EXPECT_NEAR(*a.discount_rate(0.5, 0.25), 0.05, 1e-15);
}

TEST(Assets, ForwardsValueAndGrowth) {
    const auto a = market();
    EXPECT_NEAR(*a.asset_value("EQ", 1.0), 100.0, 1e-12);
    EXPECT_NEAR(*a.asset_value("EQ", 1.5), std::sqrt(100.0 * 110.0), 1e-12);
    EXPECT_NEAR(*a.asset_value("EQ", 0.5), 10.0, 1e-12);
    EXPECT_NEAR(*a.asset_rate("EQ", 2.0, 1.0), std::log(1.1), 1e-15);
    // A zero forward stores −inf: values of 0 or NaN, never an error.
    EXPECT_EQ(*a.asset_value("DEAD", 0.5), 0.0);
    EXPECT_EQ(*a.asset_value("DEAD", 1.0), 0.0);
    EXPECT_TRUE(std::isnan(*a.asset_value("DEAD", 1.5)));
    EXPECT_NEAR(*a.asset_value("DEAD", 0.0), 50.0, 1e-12);
}

TEST(Assets, BaseValueIsOneWithoutEvaluatingButItsRateEvaluates) {
    const auto a = market();
    for (double t : {-5.0, 0.0, 1.5, 100.0, nan}) EXPECT_EQ(*a.asset_value("USD", t), 1.0) << t;
    EXPECT_NEAR(*a.asset_rate("USD", 2.0, 1.0), 0.07, 1e-15);
    EXPECT_EQ(a.asset_rate("USD", 3.0, 1.0).error().text(),
              "Error in 'USD' rate from time 1 to 3, caused by \n'" + oor_text("3") + "'");
}

struct ErrorCase {
    const char* name;
    std::function<std::expected<double, AssetError>(const Assets&)> call;
    std::string text;
};
void PrintTo(const ErrorCase& c, std::ostream* os) { *os << c.name; }

class AssetsError : public testing::TestWithParam<ErrorCase> {};

TEST_P(AssetsError, Text) {
    const auto r = GetParam().call(market());
    ASSERT_FALSE(r.has_value()) << *r;
    EXPECT_EQ(r.error().text(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Wrapping, AssetsError,
    testing::Values(
        ErrorCase{"discount_rate_out_of_range", [](const Assets& a) { return a.discount_rate(2.5, 0.5); },
                  "Error in 'discount' rate from time 0.5 to 2.5, caused by \n'" + oor_text("2.5") + "'"},
        ErrorCase{"discount_rate_equal_times", [](const Assets& a) { return a.discount_rate(1.0, 1.0); },
                  "Error in 'discount' rate from time 1 to 1, caused by \n'Error: Divide by zero'"},
        ErrorCase{"discount_factor_out_of_range", [](const Assets& a) { return a.discount_factor(3.0); },
                  "Error in 'discount factor' value at 3, caused by \n'" + oor_text("3") + "'"},
        ErrorCase{"discount_factor_nan", [](const Assets& a) { return a.discount_factor(nan); },
                  "Error in 'discount factor' value at NaN, caused by \n'" + oor_text("NaN") + "'"},
        ErrorCase{"asset_rate_named_after_asset", [](const Assets& a) { return a.asset_rate("EQ", 0.5, 2.25); },
                  "Error in 'EQ' rate from time 2.25 to 0.5, caused by \n'" + oor_text("2.25") + "'"},
        ErrorCase{"asset_value_not_wrapped", [](const Assets& a) { return a.asset_value("EQ", 2.125); },
                  oor_text("2.125")},
        ErrorCase{"unknown_asset_value", [](const Assets& a) { return a.asset_value("GOLD", 1.0); },
                  "Asset 'GOLD' not found in snaps, expressions, or in dataset[ASSETS]"},
        ErrorCase{"unknown_asset_rate", [](const Assets& a) { return a.asset_rate("GOLD", 1.0, 1.0); },
                  "Asset 'GOLD' not found in snaps, expressions, or in dataset[ASSETS]"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Assets, DiscountRateQuotesTheSecondTimeFirst) {
    Assets a;
    a.base = "EUR";
    a.curves.emplace("EUR", curve({0.5, 1.5}, {0.01, 0.03}, true));
    EXPECT_EQ(a.discount_rate(2.0, 0.5).error().text(),
              "Error in 'discount' rate from time 0.5 to 2, caused by \n'Error: Interpolation out of range at time "
              "2.\n Perhaps the time range in forwards/discount data is too short.'");
}

TEST(Assets, MissingBaseIsReportedUnwrapped) {
    Assets a = market();
    a.base = "CHF";
    const std::string text = "Asset 'CHF' not found in snaps, expressions, or in dataset[ASSETS]";
    EXPECT_EQ(a.discount_factor(1.0).error().text(), text);
    EXPECT_EQ(a.discount_rate(2.0, 1.0).error().text(), text);
    // The other curves still answer.
    EXPECT_NEAR(*a.asset_value("EQ", 1.0), 100.0, 1e-12);
}

}  // namespace
