#include "arrow/record_batch.hpp"
#include "arrow/views.hpp"

#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string>

namespace tamrix::arrow {

ImportedArray::ImportedArray(ArrowSchema schema, ArrowArray array) : schema_(schema), array_(array) {}

ImportedArray::~ImportedArray() {
    if (array_.release) array_.release(&array_);
    if (schema_.release) schema_.release(&schema_);
}

namespace {

std::unexpected<BatchError> malformed(std::string detail) {
    return std::unexpected(BatchError{BatchFailure::Malformed, std::move(detail)});
}

// Length, offset and null count of an array, and that offset + length fits.
std::optional<std::string> check_extent(const ArrowArray& a) {
    if (a.length < 0) return "negative length " + std::to_string(a.length);
    if (a.offset < 0) return "negative offset " + std::to_string(a.offset);
    if (a.length > std::numeric_limits<std::int64_t>::max() - a.offset)
        return "offset " + std::to_string(a.offset) + " plus length " + std::to_string(a.length) + " overflows";
    if (a.null_count < -1 || a.null_count > a.length)
        return "null count " + std::to_string(a.null_count) + " does not fit length " + std::to_string(a.length);
    return std::nullopt;
}

// A zero bit among bits [from, from + n).
bool any_zero_bit(const std::uint8_t* bits, std::int64_t from, std::int64_t n) {
    for (std::int64_t k = from; k < from + n; ++k)
        if (!((bits[k >> 3] >> (k & 7)) & 1)) return true;
    return false;
}

std::expected<void, BatchError> check_struct(const ArrowSchema& schema, const ArrowArray& array) {
    if (!schema.release) return malformed("the schema has been released");
    if (!array.release) return malformed("the array has been released");
    if (!schema.format) return malformed("the schema has no format");
    if (std::strcmp(schema.format, "+s") != 0)
        return std::unexpected(BatchError{BatchFailure::NotStruct, "Expected Struct type from __arrow_c_array."});
    if (schema.n_children < 0) return malformed("negative number of schema children");
    if (array.n_children != schema.n_children)
        return malformed("the schema has " + std::to_string(schema.n_children) + " children but the array has " +
                         std::to_string(array.n_children));
    if (schema.n_children > 0 && (!schema.children || !array.children))
        return malformed("null children pointer");
    if (auto e = check_extent(array)) return malformed("struct array: " + *e);
    if (array.n_buffers < 1 || !array.buffers) return malformed("struct array without a validity buffer slot");

    const auto* validity = static_cast<const std::uint8_t*>(array.buffers[0]);
    if (!validity && array.null_count > 0)
        return malformed("struct array: null count " + std::to_string(array.null_count) +
                         " without a validity buffer");
    if (validity && (array.null_count > 0 || (array.null_count == -1 &&
                                               any_zero_bit(validity, array.offset, array.length))))
        return std::unexpected(BatchError{
            BatchFailure::NullRows,
            "Cannot convert nullable StructArray to RecordBatch, see StructArray documentation"});

    for (std::int64_t i = 0; i < schema.n_children; ++i) {
        const ArrowSchema* cs = schema.children[i];
        const ArrowArray* ca = array.children[i];
        const std::string at = "column " + std::to_string(i);
        if (!cs || !ca) return malformed(at + ": null child");
        if (!cs->release || !ca->release) return malformed(at + ": released child");
        if (!cs->name) return malformed(at + ": no name");
        if (!cs->format) return malformed(at + ": no format");
        if (cs->n_children < 0 || (cs->n_children > 0 && !cs->children))
            return malformed(at + ": bad schema children");
        if (auto e = check_extent(*ca)) return malformed(at + ": " + *e);
        // Row r of the batch is element struct.offset + r of the child.
        if (ca->length < array.offset + array.length)
            return malformed(at + ": length " + std::to_string(ca->length) + " does not cover rows " +
                             std::to_string(array.offset) + ".." + std::to_string(array.offset + array.length));
        if (ca->n_buffers < 0 || (ca->n_buffers > 0 && !ca->buffers)) return malformed(at + ": bad buffers");
        if (ca->n_children < 0 || (ca->n_children > 0 && !ca->children))
            return malformed(at + ": bad array children");
    }
    return {};
}

}  // namespace

std::expected<RecordBatch, BatchError> RecordBatch::from_struct(ArrowSchema schema, ArrowArray array) {
    // Owned from here on, whatever the outcome.
    auto owner = std::make_shared<ImportedArray>(schema, array);
    const ArrowSchema& s = owner->schema();
    const ArrowArray& a = owner->array();
    if (auto ok = check_struct(s, a); !ok) return std::unexpected(std::move(ok.error()));

    RecordBatch batch;
    batch.num_rows_ = a.length;
    batch.columns_.reserve(static_cast<std::size_t>(s.n_children));
    for (std::int64_t i = 0; i < s.n_children; ++i)
        batch.columns_.push_back(
            Column{s.children[i]->name, s.children[i], a.children[i], a.offset + a.children[i]->offset, a.length});
    for (const Column& c : batch.columns_)
        if (auto ok = check_known_layout(c); !ok)
            return std::unexpected(BatchError{BatchFailure::Malformed, "column '" + c.name + "': " + ok.error()});
    batch.owner_ = std::move(owner);
    return batch;
}

const Column* RecordBatch::column_by_name(std::string_view name) const {
    for (const Column& c : columns_)
        if (c.name == name) return &c;
    return nullptr;
}

}  // namespace tamrix::arrow
