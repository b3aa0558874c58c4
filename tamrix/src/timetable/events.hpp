#pragma once
#include <expected>

#include "arrow/record_batch.hpp"
#include "arrow/views.hpp"
#include "timetable/error.hpp"

namespace tamrix::timetable {

// Read-only views of the five event columns of a record batch, which the
// Events keep alive.
struct Events {
    arrow::RecordBatch batch;
    arrow::Int64View time;
    arrow::DictView track;
    arrow::DictView op;
    arrow::Float64View quantity;
    arrow::DictView unit;

    // Finds and type-checks "time", "track", "op", "quantity", "unit" in this order.
    static std::expected<Events, TimeTableError> create(arrow::RecordBatch batch);
    std::int64_t len() const { return batch.num_rows(); }
};

// The first column of this name as a dictionary with Int64 keys (values not yet typed).
std::expected<arrow::DictView, TimeTableError> get_column(const arrow::RecordBatch& batch, std::string_view name);

}  // namespace tamrix::timetable
