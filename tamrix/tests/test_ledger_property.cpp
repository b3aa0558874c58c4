#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>

#include "ledger/ledger.hpp"
#include "timetable/op.hpp"

namespace {

using tamrix::ledger::FLAG_CASHFLOW;
using tamrix::ledger::Ledger;
using tamrix::timetable::Op;
using tamrix::util::ValueVec;

constexpr std::size_t kSize = 5;
constexpr std::uint64_t kTracks = 3;

class Gen {
public:
    explicit Gen(std::uint64_t seed) : rng_(seed) {}

    std::size_t below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_); }
    double uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }

    // Full-length or one-entry values, with exact zeros and whole numbers so that
    // ties between value and present value happen often.
    ValueVec value() {
        switch (below(5)) {
            case 0: return {0.0};
            case 1: return {uniform(-10.0, 10.0)};
            case 2: {
                ValueVec v(kSize);
                for (double& x : v) x = static_cast<double>(static_cast<int>(below(7))) - 3.0;
                return v;
            }
            default: {
                ValueVec v(kSize);
                for (double& x : v) x = uniform(-10.0, 10.0);
                return v;
            }
        }
    }

    ValueVec weight() {
        switch (below(5)) {
            case 0: return {0.0};
            case 1: return {1.0};
            case 2: return {uniform(0.0, 1.0)};
            default: {
                ValueVec w(kSize);
                for (double& x : w) x = below(4) == 0 ? static_cast<double>(below(2)) : uniform(0.0, 1.0);
                return w;
            }
        }
    }

private:
    std::mt19937_64 rng_;
};

// With cashflows recorded, each track's present value is the entry-wise sum of
// its recorded cashflows, whatever mix of payments, choices and weights (some
// of them referring to other tracks' present values) made it.
TEST(LedgerProperty, CashflowsSumToPresentValue) {
    Gen gen(20240611);
    const Op ops[] = {Op{Op::Add{}}, Op{Op::Max{}}, Op{Op::Min{}}};

    for (int trial = 0; trial < 400; ++trial) {
        Ledger ledger(kSize);
        const std::size_t n_events = 1 + gen.below(40);
        std::string history;

        // Backward pass: the last row first.
        for (std::uint64_t event = n_events; event-- > 0;) {
            const std::uint64_t track = gen.below(kTracks);
            ValueVec value = gen.value();
            // A track reference: another (or the same) track's present value.
            if (gen.below(4) == 0) {
                const auto ref = ledger.pv_vec(gen.below(kTracks));
                if (ref) value = **ref;
            }
            const std::size_t kind = gen.below(4);
            if (kind < 3) {
                ASSERT_TRUE(ledger.one_track_event(ops[kind], track, value, event, FLAG_CASHFLOW).has_value());
                history += " " + ops[kind].text() + std::to_string(track);
            } else {
                ASSERT_TRUE(ledger.one_track_weights(gen.weight(), track, value, event, FLAG_CASHFLOW).has_value());
                history += " w" + std::to_string(track);
            }

            for (const auto& [key, pv] : ledger.pvs_by_track()) {
                ValueVec sum(kSize, 0.0);
                if (const auto it = ledger.cashflows().find(key); it != ledger.cashflows().end()) {
                    for (const auto& [ev, cf] : it->second) {
                        ASSERT_EQ(cf.size(), kSize);
                        for (std::size_t i = 0; i < kSize; ++i) sum[i] += cf[i];
                    }
                }
                ASSERT_EQ(pv.size(), kSize);
                for (std::size_t i = 0; i < kSize; ++i) {
                    ASSERT_NEAR(sum[i], pv[i], 1e-12 * std::max(1.0, std::abs(pv[i])))
                        << "trial " << trial << ", track " << key << ", entry " << i << ", events (backward):"
                        << history;
                }
            }
        }
    }
}

}  // namespace
