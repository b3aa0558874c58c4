#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "arrow_fixture.hpp"
#include "ledger/depgraph.hpp"
#include "ledger/ledger.hpp"
#include "ledger/util.hpp"
#include "timetable/op.hpp"
#include "util/internal_error.hpp"

namespace {

using tamrix::InternalError;
using tamrix::ledger::ChoiceVec;
using tamrix::ledger::EvGraph;
using tamrix::ledger::EvState;
using tamrix::ledger::FLAG_CASHFLOW;
using tamrix::ledger::FLAG_CHOICES;
using tamrix::ledger::Ledger;
using tamrix::ledger::LedgerError;
using tamrix::timetable::Op;
using tamrix::util::ValueVec;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

const Op add{Op::Add{}};
const Op max{Op::Max{}};
const Op min{Op::Min{}};
const Op no_op{Op::NoOp{}};

// NaN-aware entry-wise equality.
void expect_vec(const ValueVec& got, const ValueVec& want) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        if (std::isnan(want[i]))
            EXPECT_TRUE(std::isnan(got[i])) << "entry " << i << ": " << got[i];
        else
            EXPECT_EQ(got[i], want[i]) << "entry " << i;
    }
}

const ValueVec& pv(const Ledger& l, std::uint64_t track) {
    auto r = l.pv_vec(track);
    if (!r) throw std::runtime_error(r.error().text());
    return **r;
}

// Track's cashflows ordered by event row.
std::map<std::uint64_t, ValueVec> cashflows(const Ledger& l, std::uint64_t track) {
    const auto it = l.cashflows().find(track);
    if (it == l.cashflows().end()) return {};
    return {it->second.begin(), it->second.end()};
}

// ---- one_track_event: value and choice record ----

struct EventCase {
    const char* name;
    std::size_t size;
    std::optional<ValueVec> start;  // none: a new track
    Op op;
    ValueVec value;
    ValueVec want_pv;
    std::optional<ChoiceVec> want_choice;  // none: no choice recorded (non-choice op)
};
void PrintTo(const EventCase& c, std::ostream* os) { *os << c.name; }

class OneTrackEvent : public testing::TestWithParam<EventCase> {};

TEST_P(OneTrackEvent, UpdatesPvAndChoice) {
    const auto& c = GetParam();
    Ledger l(c.size);
    if (c.start) l.pvs_by_track_mut()[3] = *c.start;
    ASSERT_TRUE(l.one_track_event(c.op, 3, c.value, 17, FLAG_CHOICES).has_value());
    expect_vec(pv(l, 3), c.want_pv);
    const auto& by_event = l.choices().by_event;
    if (!c.want_choice) {
        EXPECT_TRUE(by_event.empty());
        return;
    }
    ASSERT_TRUE(by_event.contains(17));
    ASSERT_TRUE(by_event.at(17).contains(3));
    EXPECT_EQ(by_event.at(17).at(3), *c.want_choice);
}

