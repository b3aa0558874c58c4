#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "arrow_fixture.hpp"
#include "qfd/fd1f.hpp"
#include "util/internal_error.hpp"

namespace {

using namespace tamrix;
using qfd::BlackScholesCN;
using qfd::CnMatrices;
using qfd::FD1FParams;
using qfd::FdState;
using qfd::HullWhiteCN;
using qfd::Tridiagonal;
using util::ValueVec;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr std::int64_t YEAR_MS = 31'536'000'000;

// ---- Tridiagonal ----

using Dense = std::vector<std::vector<double>>;

Dense dense_of(const Tridiagonal& t) {
    const std::size_t n = t.size;
    Dense a(n, std::vector<double>(n, 0.0));
    for (std::size_t i = 0; i < n; ++i) {
        a[i][i] = t.diag[i];
        if (i > 0) a[i][i - 1] = t.lower[i];
        if (i + 1 < n) a[i][i + 1] = t.upper[i];
    }
    return a;
}

// Gaussian elimination with partial pivoting.
ValueVec dense_solve(Dense a, ValueVec b) {
    const std::size_t n = b.size();
    for (std::size_t k = 0; k < n; ++k) {
        std::size_t p = k;
        for (std::size_t i = k + 1; i < n; ++i)
            if (std::abs(a[i][k]) > std::abs(a[p][k])) p = i;
        std::swap(a[k], a[p]);
        std::swap(b[k], b[p]);
        for (std::size_t i = k + 1; i < n; ++i) {
            const double m = a[i][k] / a[k][k];
            for (std::size_t j = k; j < n; ++j) a[i][j] -= m * a[k][j];
            b[i] -= m * b[k];
        }
    }
    ValueVec x(n);
    for (std::size_t i = n; i-- > 0;) {
        double s = b[i];
        for (std::size_t j = i + 1; j < n; ++j) s -= a[i][j] * x[j];
        x[i] = s / a[i][i];
    }
    return x;
}

// A diagonally dominant matrix whose unused corners are NaN, so reading them shows.
Tridiagonal random_matrix(std::size_t n, std::mt19937& rng) {
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    Tridiagonal t{ValueVec(n), ValueVec(n), ValueVec(n), n};
    for (std::size_t i = 0; i < n; ++i) {
        t.lower[i] = u(rng);
        t.upper[i] = u(rng);
        t.diag[i] = (u(rng) < 0 ? -1.0 : 1.0) * (2.5 + u(rng));
    }
    t.lower[0] = nan;
    t.upper[n - 1] = nan;
    return t;
}

TEST(Tridiagonal, SolveAndProductAgreeWithDenseAlgebra) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(-10.0, 10.0);
    for (std::size_t n : {1, 2, 3, 5, 40}) {
        for (int round = 0; round < 5; ++round) {
            const Tridiagonal t = random_matrix(n, rng);
            ValueVec v(n);
            for (double& x : v) x = u(rng);
            Dense a = dense_of(t);
            if (n == 1) a[0][0] = t.diag[0];

            const ValueVec x = t.solve(v);
            const ValueVec want_x = dense_solve(a, v);
            const ValueVec y = t.product(v);
            ASSERT_EQ(x.size(), n);
            ASSERT_EQ(y.size(), n);
            for (std::size_t i = 0; i < n; ++i) {
                EXPECT_NEAR(x[i], want_x[i], 1e-12 * (1.0 + std::abs(want_x[i]))) << "n " << n << " entry " << i;
                double want_y = 0.0;
                for (std::size_t j = 0; j < n; ++j) want_y += a[i][j] * v[j];
                EXPECT_NEAR(y[i], want_y, 1e-12 * (1.0 + std::abs(want_y))) << "n " << n << " entry " << i;
            }
            if (n == 1) {
                EXPECT_EQ(x[0], v[0] / t.diag[0]);
            }
        }
    }
}

TEST(Tridiagonal, ShortVectorsAreAnInternalError) {
    const Tridiagonal t{ValueVec(3, 1.0), ValueVec(3, 2.0), ValueVec(3, 1.0), 3};
    EXPECT_THROW(t.product(ValueVec(2, 1.0)), InternalError);
    EXPECT_THROW(t.solve(ValueVec(1, 1.0)), InternalError);
    const Tridiagonal short_diag{ValueVec(3, 1.0), ValueVec(2, 2.0), ValueVec(3, 1.0), 3};
    EXPECT_THROW(short_diag.solve(ValueVec(3, 1.0)), InternalError);
}

