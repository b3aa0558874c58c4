#pragma once
#include <cstdint>
#include <expected>
#include <memory>
#include <string>
#include <vector>

#include "arrow/c_abi.hpp"

namespace tamrix::arrow {

// An imported schema/array pair. Releases both (if still live) on destruction.
class ImportedArray {
public:
    ImportedArray(ArrowSchema schema, ArrowArray array);
    ImportedArray(const ImportedArray&) = delete;
    ImportedArray& operator=(const ImportedArray&) = delete;
    ~ImportedArray();
    const ArrowSchema& schema() const { return schema_; }
    const ArrowArray& array() const { return array_; }

private:
    ArrowSchema schema_;
    ArrowArray array_;
};

enum class BatchFailure {
    NotStruct,  // the array is not of struct type
    NullRows,   // the struct array has null rows
    Malformed,  // the C structures contradict themselves
};

struct BatchError {
    BatchFailure kind;
    std::string detail;
};

// One column of a record batch: the child of the struct. `offset` is the
// element offset of row 0 (struct offset + child offset).
struct Column {
    std::string name;
    const ArrowSchema* schema;
    const ArrowArray* array;
    std::int64_t offset;
    std::int64_t length = 0;  // rows of the batch
};

// The struct array of an __arrow_c_array__ export seen as a record batch.
// Construction checks the struct itself and the generic fields of every child
// (lengths, offsets, buffer and child pointers) so that the typed views can
// rely on them; the typed layouts are checked by the views (arrow/views.hpp).
class RecordBatch {
public:
    static std::expected<RecordBatch, BatchError> from_struct(ArrowSchema schema, ArrowArray array);

    std::int64_t num_rows() const { return num_rows_; }
    const std::vector<Column>& columns() const { return columns_; }
    // First column with this exact name, or nullptr.
    const Column* column_by_name(std::string_view name) const;

private:
    std::shared_ptr<ImportedArray> owner_;
    std::int64_t num_rows_ = 0;
    std::vector<Column> columns_;
};

}  // namespace tamrix::arrow
