#pragma once
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "arrow/record_batch.hpp"

namespace tamrix::arrow {

// Validity bitmap positioned at row 0; a null bitmap means every row is valid.
struct Bitmap {
    const std::uint8_t* bits = nullptr;
    std::int64_t offset = 0;
    bool valid(std::int64_t i) const {
        if (!bits) return true;
        const std::int64_t k = offset + i;
        return (bits[k >> 3] >> (k & 7)) & 1;
    }
};

// Fixed-width column; values[i] is row i.
template <class T>
struct PrimitiveView {
    const T* values = nullptr;
    Bitmap validity;
    std::int64_t length = 0;
    std::optional<T> get(std::int64_t i) const {
        if (!validity.valid(i)) return std::nullopt;
        return values[i];
    }
};
using Int64View = PrimitiveView<std::int64_t>;
using Float64View = PrimitiveView<double>;

// Utf8 (32-bit offsets) column; offsets already checked non-negative and non-decreasing.
struct Utf8View {
    const std::int32_t* offsets = nullptr;  // positioned at row 0, length + 1 entries
    const char* data = nullptr;
    Bitmap validity;
    std::int64_t length = 0;
    std::optional<std::string_view> get(std::int64_t i) const {
        if (!validity.valid(i)) return std::nullopt;
        return std::string_view(data + offsets[i], static_cast<std::size_t>(offsets[i + 1] - offsets[i]));
    }
};

// Dictionary column with Int64 keys; the dictionary's values are typed later.
struct DictView {
    Int64View keys;
    const ArrowSchema* dict_schema = nullptr;
    const ArrowArray* dict_array = nullptr;
    std::int64_t dict_length = 0;
};

enum class ViewFailure { WrongType, Malformed };
struct ViewError {
    ViewFailure kind;
    std::string detail;  // for Malformed: what is wrong
};

// Typed views of a column. WrongType: the format is another type; Malformed:
// the format fits but the buffers do not.
std::expected<Int64View, ViewError> timestamp_ms_view(const Column& c);  // "tsm:" with any zone
std::expected<Float64View, ViewError> float64_view(const Column& c);     // "g"
std::expected<DictView, ViewError> dict_int64_view(const Column& c);     // "l" keys with a dictionary
std::expected<Utf8View, ViewError> utf8_dictionary(const DictView& d);   // dictionary values "u"

// Checks the buffers of a column whose format is one the engine reads
// (millisecond timestamps, float64, Int64-keyed dictionaries and their Utf8
// values); other formats pass unchecked, since they are never read.
std::expected<void, std::string> check_known_layout(const Column& c);

}  // namespace tamrix::arrow