// ---- market data and models ----

asset::AssetLogFwd curve(std::vector<double> t, std::vector<double> y, bool is_base) {
    auto c = asset::AssetLogFwd::create(std::move(t), std::move(y), is_base);
    if (!c) throw std::runtime_error(c.error().text());
    return std::move(*c);
}

// Base "USD" on flat zero rates r; "STK" a forward from spot s0 growing at r - q.
asset::Assets flat_market(double r, double s0 = 100.0, double q = 0.0) {
    asset::Assets a;
    a.base = "USD";
    a.curves.emplace("USD", curve({0.0, 10.0}, {0.0, 10.0 * r}, true));
    a.curves.emplace("STK", curve({0.0, 10.0}, {std::log(s0), std::log(s0) + 10.0 * (r - q)}, false));
    return a;
}

FD1FParams grid_params(asset::Assets assets, std::uint64_t n_x, double max_x, double timestep) {
    return FD1FParams{std::move(assets), n_x, max_x, 2 * n_x + 1, timestep, 0, 0};
}

// "+" rows on one track, each paying `quantity` of `unit` at its time.
timetable::TimeTable payments(const std::vector<std::int64_t>& times, double quantity, const std::string& unit) {
    const std::size_t n = times.size();
    return test::make_timetable({.time = times,
                                 .track = std::vector<std::optional<std::int64_t>>(n, 0),
                                 .op = std::vector<std::optional<std::int64_t>>(n, 0),
                                 .quantity = std::vector<double>(n, quantity),
                                 .unit = std::vector<std::optional<std::int64_t>>(n, 0),
                                 .track_dict = {"t0"},
                                 .op_dict = {"+"},
                                 .unit_dict = {unit}});
}

template <class M>
double price_of(const M& model, const timetable::TimeTable& tt) {
    auto ledger = qfd::calculate_fd(model, tt);
    if (!ledger) throw std::runtime_error(ledger.error().text());
    auto p = qfd::price_fd(model, *ledger);
    if (!p) throw std::runtime_error(p.error().text());
    return *p;
}

template <class M>
std::string error_of(const M& model, const timetable::TimeTable& tt) {
    auto ledger = qfd::calculate_fd(model, tt);
    if (ledger) return "<no error>";
    return ledger.error().text();
}

TEST(BlackScholesCN, ConstantVectorIsScaledByTheStepDiscount) {
    asset::Assets a;
    a.base = "USD";
    // zero rates 5% to 1y, 6% to 2y: the forward rate from 1.5y to 2y is 7%
    a.curves.emplace("USD", curve({1.0, 2.0}, {0.05, 0.12}, true));
    a.curves.emplace("STK", curve({0.0, 2.0}, {std::log(100.0), std::log(100.0) + 0.02}, false));
    const BlackScholesCN m{grid_params(std::move(a), 3, 0.5, 0.25), "STK", 0.3};
    FdState s = FdState::create(3, 0.5, 2 * YEAR_MS);
    s.ledger.pvs_by_track_mut()[0] = ValueVec(7, 7.0);
    s.ledger.pvs_by_track_mut()[3] = ValueVec(7, -2.0);

    ASSERT_TRUE(qfd::step_back(m, s, 3 * YEAR_MS / 2));
    EXPECT_EQ(s.ts, 3 * YEAR_MS / 2);
    const double e = 0.25 * 0.07;
    for (auto [track, c] : {std::pair{0, 7.0}, std::pair{3, -2.0}}) {
        const ValueVec& v = s.ledger.pvs_by_track().at(track);
        for (std::size_t i = 0; i < v.size(); ++i) EXPECT_NEAR(v[i], c * (1 - e) / (1 + e), 1e-13) << "node " << i;
    }
}

TEST(BlackScholesCN, GridIsCentredOnLogSpotAndDrivesOnlyItsAsset) {
    const BlackScholesCN m{grid_params(flat_market(0.05, 80.0), 2, 1.0, 0.1), "STK", 0.2};
    const auto tt = payments({YEAR_MS}, 1.0, "USD");
    auto s = qfd::create_state_cn(m, tt);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->ts, YEAR_MS);
    EXPECT_EQ(s->dx, 0.5);
    const ValueVec want{1.0, 0.5, 0.0, -0.5, -1.0};
    ASSERT_EQ(s->grid.size(), 5u);
    for (std::size_t i = 0; i < 5; ++i) EXPECT_NEAR(s->grid[i], std::log(80.0) + want[i], 1e-14);

    const auto own = qfd::get_model_val_cn(m, *s, "STK");
    ASSERT_TRUE(own);
    EXPECT_NEAR((*own)[2], 80.0, 1e-12);
    EXPECT_FALSE(qfd::get_model_val_cn(m, *s, "stk"));
    EXPECT_FALSE(qfd::get_model_val_cn(m, *s, "USD"));
}

