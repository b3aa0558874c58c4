#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

#include "arrow_fixture.hpp"
#include "timetable/events.hpp"
#include "timetable/op.hpp"
#include "timetable/timetable.hpp"
#include "util/internal_error.hpp"

namespace tamrix {
namespace {

using test::Node;
using timetable::Expressions;
using timetable::Op;
using timetable::TimeTable;
using timetable::TimeTableError;
using timetable::Unit;
using util::ValueVec;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr std::int64_t kJan2024 = 1'704'067'200'000;  // 2024-01-01T00:00:00Z

enum Col : std::size_t { kTime, kTrack, kOp, kQuantity, kUnit };

test::EventRows two_rows() {
    return {.time = {kJan2024, kJan2024 + 500},
            .track = {0, 1},
            .op = {0, 1},
            .quantity = {100, -2.25},
            .unit = {0, 1},
            .track_dict = {"A", "B"},
            .op_dict = {"+", ">"},
            .unit_dict = {"USD", "B"}};
}

std::string error_text(const std::expected<TimeTable, TimeTableError>& tt) {
    return tt ? std::string("<built>") : tt.error().text();
}

std::unique_ptr<expr::EvalPhrase> unused_phrase() {
    return test::fn_phrase({}, [](std::vector<ValueVec>) { return std::vector<ValueVec>{}; });
}

Node without(std::vector<Node> cols, std::initializer_list<Col> drop) {
    std::vector<Node> kept;
    for (std::size_t i = 0; i < cols.size(); ++i)
        if (std::find(drop.begin(), drop.end(), static_cast<Col>(i)) == drop.end()) kept.push_back(cols[i]);
    return test::struct_node(kept);
}

Node with_column(Col i, Node replacement) {
    std::vector<Node> cols = test::event_columns(two_rows());
    replacement.name = cols[i].name;
    cols[i] = std::move(replacement);
    return test::struct_node(cols);
}

TEST(Events, ColumnErrorsInLookupOrder) {
    const auto cols = test::event_columns(two_rows());
    Node int32_keys = cols[kTrack];
    int32_keys.format = "i";
    int32_keys.buffers[1] = test::raw_bytes(std::vector<std::int32_t>{0, 1});
    Node strings_as_time = test::utf8_array({"a", "b"});
    struct Case {
        Node root;
        const char* message;
    };
    const Case cases[] = {
        {test::struct_node({}), "Column 'time' not found"},
        {without(cols, {kTime, kUnit}), "Column 'time' not found"},
        {without(cols, {kTrack}), "Column 'track' not found"},
        {without(cols, {kOp, kQuantity}), "Column 'op' not found"},
        {without(cols, {kQuantity}), "Column 'quantity' not found"},
        {without(cols, {kUnit}), "Column 'unit' not found"},
        {with_column(kTime, test::fixed_column<std::int64_t>("l", "", {1, 2})),
         "Couldn't convert column 'time', likely incorrect type"},
        {with_column(kTime, test::timestamp_column("", {1, 2}, {}, "tss:")),
         "Couldn't convert column 'time', likely incorrect type"},
        {with_column(kTime, test::timestamp_column("", {1, 2}, {}, "tsu:UTC")),
         "Couldn't convert column 'time', likely incorrect type"},
        {with_column(kTime, strings_as_time), "Couldn't convert column 'time', likely incorrect type"},
        {with_column(kTrack, int32_keys), "Couldn't convert column 'track', likely incorrect type"},
        {with_column(kOp, test::utf8_array({"+", "+"})), "Couldn't convert column 'op', likely incorrect type"},
        {with_column(kQuantity, test::fixed_column<float>("f", "", {1, 2})),
         "Couldn't convert column 'quantity', likely incorrect type"},
        {with_column(kQuantity, cols[kUnit]), "Couldn't convert column 'quantity', likely incorrect type"},
        {with_column(kUnit, cols[kQuantity]), "Couldn't convert column 'unit', likely incorrect type"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        auto events = test::build_events(c.root);
        ASSERT_FALSE(events);
        EXPECT_EQ(events.error().text(), c.message);
    }
}

TEST(Events, MalformedColumnsAreNamed) {
    struct Case {
        Col column;
        std::function<void(test::ArrowFixture&)> damage;
        const char* message;
    };
    const Case cases[] = {
        {kTime, [](test::ArrowFixture& f) { f.child_array(kTime).n_buffers = 3; },
         "column 'time': expected 2 buffers, found 3"},
        {kTrack, [](test::ArrowFixture& f) { f.child_array(kTrack).dictionary->length = -1; },
         "column 'track': "},
        {kOp, [](test::ArrowFixture& f) { f.child_array(kOp).buffers[1] = nullptr; },
         "column 'op': null values buffer"},
        {kQuantity, [](test::ArrowFixture& f) { f.child_array(kQuantity).null_count = 1; },
         "column 'quantity': null count 1 without a validity buffer"},
        {kUnit, [](test::ArrowFixture& f) { f.child_schema(kUnit).dictionary->release = nullptr; },
         "column 'unit': released dictionary"},
    };
    // Refused at intake, before any column is read.
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        test::ArrowFixture f(test::event_struct(two_rows()));
        c.damage(f);
        auto batch = f.batch();
        ASSERT_FALSE(batch);
        EXPECT_EQ(batch.error().kind, arrow::BatchFailure::Malformed);
        EXPECT_EQ(batch.error().detail.rfind(c.message, 0), 0u) << batch.error().detail;
    }
}

TEST(Events, ColumnsMayStandInAnyOrderAmongOthers) {
    auto cols = test::event_columns(two_rows());
    std::reverse(cols.begin(), cols.end());
    cols.insert(cols.begin() + 2, test::float64_column("note", {7, 7}));
    cols.push_back(test::float64_column("quantity", {9, 9}));  // only the first counts
    auto tt = test::build_timetable(test::struct_node(cols));
    ASSERT_TRUE(tt) << tt.error().text();
    EXPECT_EQ(tt->quantity_at(1), -2.25);
    EXPECT_EQ(tt->ts_at(1), kJan2024 + 500);
    EXPECT_EQ(tt->unit_desc_at(1), "Track(1)");
}

TEST(TimeTable, ZeroRowsBuild) {
    auto tt = test::build_timetable(test::EventRows{});
    ASSERT_TRUE(tt) << tt.error().text();
    EXPECT_EQ(tt->len(), 0u);
}

TEST(TimeTable, DictionaryErrorsInValidationOrder) {
    auto bad_values = [](Node col, std::string format) {
        col.dictionary = std::make_shared<Node>(*col.dictionary);
        col.dictionary->format = std::move(format);
        return col;
    };
    struct Case {
        std::vector<std::pair<Col, std::string>> retype;  // dictionary value formats
        const char* message;
    };
    const Case cases[] = {
        {{{kUnit, "U"}}, "Error in units column, expected strings"},
        {{{kTrack, "U"}}, "Error in tracks column, expected strings"},
        {{{kOp, "l"}}, "Error in ops column, expected strings"},
        {{{kOp, "U"}, {kTrack, "g"}, {kUnit, "z"}}, "Error in units column, expected strings"},
        {{{kOp, "U"}, {kTrack, "g"}}, "Error in tracks column, expected strings"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        auto cols = test::event_columns(two_rows());
        for (const auto& [col, format] : c.retype) cols[col] = bad_values(cols[col], format);
        EXPECT_EQ(error_text(test::build_timetable(test::struct_node(cols))), c.message);
    }
}

TEST(TimeTable, NullTrackEntryFailsEvenUnused) {
    auto rows = two_rows();
    rows.track_dict = {"A", "B", std::nullopt};
    EXPECT_EQ(error_text(test::build_timetable(rows)), "Missing Track Value");
    // a null track key is fine
    rows = two_rows();
    rows.track = {std::nullopt, 1};
    EXPECT_TRUE(test::build_timetable(rows));
}

TEST(TimeTable, MalformedDictionaryIsAnErrorNotARead) {
    struct Case {
        Col column;
        std::function<void(ArrowArray&)> damage;
        const char* message;
    };
    auto offsets = [](ArrowArray& a) {
        return const_cast<std::int32_t*>(static_cast<const std::int32_t*>(a.buffers[1]));
    };
    const Case cases[] = {
        {kUnit, [&](ArrowArray& d) { offsets(d)[1] = 1'000'000; },
         "column 'unit': string offset 4 at entry 2 is below the one before (1000000)"},
        {kTrack, [&](ArrowArray& d) { offsets(d)[0] = -4; },
         "column 'track': negative string offset -4 at entry 0"},
        {kOp, [](ArrowArray& d) { d.buffers[2] = nullptr; },
         "column 'op': null string data buffer"},
    };
    // Refused at intake, before any string is read.
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        test::ArrowFixture f(test::event_struct(two_rows()));
        c.damage(*f.child_array(c.column).dictionary);
        auto batch = f.batch();
        ASSERT_FALSE(batch);
        EXPECT_EQ(batch.error().detail, c.message);
    }
}

TEST(TimeTable, ValidKeysMustIndexTheirDictionaries) {
    struct Case {
        std::function<void(test::EventRows&)> change;
        const char* message;
    };
    const Case cases[] = {
        {[](auto& r) { r.track = {0, 2}; }, "Key 2 of column 'track' at row 1 is outside its dictionary of 2 entries"},
        {[](auto& r) { r.op = {-1, 0}; }, "Key -1 of column 'op' at row 0 is outside its dictionary of 2 entries"},
        {[](auto& r) { r.unit = {0, 7}; }, "Key 7 of column 'unit' at row 1 is outside its dictionary of 2 entries"},
        {[](auto& r) { r.unit_dict = {}; }, "Key 0 of column 'unit' at row 0 is outside its dictionary of 0 entries"},
        // track before op before unit, whatever the rows
        {[](auto& r) {
             r.op = {5, 0};
             r.unit = {5, 0};
             r.track = {0, 9};
         },
         "Key 9 of column 'track' at row 1 is outside its dictionary of 2 entries"},
        {[](auto& r) {
             r.unit = {5, 0};
             r.op = {0, 5};
         },
         "Key 5 of column 'op' at row 1 is outside its dictionary of 2 entries"},
    };
    for (const Case& c : cases) {
        auto rows = two_rows();
        c.change(rows);
        EXPECT_EQ(error_text(test::build_timetable(rows)), c.message);
    }
    // Null keys are stored as -1 by the fixture: only valid keys are checked.
    auto rows = two_rows();
    rows.track = {std::nullopt, 1};
    rows.op = {std::nullopt, 1};
    rows.unit = {0, std::nullopt};
    EXPECT_TRUE(test::build_timetable(rows));
}

TEST(TimeTable, OpsFollowTheOpDictionary) {
    auto tt = test::make_timetable({.time = {0, 0},
                                    .op = {3, std::nullopt},
                                    .quantity = {1, 1},
                                    .unit = {0, 0},
                                    .op_dict = {"+", ">", "<", "", "cond", std::nullopt, " +", "+ ", ">="},
                                    .unit_dict = {"USD"}});
    std::vector<std::string> texts;
    for (const Op& op : tt.ops()) texts.push_back(op.text());
    EXPECT_EQ(texts, (std::vector<std::string>{"+", ">", "<", "", "cond", "", " +", "+ ", ">="}));
    EXPECT_TRUE(tt.ops()[0].is_add());
    EXPECT_TRUE(tt.ops()[1].is_max());
    EXPECT_TRUE(tt.ops()[2].is_min());
    EXPECT_TRUE(std::holds_alternative<Op::NoOp>(tt.ops()[5].kind));
    for (std::size_t k : {3, 4, 6, 7, 8}) EXPECT_TRUE(tt.ops()[k].named()) << k;
    ASSERT_TRUE(tt.op_at(0).named());
    EXPECT_EQ(tt.op_at(0).named()->name, "");
    EXPECT_TRUE(std::holds_alternative<Op::NoOp>(tt.op_at(1).kind));
}

TEST(TimeTable, UnitsResolvePhraseOverSnapperOverTrackOverAsset) {
    Expressions ex;
    ex.snappers.emplace("snap", expr::Snapper{{"x", "y", "B"}, unused_phrase()});
    ex.phrases.emplace("A", unused_phrase());
    ex.phrases.emplace("ph", unused_phrase());
    ex.phrases.emplace("unused", unused_phrase());
    auto tt = test::make_timetable({.time = {0},
                                    .op = {0},
                                    .quantity = {1},
                                    .unit = {0},
                                    .track_dict = {"A", "B", "C"},
                                    .op_dict = {"+"},
                                    .unit_dict = {"USD", "C", std::nullopt, "A", "snap", "y", "ph", "B", "C", "x",
                                                  "c", "USD"}},
                                   std::move(ex));
    std::vector<std::string> descs;
    for (const Unit& u : tt.units()) descs.push_back(u.desc());
    EXPECT_EQ(descs, (std::vector<std::string>{"Asset(USD)", "Track(2)", "<none>", "Phrase(A)", "Snapper(snap)",
                                               "Snap(y)", "Phrase(ph)", "Snap(B)", "Asset(C)", "Snap(x)", "Asset(c)",
                                               "Asset(USD)"}));
}

TEST(TimeTable, SnapperAndPhraseLookups) {
    Expressions ex;
    ex.snappers.emplace("s", expr::Snapper{{"out"}, unused_phrase()});
    ex.phrases.emplace("p", unused_phrase());
    auto tt = test::make_timetable(two_rows(), std::move(ex));
    auto s = tt.snapper_by_name("s");
    ASSERT_TRUE(s);
    EXPECT_EQ((*s)->out, std::vector<std::string>{"out"});
    EXPECT_EQ(tt.snapper_by_name("p").error().text(), "Snapper 'p' not found");
    EXPECT_NE(tt.get_phrase("p"), nullptr);
    EXPECT_EQ(tt.get_phrase("s"), nullptr);
}

TEST(TimeTable, AccessorsReadRowsAndNulls) {
    Node root = test::event_struct({.time = {kJan2024, 77, 3},
                                    .track = {2, std::nullopt, 0},
                                    .op = {std::nullopt, 0, 1},
                                    .quantity = {1.5, kNaN, -3},
                                    .unit = {std::nullopt, 0, 1},
                                    .track_dict = {"A", "B", "C"},
                                    .op_dict = {"+", "cond"},
                                    .unit_dict = {"C", "EUR"}});
    root.children[kTime] = test::timestamp_column("time", {kJan2024, 77, 3}, {true, false, true});
    auto tt = test::build_timetable(root);
    ASSERT_TRUE(tt) << tt.error().text();
    ASSERT_EQ(tt->len(), 3u);

    EXPECT_EQ(tt->ts_at(1), 77);  // stored value under a null
    EXPECT_EQ(tt->ts_opt_at(1), std::nullopt);
    EXPECT_EQ(tt->ts_opt_at(2), 3);
    EXPECT_EQ(tt->quantity_at(0), 1.5);
    EXPECT_TRUE(std::isnan(tt->quantity_at(1)));

    EXPECT_EQ(tt->op_at(0).text(), "");
    EXPECT_TRUE(tt->op_at(1).is_add());
    EXPECT_EQ(tt->op_at(2).text(), "cond");

    EXPECT_EQ(tt->unit_key_at(0), std::nullopt);
    EXPECT_EQ(tt->unit_key_at(2), 1u);
    EXPECT_EQ(tt->unit_desc_at(0), "<none>");
    EXPECT_EQ(tt->unit_desc_at(1), "Track(2)");
    EXPECT_EQ(tt->unit_desc_at(2), "Asset(EUR)");
    EXPECT_EQ(tt->unit_by_key(0).desc(), "Track(2)");

    EXPECT_EQ(tt->track_key_at(0), 2u);
    EXPECT_EQ(tt->track_key_at(1).error().text(), "No track specified at event#1");
    EXPECT_EQ(tt->track_desc_at(1), "<none>");
    EXPECT_EQ(tt->track_desc_at(2), "Track(0)");
}

TEST(TimeTable, AccessorsHonourStructAndChildOffsets) {
    auto cols = test::event_columns(two_rows());
    cols[kTime] = test::with_offset(cols[kTime], 3);
    cols[kUnit].dictionary = std::make_shared<Node>(test::with_offset(*cols[kUnit].dictionary, 2));
    for (Node& c : cols) c = test::with_leading(c, 1);
    Node root = test::struct_node(cols);
    root.offset = 1;
    root.length = 2;
    auto tt = test::build_timetable(root);
    ASSERT_TRUE(tt) << tt.error().text();
    ASSERT_EQ(tt->len(), 2u);
    EXPECT_EQ(tt->ts_at(0), kJan2024);
    EXPECT_EQ(tt->quantity_at(1), -2.25);
    EXPECT_TRUE(tt->op_at(1).is_max());
    EXPECT_EQ(tt->track_key_at(1), 1u);
    EXPECT_EQ(tt->unit_desc_at(0), "Asset(USD)");
    EXPECT_EQ(tt->unit_desc_at(1), "Track(1)");
}

TEST(TimeTable, RowOutsideTheTableIsAnInternalError) {
    auto tt = test::make_timetable(two_rows());
    EXPECT_THROW(tt.ts_at(2), InternalError);
    EXPECT_THROW(tt.event_desc(5), InternalError);
}

TEST(TimeTable, HoldsTheArrowDataUntilReleased) {
    test::ArrowFixture f(test::event_struct(two_rows()));
    {
        auto batch = f.batch();
        ASSERT_TRUE(batch);
        auto events = timetable::Events::create(std::move(*batch));
        ASSERT_TRUE(events);
        auto tt = TimeTable::create(std::move(*events), {});
        ASSERT_TRUE(tt);
        EXPECT_EQ(f.log->array, 0);
        EXPECT_EQ(tt->quantity_at(0), 100);
    }
    EXPECT_EQ(f.log->schema, 1);
    EXPECT_EQ(f.log->array, 1);
}

TEST(TimeTable, EventDescription) {
    struct Case {
        std::int64_t time;
        double qty;
        const char* text;
    };
    const Case cases[] = {
        {kJan2024, 100,
         R"x(#0: track: "Track(0)", time: Single(2024-01-01T00:00:00Z), op: +, qty: 100, unit: "Asset(USD)")x"},
        {kJan2024 + 500, -2.25,
         R"x(#0: track: "Track(0)", time: Single(2024-01-01T00:00:00.500Z), op: +, qty: -2.25, unit: "Asset(USD)")x"},
        {-1, kNaN, R"x(#0: track: "Track(0)", time: Single(1969-12-31T23:59:59.999Z), op: +, qty: NaN, unit: "Asset(USD)")x"},
        {0, kInf, R"x(#0: track: "Track(0)", time: Single(1970-01-01T00:00:00Z), op: +, qty: inf, unit: "Asset(USD)")x"},
        {std::numeric_limits<std::int64_t>::max(), -kInf,
         R"x(#0: track: "Track(0)", time: None, op: +, qty: -inf, unit: "Asset(USD)")x"},
        {std::numeric_limits<std::int64_t>::min(), 1e-7,
         R"x(#0: track: "Track(0)", time: None, op: +, qty: 0.0000001, unit: "Asset(USD)")x"},
    };
    for (const Case& c : cases) {
        auto tt = test::make_timetable(
            {.time = {c.time}, .op = {0}, .quantity = {c.qty}, .unit = {0}, .op_dict = {"+"}, .unit_dict = {"USD"}});
        EXPECT_EQ(tt.event_desc(0), c.text);
    }

    auto big = test::make_timetable(
        {.time = {0}, .op = {0}, .quantity = {1e300}, .unit = {0}, .op_dict = {"+"}, .unit_dict = {"USD"}});
    EXPECT_NE(big.event_desc(0).find("qty: 1" + std::string(300, '0') + ", unit"), std::string::npos);

    // null track, named op, a unit name that needs escaping, row index
    auto tt = test::make_timetable({.time = {0, kJan2024},
                                    .track = {0, std::nullopt},
                                    .op = {0, 1},
                                    .quantity = {1, 0.5},
                                    .unit = {0, 1},
                                    .track_dict = {"T"},
                                    .op_dict = {"+", "cond"},
                                    .unit_dict = {"USD", "a\"b\\c\nd"}});
    EXPECT_EQ(tt.event_desc(1),
              R"x(#1: track: "<none>", time: Single(2024-01-01T00:00:00Z), op: cond, qty: 0.5, unit: "Asset(a\"b\\c\nd)")x");
    auto no_op = test::make_timetable({.time = {0},
                                       .op = {std::nullopt},
                                       .quantity = {1},
                                       .unit = {std::nullopt},
                                       .op_dict = {},
                                       .unit_dict = {}});
    EXPECT_EQ(no_op.event_desc(0),
              R"x(#0: track: "Track(0)", time: Single(1970-01-01T00:00:00Z), op: , qty: 1, unit: "<none>")x");
}

bool same_values(const ValueVec& a, const ValueVec& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](double x, double y) { return x == y || (std::isnan(x) && std::isnan(y)); });
}

TEST(Op, ParseAndText) {
    for (const char* t : {"+", ">", "<", "", "x", " +", "<="}) EXPECT_EQ(Op::parse(t).text(), t);
    EXPECT_TRUE(Op::parse("+").is_add());
    EXPECT_TRUE(Op::parse(">").is_max() && Op::parse(">").is_choice());
    EXPECT_TRUE(Op::parse("<").is_min() && Op::parse("<").is_choice());
    EXPECT_FALSE(Op::parse("+").is_choice());
    EXPECT_TRUE(Op::parse("+ ").named());
    EXPECT_EQ(Op{Op::NoOp{}}.text(), "");
}

TEST(Op, ApplyCombinesWithBroadcasting) {
    struct Case {
        const char* op;
        ValueVec target, operand, result;
    };
    const Case cases[] = {
        {"+", {1, 2}, {3, 4}, {4, 6}},
        {"+", {5}, {1, 2, 3}, {6, 7, 8}},
        {"+", {1, 2}, {3}, {4, 5}},
        {"+", {1, kNaN}, {kInf, 1}, {kInf, kNaN}},
        {"+", {}, {}, {}},
        {">", {1, kNaN, 3}, {2}, {2, 2, 3}},
        {">", {1, 5}, {4, 2}, {4, 5}},
        {">", {kNaN, 1, kNaN, 2}, {kNaN, kNaN, 3, 2}, {kNaN, 1, 3, 2}},
        {">", {-kInf}, {-5}, {-5}},
        {"<", {1, 5}, {4, 2}, {1, 2}},
        {"<", {1, kNaN, 3}, {2}, {1, 2, 2}},
        {"<", {kNaN, 1, kNaN}, {kNaN, kNaN, -3}, {kNaN, 1, -3}},
    };
    for (const Case& c : cases) {
        ValueVec target = c.target;
        auto ok = timetable::apply(Op::parse(c.op), target, c.operand);
        ASSERT_TRUE(ok) << ok.error().text();
        EXPECT_TRUE(same_values(target, c.result)) << c.op << " case " << (&c - cases);
    }
}

TEST(Op, ApplyRefusesLengthsAndNonCombiningOps) {
    struct Case {
        Op op;
        ValueVec target, operand;
        std::string message;
    };
    const Case cases[] = {
        {Op::parse("+"), {1, 2}, {1, 2, 3}, util::length_mismatch_text(2, 3)},
        {Op::parse(">"), {1}, {1, 2}, util::length_mismatch_text(1, 2)},
        {Op::parse("<"), {1, 2, 3}, {1, 2}, util::length_mismatch_text(3, 2)},
        {Op{Op::NoOp{}}, {1}, {1}, "Unknown Op ''"},
        {Op::parse("cond"), {1}, {1}, "Unknown Op 'cond'"},
    };
    for (const Case& c : cases) {
        ValueVec target = c.target;
        auto ok = timetable::apply(c.op, target, c.operand);
        ASSERT_FALSE(ok);
        EXPECT_EQ(ok.error().text(), c.message);
        EXPECT_EQ(target, c.target);
    }
    ValueVec t{1};
    EXPECT_TRUE(std::holds_alternative<TimeTableError::UnknownOp>(timetable::apply(Op{Op::NoOp{}}, t, t).error().kind));
}

}  // namespace
}  // namespace tamrix