INSTANTIATE_TEST_SUITE_P(
    Ops, OneTrackEvent,
    testing::Values(
        EventCase{"add_new_track_broadcast", 3, std::nullopt, add, {5.0}, {5.0, 5.0, 5.0}, std::nullopt},
        EventCase{"add_existing", 2, ValueVec{1.0, 2.0}, add, {3.0, 4.0}, {4.0, 6.0}, std::nullopt},
        EventCase{"add_nan", 2, ValueVec{1.0, 2.0}, add, {nan, 1.0}, {nan, 3.0}, std::nullopt},
        EventCase{"max_new_track", 2, std::nullopt, max, {-1.0, 2.0}, {0.0, 2.0}, ChoiceVec{0, 1}},
        EventCase{"max_broadcast", 3, ValueVec{0.0, 2.0, 1.0}, max, {1.0}, {1.0, 2.0, 1.0}, ChoiceVec{1, 0, 0}},
        EventCase{"max_ties_keep", 2, ValueVec{1.0, 2.0}, max, {1.0, 3.0}, {1.0, 3.0}, ChoiceVec{0, 1}},
        EventCase{"min_ties_keep", 3, ValueVec{1.0, 2.0, 3.0}, min, {1.0, 5.0, 0.0}, {1.0, 2.0, 0.0},
                  ChoiceVec{0, 0, 1}},
        EventCase{"min_broadcast", 2, ValueVec{1.0, -1.0}, min, {0.0}, {0.0, -1.0}, ChoiceVec{1, 0}},
        // NaN on one side: the other side is the result, but the choice only records strict wins.
        EventCase{"max_nan_pv", 2, ValueVec{nan, 1.0}, max, {3.0, 0.0}, {3.0, 1.0}, ChoiceVec{0, 0}},
        EventCase{"max_nan_value", 2, ValueVec{1.0, 1.0}, max, {nan, 2.0}, {1.0, 2.0}, ChoiceVec{0, 1}},
        EventCase{"min_nan_pv", 2, ValueVec{nan, 1.0}, min, {3.0, 0.0}, {3.0, 0.0}, ChoiceVec{0, 1}},
        EventCase{"min_nan_value", 1, ValueVec{1.0}, min, {nan}, {1.0}, ChoiceVec{0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OneTrackEvent, ChoicesOnlyWithTheirFlagAndLaterInsertReplaces) {
    Ledger l(2);
    ASSERT_TRUE(l.one_track_event(max, 1, {1.0, -1.0}, 4, FLAG_CASHFLOW | 1 | 4).has_value());
    EXPECT_TRUE(l.choices().by_event.empty());

    ASSERT_TRUE(l.one_track_event(max, 1, {2.0, -1.0}, 4, FLAG_CHOICES).has_value());
    ASSERT_TRUE(l.one_track_event(max, 1, {0.0, 5.0}, 4, FLAG_CHOICES).has_value());
    EXPECT_EQ(l.choices().by_event.at(4).at(1), (ChoiceVec{0, 1}));
    ASSERT_TRUE(l.one_track_event(min, 2, {-1.0}, 4, FLAG_CHOICES).has_value());
    EXPECT_EQ(l.choices().by_event.at(4).size(), 2u);
}

TEST(OneTrackEvent, UnknownOpsFailButCreateTheTrack) {
    for (const Op& op : {no_op, Op{Op::Named{"weight"}}}) {
        Ledger l(2);
        const auto r = l.one_track_event(op, 5, {1.0, 2.0}, 0, FLAG_CASHFLOW | FLAG_CHOICES);
        ASSERT_FALSE(r.has_value());
        ASSERT_TRUE(std::holds_alternative<LedgerError::Apply>(r.error().kind));
        EXPECT_EQ(r.error().text(), "Error in Op, caused by \nUnknown Op '" + op.text() + "'");
        expect_vec(pv(l, 5), {0.0, 0.0});
        EXPECT_TRUE(l.cashflows().empty());
        EXPECT_TRUE(l.choices().by_event.empty());
    }
    // An existing track keeps its value.
    Ledger l(1);
    ASSERT_TRUE(l.one_track_event(add, 0, {4.0}, 1, 0).has_value());
    ASSERT_FALSE(l.one_track_event(no_op, 0, {9.0}, 0, 0).has_value());
    expect_vec(pv(l, 0), {4.0});
}

TEST(Ledger, PvVecOfUntouchedTrack) {
    Ledger l(3);
    ASSERT_TRUE(l.one_track_event(add, 0, {1.0}, 0, 0).has_value());
    const auto r = l.pv_vec(42);
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error().text(), "Track 42 not found");
}

TEST(Ledger, LengthsOtherThanSizeOrOneAreProgrammingErrors) {
    for (std::uint32_t flags : {0u, FLAG_CHOICES, FLAG_CASHFLOW}) {
        for (const Op& op : {add, max, min, no_op}) {
            Ledger l(3);
            EXPECT_THROW((void)l.one_track_event(op, 0, {1.0, 2.0}, 0, flags), InternalError) << op.text();
            EXPECT_THROW((void)l.one_track_event(op, 0, {}, 0, flags), InternalError) << op.text();
        }
        Ledger l(3);
        EXPECT_THROW((void)l.one_track_weights({1.0, 0.0}, 0, {1.0}, 0, flags), InternalError);
        EXPECT_THROW((void)l.one_track_weights({1.0}, 0, {1.0, 0.0}, 0, flags), InternalError);
        EXPECT_TRUE(l.pvs_by_track().empty());
    }
    // A one-entry ledger never grows a track.
    Ledger one(1);
    EXPECT_THROW((void)one.one_track_event(add, 0, {1.0, 2.0}, 0, 0), InternalError);
    EXPECT_THROW((void)one.one_track_weights({1.0}, 0, {1.0, 2.0}, 0, 0), InternalError);
}

// ---- update_choice and filter ----

TEST(UpdateChoice, KeepsEarlierEntriesAndRejectsOtherOps) {
    ChoiceVec choice{7, 7, 7};
    ASSERT_TRUE(tamrix::ledger::update_choice({1.0, 2.0, 3.0}, choice, {2.0, 2.0, nan}, max, 9).has_value());
    EXPECT_EQ(choice, (ChoiceVec{9, 7, 7}));
    ASSERT_TRUE(tamrix::ledger::update_choice({1.0, 2.0, 3.0}, choice, {1.5}, min, 4).has_value());
    EXPECT_EQ(choice, (ChoiceVec{9, 4, 4}));

    for (const Op& op : {add, no_op, Op{Op::Named{"w"}}}) {
        ChoiceVec c{0};
        const auto r = tamrix::ledger::update_choice({1.0}, c, {2.0}, op, 1);
        ASSERT_FALSE(r.has_value());
        ASSERT_TRUE(std::holds_alternative<LedgerError::UnknownOp>(r.error().kind));
        EXPECT_EQ(r.error().text(), "Unknown Op '" + op.text() + "'");
    }
    ChoiceVec short_choice{0};
    EXPECT_THROW((void)tamrix::ledger::update_choice({1.0, 2.0}, short_choice, {1.0}, max, 1), InternalError);
    ChoiceVec two{0, 0};
    EXPECT_THROW((void)tamrix::ledger::update_choice({1.0, 2.0}, two, {1.0, 2.0, 3.0}, max, 1), InternalError);
}

TEST(Filter, KeepsValueWhereMaskIsSet) {
    expect_vec(tamrix::ledger::filter({true, false, true}, {1.0, 2.0, 3.0}), {1.0, 0.0, 3.0});
    expect_vec(tamrix::ledger::filter({false, true}, {5.0}), {0.0, 5.0});
    expect_vec(tamrix::ledger::filter({}, {5.0}), {});
    EXPECT_THROW((void)tamrix::ledger::filter({true, false}, {1.0, 2.0, 3.0}), InternalError);
}

// ---- cashflow record ----

TEST(Cashflow, InsertSpreadsReplacesAndRejectsLengths) {
    Ledger l(3);
    ASSERT_TRUE(l.cf_insert(0, 1, {2.0}).has_value());
    EXPECT_EQ(cashflows(l, 1), (std::map<std::uint64_t, ValueVec>{{0, {2.0, 2.0, 2.0}}}));
    ASSERT_TRUE(l.cf_insert(0, 1, {1.0, 2.0, 3.0}).has_value());
    EXPECT_EQ(cashflows(l, 1), (std::map<std::uint64_t, ValueVec>{{0, {1.0, 2.0, 3.0}}}));

    for (const ValueVec& bad : {ValueVec{}, ValueVec{1.0, 2.0}, ValueVec{1.0, 2.0, 3.0, 4.0}}) {
        const auto r = l.cf_insert(6, 4, bad);
        ASSERT_FALSE(r.has_value());
        ASSERT_TRUE(std::holds_alternative<LedgerError::TrackNotFound>(r.error().kind));
        EXPECT_EQ(r.error().text(), "Track 4 not found");
    }
    EXPECT_FALSE(l.cashflows().contains(4));
}

TEST(Cashflow, MaskAndScaleTouchOnlyRecordedTracks) {
    Ledger l(2);
    l.cf_mask(1, {true, true});
    l.cf_scale(1, {0.5});
    EXPECT_TRUE(l.cashflows().empty());

    ASSERT_TRUE(l.cf_insert(3, 1, {4.0, 8.0}).has_value());
    ASSERT_TRUE(l.cf_insert(5, 1, {1.0, 1.0}).has_value());
    ASSERT_TRUE(l.cf_insert(5, 2, {1.0, 1.0}).has_value());
    l.cf_scale(1, {0.5, 2.0});
    l.cf_mask(1, {false, true});
    EXPECT_EQ(cashflows(l, 1), (std::map<std::uint64_t, ValueVec>{{3, {2.0, 0.0}}, {5, {0.5, 0.0}}}));
    EXPECT_EQ(cashflows(l, 2), (std::map<std::uint64_t, ValueVec>{{5, {1.0, 1.0}}}));

    // Scaling by a one-entry zero keeps the entries.
    l.cf_scale(1, {0.0});
    EXPECT_EQ(cashflows(l, 1), (std::map<std::uint64_t, ValueVec>{{3, {0.0, 0.0}}, {5, {0.0, 0.0}}}));

    EXPECT_THROW(l.cf_mask(2, {true}), InternalError);
    EXPECT_THROW(l.cf_scale(2, {1.0, 2.0, 3.0}), InternalError);
}

// One step applied to a ledger of size 2 whose track 0 starts with pv `start`
// and the cashflow record `before`.
struct CfCase {
    const char* name;
    ValueVec start;
    std::map<std::uint64_t, ValueVec> before;
    bool weighted;
    Op op;           // single-track events
    ValueVec weight;  // weighted events
    ValueVec value;
    std::uint64_t event;
    std::map<std::uint64_t, ValueVec> after;
    ValueVec want_pv;
};
void PrintTo(const CfCase& c, std::ostream* os) { *os << c.name; }

class CashflowStep : public testing::TestWithParam<CfCase> {};

TEST_P(CashflowStep, RecordsWhatSurvives) {
    const auto& c = GetParam();
    Ledger l(2);
    if (!c.start.empty()) l.pvs_by_track_mut()[0] = c.start;
    for (const auto& [event, cf] : c.before) ASSERT_TRUE(l.cf_insert(event, 0, cf).has_value());
    const auto r = c.weighted ? l.one_track_weights(c.weight, 0, c.value, c.event, FLAG_CASHFLOW)
                              : l.one_track_event(c.op, 0, c.value, c.event, FLAG_CASHFLOW);
    ASSERT_TRUE(r.has_value()) << r.error().text();
    EXPECT_EQ(cashflows(l, 0), c.after);
    expect_vec(pv(l, 0), c.want_pv);
}

using CfMap = std::map<std::uint64_t, ValueVec>;

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, CashflowStep,
    testing::Values(
        CfCase{"add_records_value", {}, {}, false, add, {}, {3.0}, 5, CfMap{{5, {3.0, 3.0}}}, {3.0, 3.0}},
        // Row 2's choice after row 5's payment of [3, 3].
        CfCase{"max_takes_winning_entries", {3.0, 3.0}, CfMap{{5, {3.0, 3.0}}}, false, max, {}, {4.0, 1.0}, 2,
               CfMap{{5, {0.0, 3.0}}, {2, {4.0, 0.0}}}, {4.0, 3.0}},
        CfCase{"min_takes_winning_entries", {3.0, 3.0}, CfMap{{5, {3.0, 3.0}}}, false, min, {}, {4.0, 1.0}, 2,
               CfMap{{5, {3.0, 0.0}}, {2, {0.0, 1.0}}}, {3.0, 1.0}},
        CfCase{"max_tie_keeps_old_cashflow", {3.0, 3.0}, CfMap{{5, {3.0, 3.0}}}, false, max, {}, {3.0}, 2,
               CfMap{{5, {3.0, 3.0}}, {2, {0.0, 0.0}}}, {3.0, 3.0}},
        // Walking away for nothing: masking happens, nothing is stored.
        CfCase{"max_single_zero", {-2.0, 3.0}, CfMap{{5, {-2.0, 3.0}}}, false, max, {}, {0.0}, 2,
               CfMap{{5, {0.0, 3.0}}}, {0.0, 3.0}},
        CfCase{"max_full_zero_is_stored", {-2.0, 3.0}, CfMap{{5, {-2.0, 3.0}}}, false, max, {}, {0.0, 0.0}, 2,
               CfMap{{5, {0.0, 3.0}}, {2, {0.0, 0.0}}}, {0.0, 3.0}},
        CfCase{"max_on_new_track", {}, {}, false, max, {}, {-1.0, 2.0}, 4, CfMap{{4, {0.0, 2.0}}}, {0.0, 2.0}},
        CfCase{"add_single_zero_is_stored", {}, {}, false, add, {}, {0.0}, 1, CfMap{{1, {0.0, 0.0}}},
               {0.0, 0.0}},
        CfCase{"weight_scales_and_stores", {10.0, 10.0}, CfMap{{5, {10.0, 10.0}}}, true, add, {0.25}, {2.0, 6.0},
               2, CfMap{{5, {7.5, 7.5}}, {2, {0.5, 1.5}}}, {8.0, 9.0}},
        CfCase{"weight_single_zero_value", {10.0, 10.0}, CfMap{{5, {10.0, 10.0}}}, true, add, {0.25, 1.0}, {0.0},
               2, CfMap{{5, {7.5, 0.0}}}, {7.5, 0.0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OneTrackEvent, UnknownOpLeavesCashflowsAlone) {
    Ledger l(2);
    ASSERT_TRUE(l.one_track_event(add, 3, {1.0, 2.0}, 5, FLAG_CASHFLOW).has_value());
    ASSERT_FALSE(l.one_track_event(Op{Op::Named{"x"}}, 3, {7.0}, 2, FLAG_CASHFLOW).has_value());
    EXPECT_EQ(cashflows(l, 3), (CfMap{{5, {1.0, 2.0}}}));
    expect_vec(pv(l, 3), {1.0, 2.0});
}

// ---- weighted events ----

struct WeightCase {
    const char* name;
    std::optional<ValueVec> start;
    ValueVec weight, value, want;
};
void PrintTo(const WeightCase& c, std::ostream* os) { *os << c.name; }

class OneTrackWeights : public testing::TestWithParam<WeightCase> {};

TEST_P(OneTrackWeights, Blends) {
    const auto& c = GetParam();
    Ledger l(2);
    if (c.start) l.pvs_by_track_mut()[9] = *c.start;
    ASSERT_TRUE(l.one_track_weights(c.weight, 9, c.value, 3, FLAG_CHOICES).has_value());
    expect_vec(pv(l, 9), c.want);
    EXPECT_TRUE(l.choices().by_event.empty());
    EXPECT_TRUE(l.cashflows().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Weights, OneTrackWeights,
    testing::Values(WeightCase{"one_replaces", ValueVec{2.0, 4.0}, {1.0}, {6.0, 7.0}, {6.0, 7.0}},
                    WeightCase{"zero_keeps", ValueVec{2.0, 4.0}, {0.0}, {6.0, 7.0}, {2.0, 4.0}},
                    WeightCase{"half_broadcast_value", ValueVec{2.0, 4.0}, {0.5}, {6.0}, {4.0, 5.0}},
                    WeightCase{"per_entry_weight", ValueVec{2.0, 4.0}, {1.0, 0.25}, {6.0}, {6.0, 4.5}},
                    WeightCase{"new_track", std::nullopt, {0.5, 2.0}, {3.0}, {1.5, 6.0}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- taking the records out ----

TEST(Ledger, TakeLeavesRecordsEmpty) {
    Ledger l(1);
    ASSERT_TRUE(l.one_track_event(max, 0, {1.0}, 2, FLAG_CASHFLOW | FLAG_CHOICES).has_value());
    const auto choices = l.take_choices();
    const auto cfs = l.take_cashflows();
    EXPECT_EQ(choices.by_event.at(2).at(0), (ChoiceVec{1}));
    EXPECT_EQ(cfs.at(0).at(2), (ValueVec{1.0}));
    EXPECT_TRUE(l.choices().by_event.empty());
    EXPECT_TRUE(l.cashflows().empty());
    expect_vec(pv(l, 0), {1.0});
}

// ---- event graph slots ----

TEST(EvGraph, OneEmptySlotPerRow) {
    // The null track cell of row 1 still gets its slot.
    const auto tt = tamrix::test::make_timetable({.time = {0, 1000, 2000},
                                                  .track = {0, std::nullopt, 0},
                                                  .op = {0, 0, 0},
                                                  .quantity = {1, 2, 3},
                                                  .unit = {0, 0, 0},
                                                  .track_dict = {"main"},
                                                  .op_dict = {"+"},
                                                  .unit_dict = {"USD"}});
    const auto g = tamrix::ledger::get_dependency_graph(tt);
    ASSERT_EQ(g.states.size(), 3u);
    for (const auto& s : g.states) EXPECT_TRUE(std::holds_alternative<EvState::Empty>(s.kind));

    const auto empty = tamrix::test::make_timetable({.time = {},
                                                     .track = {},
                                                     .op = {},
                                                     .quantity = {},
                                                     .unit = {},
                                                     .track_dict = {},
                                                     .op_dict = {"+"},
                                                     .unit_dict = {"USD"}});
    EXPECT_TRUE(tamrix::ledger::get_dependency_graph(empty).states.empty());
}

TEST(EvGraph, SaveReplacesSlotAndRejectsOutsideIndex) {
    EvGraph g;
    g.states.resize(3);
    tamrix::ledger::save_pay(g, 1, {1.0, 2.0});
    tamrix::ledger::save_t(g, 1, 7);
    ASSERT_TRUE(std::holds_alternative<EvState::TrackRef>(g.states[1].kind));
    EXPECT_EQ(std::get<EvState::TrackRef>(g.states[1].kind).track, 7u);

    tamrix::ledger::save_cond_pay(g, 2, {3.0}, {0.5});
    const auto& cp = std::get<EvState::CondPay>(g.states[2].kind);
    EXPECT_EQ(cp.value, (ValueVec{3.0}));
    EXPECT_EQ(cp.weight, (ValueVec{0.5}));
    tamrix::ledger::save_pay(g, 2, {4.0});
    EXPECT_EQ(std::get<EvState::Pay>(g.states[2].kind).value, (ValueVec{4.0}));
    EXPECT_TRUE(std::holds_alternative<EvState::Empty>(g.states[0].kind));

    EXPECT_THROW(tamrix::ledger::save_t(g, 3, 0), InternalError);
    EXPECT_THROW(tamrix::ledger::save_pay(g, 99, {1.0}), InternalError);
    EXPECT_THROW(tamrix::ledger::save_cond_pay(g, 3, {1.0}, {1.0}), InternalError);
    EXPECT_EQ(g.states.size(), 3u);
}

}  // namespace