TEST(HullWhiteCN, ConvexityHasTheHoLeeLimit) {
    const double vol = 0.015, t = 3.3;
    const double limit = vol * vol * t * t / 2;
    for (double a : {0.0, 1e-300, -1e-300}) EXPECT_NEAR(qfd::hw_convexity(a, vol, t), limit, 1e-15 * limit) << a;
    // first order in a: limit * (1 - a t)
    for (double a : {1e-13, 1e-9, -1e-9})
        EXPECT_NEAR(qfd::hw_convexity(a, vol, t), limit * (1 - a * t), 1e-15 * limit) << a;
    for (double a : {0.05, -0.02, 2.0}) {
        const double g = (1 - std::exp(-a * t)) / a;
        EXPECT_NEAR(qfd::hw_convexity(a, vol, t), vol * vol / 2 * g * g, 1e-14 * limit) << a;
    }
    EXPECT_EQ(qfd::hw_convexity(0.05, vol, 0.0), 0.0);
}

// ---- the driver on real contracts ----

double norm_cdf(double x) { return 0.5 * std::erfc(-x / std::sqrt(2.0)); }

// Track "opt" takes the better of nothing and track "pay" at maturity, where
// "pay" is sign * (STK - K).
timetable::TimeTable european(double strike, bool call, std::int64_t maturity) {
    const double sign = call ? 1.0 : -1.0;
    return test::make_timetable({.time = {maturity, maturity, maturity},
                                 .track = {0, 1, 1},
                                 .op = {0, 1, 1},
                                 .quantity = {1, -sign * strike, sign},
                                 .unit = {0, 1, 2},
                                 .track_dict = {"opt", "pay"},
                                 .op_dict = {">", "+"},
                                 .unit_dict = {"pay", "USD", "STK"}});
}

TEST(FdDriver, EuropeanOptionsMatchBlackScholes) {
    const double s0 = 100, k = 100, r = 0.05, vol = 0.2, t = 1.0;
    const double d1 = (std::log(s0 / k) + (r + vol * vol / 2) * t) / (vol * std::sqrt(t));
    const double d2 = d1 - vol * std::sqrt(t);
    const double call = s0 * norm_cdf(d1) - k * std::exp(-r * t) * norm_cdf(d2);
    const double put = call - s0 + k * std::exp(-r * t);
    ASSERT_NEAR(call, 10.450584, 1e-6);
    ASSERT_NEAR(put, 5.573526, 1e-6);

    const BlackScholesCN m{grid_params(flat_market(r, s0), 400, 1.5, 1.0 / 365), "STK", vol};
    EXPECT_NEAR(price_of(m, european(k, true, YEAR_MS)), call, 1e-3);
    EXPECT_NEAR(price_of(m, european(k, false, YEAR_MS)), put, 1e-3);
}

// An American put exercised at every lattice time from the pricing time to
// maturity. At each time, last row first: track "ex" is emptied (except at
// maturity, where it does not exist yet), gets K USD - 1 STK, and track "opt"
// takes the better of its continuation and "ex".
timetable::TimeTable american_put(double strike, int n_steps, std::int64_t step) {
    test::EventRows rows{.time = {},
                         .track = {},
                         .op = {},
                         .quantity = {},
                         .unit = {},
                         .track_dict = {"opt", "ex"},
                         .op_dict = {">", "+"},
                         .unit_dict = {"ex", "USD", "STK"}};
    auto row = [&](std::int64_t t, std::int64_t track, std::int64_t op, double q, std::int64_t unit) {
        rows.time.push_back(t);
        rows.track.push_back(track);
        rows.op.push_back(op);
        rows.quantity.push_back(q);
        rows.unit.push_back(unit);
    };
    for (int k = 0; k <= n_steps; ++k) {
        const std::int64_t t = k * step;
        row(t, 0, 0, 1.0, 0);
        row(t, 1, 1, strike, 1);
        row(t, 1, 1, -1.0, 2);
        if (k < n_steps) row(t, 1, 1, -1.0, 0);
    }
    return test::make_timetable(rows);
}

