#include "timetable/events.hpp"

namespace tamrix::timetable {

namespace {

TimeTableError column_error(std::string_view name, const arrow::ViewError& e) {
    const std::string col(name);
    if (e.kind == arrow::ViewFailure::WrongType)
        return TimeTableError::message("Couldn't convert column '" + col + "', likely incorrect type");
    return TimeTableError::message("Malformed column '" + col + "': " + e.detail);
}

template <class T>
std::expected<T, TimeTableError> typed_column(const arrow::RecordBatch& batch, std::string_view name,
                                              std::expected<T, arrow::ViewError> (*view)(const arrow::Column&)) {
    const arrow::Column* c = batch.column_by_name(name);
    if (!c) return std::unexpected(TimeTableError::message("Column '" + std::string(name) + "' not found"));
    auto v = view(*c);
    if (!v) return std::unexpected(column_error(name, v.error()));
    return std::move(*v);
}

}  // namespace

std::expected<arrow::DictView, TimeTableError> get_column(const arrow::RecordBatch& batch, std::string_view name) {
    return typed_column(batch, name, arrow::dict_int64_view);
}

std::expected<Events, TimeTableError> Events::create(arrow::RecordBatch batch) {
    auto time = typed_column(batch, "time", arrow::timestamp_ms_view);
    if (!time) return std::unexpected(time.error());
    auto track = get_column(batch, "track");
    if (!track) return std::unexpected(track.error());
    auto op = get_column(batch, "op");
    if (!op) return std::unexpected(op.error());
    auto quantity = typed_column(batch, "quantity", arrow::float64_view);
    if (!quantity) return std::unexpected(quantity.error());
    auto unit = get_column(batch, "unit");
    if (!unit) return std::unexpected(unit.error());
    return Events{std::move(batch), *time, *track, *op, *quantity, *unit};
}

}  // namespace tamrix::timetable
