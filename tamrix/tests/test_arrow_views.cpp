#include <gtest/gtest.h>

#include <functional>
#include <limits>

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

// LOST-TESTS-MARKER

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