struct AmericanCase {
    double spot, vol, years, reference;
};

class AmericanPut : public testing::TestWithParam<AmericanCase> {};

TEST_P(AmericanPut, MatchesPublishedFiniteDifferenceValues) {
    const auto c = GetParam();
    const double timestep = 0.01;
    const BlackScholesCN m{grid_params(flat_market(0.06, c.spot), 200, 1.5, timestep), "STK", c.vol};
    const int n_steps = static_cast<int>(std::lround(c.years / timestep));
    const double price = price_of(m, american_put(40.0, n_steps, qfd::lattice_step_ms(timestep)));
    EXPECT_NEAR(price, c.reference, 0.01);
}

INSTANTIATE_TEST_SUITE_P(LongstaffSchwartzTable1, AmericanPut,
                         testing::Values(AmericanCase{36, 0.2, 1, 4.478}, AmericanCase{36, 0.2, 2, 4.840},
                                         AmericanCase{36, 0.4, 1, 7.101}, AmericanCase{38, 0.2, 1, 3.250},
                                         AmericanCase{40, 0.2, 1, 2.314}, AmericanCase{42, 0.2, 1, 1.617},
                                         AmericanCase{44, 0.2, 1, 1.110}, AmericanCase{40, 0.4, 2, 6.920},
                                         AmericanCase{44, 0.4, 2, 5.647}),
                         [](const auto& info) {
                             const auto& c = info.param;
                             return "S" + std::to_string(int(c.spot)) + "_vol" + std::to_string(int(c.vol * 100)) +
                                    "_T" + std::to_string(int(c.years));
                         });

TEST(FdDriver, HullWhiteZeroCouponBondMatchesTheCurve) {
    asset::Assets a;
    a.base = "USD";
    const std::vector<double> t{0.5, 1, 2, 3, 5}, r{0.02, 0.025, 0.03, 0.032, 0.035};
    std::vector<double> y;
    for (std::size_t i = 0; i < t.size(); ++i) y.push_back(t[i] * r[i]);
    a.curves.emplace("USD", curve(t, y, true));
    const double want = std::exp(-*a.curves.at("USD").y(3.3));
    const std::int64_t maturity = 104'068'800'000;  // 3.3 years
    const auto tt = payments({maturity}, 1.0, "USD");
    for (double meanrev : {0.05, 0.0}) {
        const HullWhiteCN m{grid_params(a, 100, 0.2, 1.0 / 12), meanrev, 0.01};
        EXPECT_NEAR(price_of(m, tt) / want, 1.0, 1e-4) << "meanrev " << meanrev;
    }
}

// ---- the walk, seen through a model that logs its steps and leaves values alone ----

struct ProbeCN {
    FD1FParams params;
    std::vector<std::pair<std::int64_t, std::int64_t>>* steps;
};

std::expected<FdState, model::ModelError> create_state_cn(const ProbeCN& m, const timetable::TimeTable& tt) {
    auto maturity = qfd::grid_maturity(tt);
    if (!maturity) return std::unexpected(maturity.error());
    return FdState::create(m.params.n_x, m.params.max_x, *maturity);
}

std::optional<ValueVec> get_model_val_cn(const ProbeCN&, const FdState&, const std::string&) { return std::nullopt; }

std::expected<CnMatrices, model::ModelError> cn_coefficients(const ProbeCN& m, const FdState& s, std::int64_t t) {
    m.steps->emplace_back(s.ts, t);
    return qfd::cn_matrices(s.size, 0.0, {0.0}, {0.0});  // the identity step
}

static_assert(qfd::FDCN<ProbeCN>);
static_assert(qfd::FDCN<BlackScholesCN>);
static_assert(qfd::FDCN<HullWhiteCN>);

using Steps = std::vector<std::pair<std::int64_t, std::int64_t>>;

struct WalkCase {
    std::string name;
    std::vector<std::int64_t> times;
    std::int64_t prc_ts;
    Steps steps;
};

class FdWalk : public testing::TestWithParam<WalkCase> {};

