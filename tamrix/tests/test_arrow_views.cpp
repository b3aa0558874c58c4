#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "arrow/record_batch.hpp"
#include "arrow/views.hpp"
#include "arrow_fixture.hpp"

namespace tamrix {
namespace {

using arrow::BatchFailure;
using arrow::ViewFailure;
using test::ArrowFixture;
using test::Node;

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

// Column indices of event_columns.
enum Col : std::size_t { kTime, kTrack, kOp, kQuantity, kUnit };

test::EventRows three_rows() {
    return {.time = {1000, 2000, 3000},
            .track = {0, 1, 0},
            .op = {0, 1, 0},
            .quantity = {1.5, 2.5, 3.5},
            .unit = {0, 1, 0},
            .track_dict = {"A", "B"},
            .op_dict = {"+", ">"},
            .unit_dict = {"USD", "B"}};
}

std::int32_t* offsets_of(ArrowArray& utf8) {
    return const_cast<std::int32_t*>(static_cast<const std::int32_t*>(utf8.buffers[1]));
}

TEST(RecordBatch, ColumnsAreTheStructChildrenByName) {
    std::vector<Node> cols = test::event_columns(three_rows());
    cols.push_back(test::float64_column("quantity", {9, 9, 9}));  // a later duplicate name
    ArrowFixture f(test::struct_node(cols));
    auto batch = f.batch();
    ASSERT_TRUE(batch) << batch.error().detail;
    EXPECT_EQ(batch->num_rows(), 3);
    ASSERT_EQ(batch->columns().size(), 6u);
    EXPECT_EQ(batch->columns()[kUnit].name, "unit");
    EXPECT_EQ(batch->column_by_name("quantity"), &batch->columns()[kQuantity]);
    EXPECT_EQ(batch->column_by_name("Quantity"), nullptr);
    EXPECT_EQ(batch->column_by_name("nope"), nullptr);
}

TEST(RecordBatch, ReleasesBothStructsOnceWhenTheLastCopyGoes) {
    ArrowFixture f(test::event_struct(three_rows()));
    {
        std::optional<arrow::RecordBatch> copy;
        {
            auto batch = f.batch();
            ASSERT_TRUE(batch);
            copy = *batch;
        }
        EXPECT_EQ(f.log->schema, 0);
        EXPECT_EQ(f.log->array, 0);
        EXPECT_EQ(arrow::float64_view(*copy->column_by_name("quantity"))->get(2), 3.5);
    }
    EXPECT_EQ(f.log->schema, 1);
    EXPECT_EQ(f.log->array, 1);
}

TEST(RecordBatch, RefusesAnArrayThatIsNotAStruct) {
    ArrowFixture f(test::float64_column("x", {1.0}));
    auto batch = f.batch();
    ASSERT_FALSE(batch);
    EXPECT_EQ(batch.error().kind, BatchFailure::NotStruct);
    EXPECT_EQ(f.log->schema, 1);
    EXPECT_EQ(f.log->array, 1);
}

TEST(RecordBatch, RefusesNullRowsInTheRowWindowOnly) {
    struct Case {
        const char* name;
        std::vector<bool> valid;
        std::int64_t offset, length, null_count;
        bool refused;
    };
    const Case cases[] = {
        {"counted null", {true, false, true}, 0, 3, 1, true},
        {"uncounted null", {true, false, true}, 0, 3, -1, true},
        {"uncounted, all valid", {true, true, true}, 0, 3, -1, false},
        {"null row before the offset", {false, true, true}, 1, 2, -1, false},
        {"null row after the window", {true, true, false}, 0, 2, -1, false},
        {"null row at the window's end", {true, true, false}, 1, 2, -1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Node root = test::struct_node(test::event_columns(three_rows()), c.valid);
        root.offset = c.offset;
        root.length = c.length;
        root.null_count = c.null_count;
        ArrowFixture f(root);
        auto batch = f.batch();
        EXPECT_EQ(!batch, c.refused);
        if (!batch) {
            EXPECT_EQ(batch.error().kind, BatchFailure::NullRows);
            EXPECT_EQ(batch.error().detail,
                      "Cannot convert nullable StructArray to RecordBatch, see StructArray documentation");
        }
    }
}

TEST(RecordBatch, RefusesContradictoryStructures) {
    struct Case {
        const char* name;
        std::function<void(ArrowFixture&)> damage;
    };
    const Case cases[] = {
        {"released schema", [](ArrowFixture& f) { f.schema.release = nullptr; }},
        {"released array", [](ArrowFixture& f) { f.array.release = nullptr; }},
        {"null format", [](ArrowFixture& f) { f.schema.format = nullptr; }},
        {"child counts differ", [](ArrowFixture& f) { f.array.n_children = 4; }},
        {"negative child count", [](ArrowFixture& f) { f.schema.n_children = f.array.n_children = -1; }},
        {"null schema children", [](ArrowFixture& f) { f.schema.children = nullptr; }},
        {"null array children", [](ArrowFixture& f) { f.array.children = nullptr; }},
        {"null child array", [](ArrowFixture& f) { f.array.children[2] = nullptr; }},
        {"null child schema", [](ArrowFixture& f) { f.schema.children[4] = nullptr; }},
        {"released child array", [](ArrowFixture& f) { f.child_array(1).release = nullptr; }},
        {"released child schema", [](ArrowFixture& f) { f.child_schema(1).release = nullptr; }},
        {"child without name", [](ArrowFixture& f) { f.child_schema(0).name = nullptr; }},
        {"child without format", [](ArrowFixture& f) { f.child_schema(0).format = nullptr; }},
        {"negative length", [](ArrowFixture& f) { f.array.length = -1; }},
        {"negative offset", [](ArrowFixture& f) { f.array.offset = -1; }},
        {"offset plus length overflows", [](ArrowFixture& f) { f.array.offset = kMax; }},
        {"null count above length", [](ArrowFixture& f) { f.array.null_count = 4; }},
        {"null count below -1", [](ArrowFixture& f) { f.array.null_count = -2; }},
        {"null count without validity", [](ArrowFixture& f) { f.array.null_count = 1; }},
        {"no buffers", [](ArrowFixture& f) { f.array.n_buffers = 0; }},
        {"null buffers pointer", [](ArrowFixture& f) { f.array.buffers = nullptr; }},
        {"child negative length", [](ArrowFixture& f) { f.child_array(3).length = -1; }},
        {"child negative offset", [](ArrowFixture& f) { f.child_array(3).offset = -1; }},
        {"child offset plus length overflows",
         [](ArrowFixture& f) { f.child_array(3).offset = kMax - 1; }},
        {"child null count above length", [](ArrowFixture& f) { f.child_array(3).null_count = 4; }},
        {"child shorter than the rows", [](ArrowFixture& f) { f.child_array(0).length = 2; }},
        // elements offset..offset+length-1 exist, row 2 reads element offset+2
        {"child offset eats into the rows",
         [](ArrowFixture& f) {
             f.child_array(0).offset = 1;
             f.child_array(0).length = 2;
         }},
        {"struct offset pushes rows past a child",
         [](ArrowFixture& f) {
             f.array.offset = 1;
         }},
        {"child negative buffer count", [](ArrowFixture& f) { f.child_array(3).n_buffers = -1; }},
        {"child null buffers pointer", [](ArrowFixture& f) { f.child_array(3).buffers = nullptr; }},
        {"child negative child count", [](ArrowFixture& f) { f.child_array(3).n_children = -1; }},
        {"child null children pointer", [](ArrowFixture& f) { f.child_array(3).n_children = 1; }},
        {"child schema null children pointer", [](ArrowFixture& f) { f.child_schema(3).n_children = 1; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ArrowFixture f(test::event_struct(three_rows()));
        c.damage(f);
        const bool schema_live = f.schema.release != nullptr;
        const bool array_live = f.array.release != nullptr;
        auto batch = f.batch();
        ASSERT_FALSE(batch) << "accepted";
        EXPECT_EQ(batch.error().kind, BatchFailure::Malformed);
        EXPECT_FALSE(batch.error().detail.empty());
        // Whatever was handed over live is released exactly once.
        EXPECT_EQ(f.log->schema, schema_live ? 1 : 0);
        EXPECT_EQ(f.log->array, array_live ? 1 : 0);
    }
}

TEST(Views, AcceptOnlyTheirOwnFormats) {
    enum class View { Timestamp, Float64, DictKeys, DictStrings };
    auto with_dict = [](Node keys, Node dict) {
        keys.dictionary = std::make_shared<Node>(std::move(dict));
        return keys;
    };
    auto timestamps = [](std::string format) { return test::timestamp_column("c", {5, 7}, {}, std::move(format)); };
    const Node int64s = test::fixed_column<std::int64_t>("l", "c", {1, 0});
    const Node doubles = test::float64_column("c", {5, 7});
    const Node floats = test::fixed_column<float>("f", "c", {5, 7});
    const Node strings = test::utf8_array({"a", "b"});
    Node large_strings{"U", "", 2};
    large_strings.buffers = {std::nullopt, test::raw_bytes(std::vector<std::int64_t>{0, 1, 2}), test::Bytes{'a', 'b'}};

    struct Case {
        const char* format;
        View view;
        Node column;
        bool accepted;
    };
    const Case cases[] = {
        {"tsm:", View::Timestamp, timestamps("tsm:"), true},
        {"tsm:UTC", View::Timestamp, timestamps("tsm:UTC"), true},
        {"tsm:Europe/Paris", View::Timestamp, timestamps("tsm:Europe/Paris"), true},
        {"tss:", View::Timestamp, timestamps("tss:"), false},
        {"tsu:", View::Timestamp, timestamps("tsu:"), false},
        {"tsn:", View::Timestamp, timestamps("tsn:"), false},
        {"l", View::Timestamp, int64s, false},
        {"g", View::Timestamp, doubles, false},
        {"g", View::Float64, doubles, true},
        {"f", View::Float64, floats, false},
        {"l", View::Float64, int64s, false},
        {"l keys", View::DictKeys, with_dict(int64s, strings), true},
        {"i keys", View::DictKeys, with_dict(test::fixed_column<std::int32_t>("i", "c", {1, 0}), strings), false},
        {"l without dictionary", View::DictKeys, int64s, false},
        {"u values", View::DictStrings, with_dict(int64s, strings), true},
        {"U values", View::DictStrings, with_dict(int64s, large_strings), false},
        {"f values", View::DictStrings, with_dict(int64s, floats), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.format) + " as view " + std::to_string(static_cast<int>(c.view)));
        const arrow::RecordBatch batch = test::make_batch(test::struct_node({c.column}));
        const arrow::Column& col = batch.columns()[0];
        // The failure kind, or nullopt after row 0 was read as built.
        std::optional<ViewFailure> failure;
        switch (c.view) {
            case View::Timestamp:
                if (auto v = arrow::timestamp_ms_view(col)) EXPECT_EQ(v->get(0), 5);
                else failure = v.error().kind;
                break;
            case View::Float64:
                if (auto v = arrow::float64_view(col)) EXPECT_EQ(v->get(0), 5.0);
                else failure = v.error().kind;
                break;
            case View::DictKeys:
                if (auto v = arrow::dict_int64_view(col)) EXPECT_EQ(v->keys.get(0), 1);
                else failure = v.error().kind;
                break;
            case View::DictStrings: {
                auto keys = arrow::dict_int64_view(col);
                ASSERT_TRUE(keys);
                if (auto v = arrow::utf8_dictionary(*keys)) EXPECT_EQ(v->get(1), "b");
                else failure = v.error().kind;
                break;
            }
        }
        EXPECT_EQ(failure, c.accepted ? std::nullopt : std::optional(ViewFailure::WrongType));
    }
}

TEST(Views, ReadRowsThroughOffsetsAndValidityBitmaps) {
    // Eleven rows, so that every bitmap spans two bytes; nulls in every column.
    const std::vector<std::optional<std::int64_t>> time = {10, std::nullopt, 30, 40, 50, 60, 70, std::nullopt,
                                                           std::nullopt, 100, 110};
    const std::vector<std::optional<double>> quantity = {std::nullopt, 1.5, 2.5, 3.5, 4.5, 5.5, 6.5, 7.5,
                                                         std::nullopt, 9.5, std::nullopt};
    const std::vector<std::optional<std::int64_t>> keys = {0, 1, std::nullopt, 2, 3, 4, 0, 2, 4, std::nullopt, 1};
    const std::vector<std::optional<std::string>> dict = {"USD", std::nullopt, "EUR", "", "JPY"};
    const auto rows = static_cast<std::int64_t>(time.size());

    auto split = [](const auto& column) {
        std::vector<typename std::decay_t<decltype(column)>::value_type::value_type> values;
        std::vector<bool> valid;
        for (const auto& v : column) {
            values.push_back(v.value_or(0));
            valid.push_back(v.has_value());
        }
        return std::pair{values, valid};
    };
    const auto [time_values, time_valid] = split(time);
    const auto [quantity_values, quantity_valid] = split(quantity);

    struct Case {
        const char* name;
        std::int64_t struct_offset;
        std::int64_t column_offset[3];  // time, quantity, unit keys
        std::int64_t dict_offset;
    };
    const Case cases[] = {
        {"no offsets", 0, {0, 0, 0}, 0},
        {"struct offset", 3, {0, 0, 0}, 0},
        {"column offsets", 0, {1, 5, 9}, 0},
        {"dictionary offset", 0, {0, 0, 0}, 3},
        {"all offsets", 5, {2, 7, 3}, 6},
        {"all offsets in whole bytes", 8, {8, 16, 8}, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Node unit = test::dict_column("unit", keys, dict);
        unit.dictionary = std::make_shared<Node>(test::with_offset(*unit.dictionary, c.dict_offset));
        std::vector<Node> cols = {test::timestamp_column("time", time_values, time_valid),
                                  test::float64_column("quantity", quantity_values, quantity_valid), unit};
        for (std::size_t i = 0; i < cols.size(); ++i)
            cols[i] = test::with_leading(test::with_offset(cols[i], c.column_offset[i]), c.struct_offset);
        Node root = test::struct_node(cols);
        root.offset = c.struct_offset;
        root.length = rows;

        ArrowFixture f(root);
        auto batch = f.batch();
        ASSERT_TRUE(batch) << batch.error().detail;
        ASSERT_EQ(batch->num_rows(), rows);
        auto t = arrow::timestamp_ms_view(batch->columns()[0]);
        auto q = arrow::float64_view(batch->columns()[1]);
        auto k = arrow::dict_int64_view(batch->columns()[2]);
        ASSERT_TRUE(t && q && k);
        auto s = arrow::utf8_dictionary(*k);
        ASSERT_TRUE(s);
        for (std::int64_t r = 0; r < rows; ++r) {
            const auto i = static_cast<std::size_t>(r);
            EXPECT_EQ(t->get(r), time[i]) << "row " << r;
            EXPECT_EQ(q->get(r), quantity[i]) << "row " << r;
            EXPECT_EQ(k->keys.get(r), keys[i]) << "row " << r;
        }
        ASSERT_EQ(s->length, static_cast<std::int64_t>(dict.size()));
        for (std::size_t j = 0; j < dict.size(); ++j)
            EXPECT_EQ(s->get(static_cast<std::int64_t>(j)), dict[j]) << "entry " << j;
    }
}

TEST(Views, RefuseBuffersThatDoNotFitTheFormat) {
    using Damage = std::function<void(ArrowFixture&)>;
    auto dict = [](ArrowFixture& f) -> ArrowArray& { return *f.child_array(kUnit).dictionary; };
    struct Case {
        const char* name;
        std::size_t column;
        Damage damage;
    };
    const Case cases[] = {
        {"time with three buffers", kTime, [](ArrowFixture& f) { f.child_array(kTime).n_buffers = 3; }},
        {"time with one buffer", kTime, [](ArrowFixture& f) { f.child_array(kTime).n_buffers = 1; }},
        {"time without values", kTime, [](ArrowFixture& f) { f.child_array(kTime).buffers[1] = nullptr; }},
        {"time nulls without validity", kTime, [](ArrowFixture& f) { f.child_array(kTime).null_count = 2; }},
        {"quantity without values", kQuantity,
         [](ArrowFixture& f) { f.child_array(kQuantity).buffers[1] = nullptr; }},
        {"quantity with three buffers", kQuantity, [](ArrowFixture& f) { f.child_array(kQuantity).n_buffers = 3; }},
        {"keys without values", kUnit, [](ArrowFixture& f) { f.child_array(kUnit).buffers[1] = nullptr; }},
        {"keys nulls without validity", kUnit, [](ArrowFixture& f) { f.child_array(kUnit).null_count = 1; }},
        {"released dictionary array", kUnit, [=](ArrowFixture& f) { dict(f).release = nullptr; }},
        {"released dictionary schema", kUnit,
         [](ArrowFixture& f) { f.child_schema(kUnit).dictionary->release = nullptr; }},
        {"dictionary without format", kUnit,
         [](ArrowFixture& f) { f.child_schema(kUnit).dictionary->format = nullptr; }},
        {"dictionary negative length", kUnit, [=](ArrowFixture& f) { dict(f).length = -1; }},
        {"dictionary negative offset", kUnit, [=](ArrowFixture& f) { dict(f).offset = -1; }},
        {"dictionary offset overflows", kUnit, [=](ArrowFixture& f) { dict(f).offset = kMax; }},
        {"dictionary null count above length", kUnit, [=](ArrowFixture& f) { dict(f).null_count = 3; }},
        {"dictionary negative buffer count", kUnit, [=](ArrowFixture& f) { dict(f).n_buffers = -1; }},
        {"dictionary null buffers pointer", kUnit, [=](ArrowFixture& f) { dict(f).buffers = nullptr; }},
        {"dictionary null children pointer", kUnit, [=](ArrowFixture& f) { dict(f).n_children = 2; }},
        // the following pass the dictionary view and fail the string view
        {"strings with two buffers", kUnit, [=](ArrowFixture& f) { dict(f).n_buffers = 2; }},
        {"strings without offsets", kUnit, [=](ArrowFixture& f) { dict(f).buffers[1] = nullptr; }},
        {"strings without data", kUnit, [=](ArrowFixture& f) { dict(f).buffers[2] = nullptr; }},
        {"strings nulls without validity", kUnit, [=](ArrowFixture& f) { dict(f).null_count = 1; }},
        {"negative first offset", kUnit, [=](ArrowFixture& f) { offsets_of(dict(f))[0] = -1; }},
        {"decreasing middle offset", kUnit, [=](ArrowFixture& f) { offsets_of(dict(f))[1] = 5; }},
        {"decreasing last offset", kUnit, [=](ArrowFixture& f) { offsets_of(dict(f))[2] = 2; }},
        {"decreasing after the offset", kUnit,
         [=](ArrowFixture& f) {
             dict(f).offset = 1;
             dict(f).length = 1;
             offsets_of(dict(f))[2] = 0;
         }},
    };
    // Intake checks the layout of every column the engine reads, so each
    // damaged buffer is refused before a view is ever taken.
    const char* names[] = {"time", "track", "op", "quantity", "unit"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ArrowFixture f(test::event_struct(three_rows()));
        c.damage(f);
        auto batch = f.batch();
        ASSERT_FALSE(batch) << "accepted";
        EXPECT_EQ(batch.error().kind, arrow::BatchFailure::Malformed);
        const std::string prefix = std::string("column '") + names[c.column] + "': ";
        EXPECT_EQ(batch.error().detail.rfind(prefix, 0), 0u) << batch.error().detail;
        EXPECT_GT(batch.error().detail.size(), prefix.size());
    }
}

TEST(Views, AcceptMissingBuffersThatHoldNothing) {
    // Zero rows: no values buffers; an empty dictionary without offsets.
    std::vector<Node> cols = test::event_columns({});
    for (std::size_t i : {kTime, kTrack, kQuantity}) cols[i].buffers[1] = std::nullopt;
    cols[kUnit].dictionary->buffers[1] = std::nullopt;
    const arrow::RecordBatch empty = test::make_batch(test::struct_node(cols));
    EXPECT_TRUE(arrow::timestamp_ms_view(empty.columns()[kTime]));
    EXPECT_TRUE(arrow::float64_view(empty.columns()[kQuantity]));
    auto keys = arrow::dict_int64_view(empty.columns()[kTrack]);
    ASSERT_TRUE(keys);
    EXPECT_TRUE(arrow::utf8_dictionary(*keys));
    auto unit = arrow::dict_int64_view(empty.columns()[kUnit]);
    ASSERT_TRUE(unit);
    auto strings = arrow::utf8_dictionary(*unit);
    ASSERT_TRUE(strings);
    EXPECT_EQ(strings->length, 0);

    // An unknown null count without a bitmap means no nulls; all-empty strings need no data.
    ArrowFixture f(test::event_struct({.time = {1}, .op = {0}, .quantity = {1}, .unit = {1}, .op_dict = {"+"},
                                       .unit_dict = {"", ""}}));
    f.child_array(kTime).null_count = -1;
    f.child_array(kUnit).dictionary->buffers[2] = nullptr;
    auto batch = f.batch();
    ASSERT_TRUE(batch);
    auto t = arrow::timestamp_ms_view(batch->columns()[kTime]);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->get(0), 1);
    auto u = arrow::utf8_dictionary(*arrow::dict_int64_view(batch->columns()[kUnit]));
    ASSERT_TRUE(u);
    EXPECT_EQ(u->get(1), "");
}

}  // namespace
}  // namespace tamrix