TEST_P(FdWalk, StepsDownTheLatticeWithExactStepsToEventsAndPricingTime) {
    const auto& c = GetParam();
    Steps steps;
    // 1000.5 ms in years truncates to a lattice step of 1000 ms
    ProbeCN m{grid_params(flat_market(0.0), 1, 1.0, 1000.5 / asset::MS_PER_YEAR), &steps};
    m.params.prc_ts = c.prc_ts;
    const std::size_t n = c.times.size();
    const auto tt = payments(c.times, 1.0, "USD");
    auto ledger = qfd::calculate_fd(m, tt);
    ASSERT_TRUE(ledger) << ledger.error().text();
    EXPECT_EQ(steps, c.steps);
    EXPECT_EQ(*qfd::price_fd(m, *ledger), static_cast<double>(n));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FdWalk,
    testing::Values(
        WalkCase{"between_lattice_times", {0, 2500, 5000}, 0,
                 {{5000, 4000}, {4000, 3000}, {3000, 2500}, {2500, 2000}, {2000, 1000}, {1000, 0}}},
        WalkCase{"same_time_and_on_lattice", {2000, 2000, 4000}, 0,
                 {{4000, 3000}, {3000, 2000}, {2000, 1000}, {1000, 0}}},
        WalkCase{"three_ms_apart_is_one_time", {1000, 1003, 5000}, 0,
                 {{5000, 4000}, {4000, 3000}, {3000, 2000}, {2000, 1003}, {1003, 0}}},
        WalkCase{"four_ms_apart_steps", {1000, 1004, 5000}, 0,
                 {{5000, 4000}, {4000, 3000}, {3000, 2000}, {2000, 1004}, {1004, 1000}, {1000, 0}}},
        WalkCase{"row_later_than_state_applies_in_place", {3000, 1000, 2000}, 0, {{2000, 1000}, {1000, 0}}},
        WalkCase{"ends_exactly_at_pricing_time", {2000}, 300, {{2000, 1000}, {1000, 300}}},
        WalkCase{"events_before_pricing_time", {1000, 3000}, 2000, {{3000, 2000}, {2000, 1000}}}),
    [](const auto& info) { return info.param.name; });

TEST(FdWalk, EventsApplyLastRowFirstWithTheirValues) {
    Steps steps;
    auto market = flat_market(0.0);
    market.curves.insert_or_assign("STK", curve({0.0, 1.0}, {std::log(100.0), std::log(100.0) + 0.1}, false));
    const ProbeCN m{grid_params(std::move(market), 1, 1.0, 0.1), &steps};
    const std::int64_t half = YEAR_MS / 2;
    // rows 0, 1 at the same time: "+3" applies before "> 5"; row 2 reads track 1
    // (2 STK at half a year) times its quantity 2
    const auto tt = test::make_timetable({.time = {half, half, half, YEAR_MS},
                                          .track = {0, 0, 0, 1},
                                          .op = {0, 1, 1, 1},
                                          .quantity = {5, 3, 2, 2},
                                          .unit = {0, 0, 2, 1},
                                          .track_dict = {"opt", "stk"},
                                          .op_dict = {">", "+"},
                                          .unit_dict = {"USD", "STK", "stk"}});
    const double stk_value = 2 * 100 * std::exp(0.1);
    EXPECT_NEAR(price_of(m, tt), std::max(5.0, 3.0 + 2 * stk_value), 1e-12);
    const auto last = payments({half}, 2.0, "STK");
    EXPECT_NEAR(price_of(m, last), 2 * 100 * std::exp(0.05), 1e-12);
}

// ---- failures ----

struct EventFailure {
    std::string name;
    std::optional<std::int64_t> track, op, unit;
    std::string cause;
};

class FdEventFailure : public testing::TestWithParam<EventFailure> {};

TEST_P(FdEventFailure, IsWrappedWithTheEventDescription) {
    const auto& c = GetParam();
    timetable::Expressions ex;
    ex.snappers.emplace("snp", expr::Snapper{{"snapped"}, test::fn_phrase({}, [](auto in) { return in; })});
    ex.phrases.emplace("phr", test::fn_phrase({}, [](auto in) { return in; }));
    const auto tt = test::make_timetable({.time = {1000},
                                          .track = {c.track},
                                          .op = {c.op},
                                          .quantity = {1},
                                          .unit = {c.unit},
                                          .track_dict = {"t0", "t1"},
                                          .op_dict = {"+", "cond"},
                                          .unit_dict = {"USD", "t1", "snp", "snapped", "phr", std::nullopt, "XYZ"}},
                                         std::move(ex));
    const HullWhiteCN m{grid_params(flat_market(0.03), 10, 0.2, 0.1), 0.05, 0.01};
    EXPECT_EQ(error_of(m, tt), "Error at event:\n  " + tt.event_desc(0) + ", caused by \n" + c.cause);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FdEventFailure,
    testing::Values(
        EventFailure{"missing_unit", 0, 0, std::nullopt, "Error in Event Specs: Missing Unit Name"},
        EventFailure{"unnamed_unit", 0, 0, 5, "Error in Event Specs: Unknown Unit"},
        EventFailure{"snapper", 0, 0, 2, "Feature Not Implemented: `Snapper in FD: snp`"},
        EventFailure{"snap", 0, 0, 3, "Feature Not Implemented: `Snap in FD: snapped`"},
        EventFailure{"phrase", 0, 0, 4, "Feature Not Implemented: `Phrase in FD: phr`"},
        EventFailure{"track_without_values", 0, 0, 1, "Track 1 not found"},
        EventFailure{"missing_asset", 0, 0, 6, "Asset 'XYZ' not found in snaps, expressions, or in dataset[ASSETS]"},
        EventFailure{"named_op", 0, 1, 0, "Error in Op, caused by \nUnknown Op 'cond'"},
        EventFailure{"no_track", std::nullopt, 0, 0, "No track specified at event#0"}),
    [](const auto& info) { return info.param.name; });

TEST(FdFailure, StepErrorsAreNotWrapped) {
    asset::Assets a;
    a.base = "USD";
    a.curves.emplace("USD", curve({0.5, 1.0}, {0.01, 0.02}, true));
    const HullWhiteCN m{grid_params(a, 10, 0.2, 0.25), 0.05, 0.01};
    const auto tt = payments({2 * YEAR_MS}, 1.0, "USD");
    EXPECT_EQ(error_of(m, tt), a.discount_rate(2.0, 1.75).error().text());
}

TEST(FdFailure, GridsTheWalkCannotUseAreRejected) {
    const auto tt = payments({YEAR_MS}, 1.0, "USD");
    struct Case {
        std::uint64_t n_x;
        double max_x, timestep;
        std::string text;
    };
    const std::vector<Case> cases{
        {0, 1.0, 0.1, "Cannot build a grid with N_X = 0"},
        {10, 0.0, 0.1, "Cannot build a grid with MAX_X = 0"},
        {10, -1.0, 0.1, "Cannot build a grid with MAX_X = -1"},
        {10, nan, 0.1, "Cannot build a grid with MAX_X = NaN"},
        {10, std::numeric_limits<double>::infinity(), 0.1, "Cannot build a grid with MAX_X = inf"},
        {10, 1.0, 0.0, "Cannot build a grid with TIMESTEP = 0: the step must be at least one millisecond"},
        {10, 1.0, -0.1, "Cannot build a grid with TIMESTEP = -0.1: the step must be at least one millisecond"},
        {10, 1.0, nan, "Cannot build a grid with TIMESTEP = NaN: the step must be at least one millisecond"},
        {10, 1.0, 1e-12,
         "Cannot build a grid with TIMESTEP = 0.000000000001: the step must be at least one millisecond"},
    };
    for (const auto& c : cases) {
        const BlackScholesCN m{grid_params(flat_market(0.05), c.n_x, c.max_x, c.timestep), "STK", 0.2};
        EXPECT_EQ(error_of(m, tt), c.text);
    }
    const auto empty = payments({}, 1.0, "USD");
    const HullWhiteCN hw{grid_params(flat_market(0.05), 10, 0.2, 0.1), 0.0, 0.0};
    EXPECT_EQ(error_of(hw, empty), "Cannot build a grid for a timetable without events");
}

TEST(FdFailure, PriceNeedsTrackZero) {
    const HullWhiteCN m{grid_params(flat_market(0.05), 1, 0.2, 0.1), 0.05, 0.01};
    ledger::Ledger l(3);
    l.pvs_by_track_mut()[1] = ValueVec(3, 1.0);
    EXPECT_EQ(qfd::price_fd(m, l).error().text(), "Track 0 not found");
}

TEST(LatticeStep, TruncatesTowardZeroAndSaturates) {
    constexpr auto max = std::numeric_limits<std::int64_t>::max();
    constexpr auto min = std::numeric_limits<std::int64_t>::min();
    const std::vector<std::pair<double, std::int64_t>> cases{
        {1.0 / 12, 2'628'000'000},   {2.9 / asset::MS_PER_YEAR, 2}, {-2.9 / asset::MS_PER_YEAR, -2},
        {nan, 0},                    {1e300, max},                  {-1e300, min},
        {std::numeric_limits<double>::infinity(), max}};
    for (auto [years, ms] : cases) EXPECT_EQ(qfd::lattice_step_ms(years), ms) << years;
}

}  // namespace
