#include "arrow/views.hpp"

#include <cstring>
#include <limits>

namespace tamrix::arrow {

namespace {

std::unexpected<ViewError> wrong_type() { return std::unexpected(ViewError{ViewFailure::WrongType, {}}); }
std::unexpected<ViewError> malformed(std::string detail) {
    return std::unexpected(ViewError{ViewFailure::Malformed, std::move(detail)});
}

std::expected<void, ViewError> check_buffer_count(const ArrowArray& a, std::int64_t n) {
    if (a.n_buffers != n)
        return malformed("expected " + std::to_string(n) + " buffers, found " + std::to_string(a.n_buffers));
    if (!a.buffers) return malformed("null buffers pointer");
    return {};
}

// The validity bitmap of an array whose element `offset` is row 0.
std::expected<Bitmap, ViewError> validity(const ArrowArray& a, std::int64_t offset) {
    const auto* bits = static_cast<const std::uint8_t*>(a.buffers[0]);
    if (!bits && a.null_count > 0)
        return malformed("null count " + std::to_string(a.null_count) + " without a validity buffer");
    return Bitmap{bits, offset};
}

template <class T>
std::expected<PrimitiveView<T>, ViewError> primitive_view(const Column& c) {
    const ArrowArray& a = *c.array;
    if (auto ok = check_buffer_count(a, 2); !ok) return std::unexpected(ok.error());
    auto bitmap = validity(a, c.offset);
    if (!bitmap) return std::unexpected(bitmap.error());
    const auto* values = static_cast<const T*>(a.buffers[1]);
    if (!values && c.length > 0) return malformed("null values buffer");
    return PrimitiveView<T>{values ? values + c.offset : nullptr, *bitmap, c.length};
}

// The generic fields of a dictionary, which the batch does not check.
std::expected<void, ViewError> check_dictionary(const ArrowSchema& s, const ArrowArray& a) {
    if (!s.release || !a.release) return malformed("released dictionary");
    if (!s.format) return malformed("dictionary without format");
    if (a.length < 0 || a.offset < 0 || a.length > std::numeric_limits<std::int64_t>::max() - a.offset)
        return malformed("dictionary length " + std::to_string(a.length) + " and offset " +
                         std::to_string(a.offset) + " do not fit");
    if (a.null_count < -1 || a.null_count > a.length)
        return malformed("dictionary null count " + std::to_string(a.null_count) + " does not fit length " +
                         std::to_string(a.length));
    if (a.n_buffers < 0 || (a.n_buffers > 0 && !a.buffers)) return malformed("bad dictionary buffers");
    if (a.n_children < 0 || (a.n_children > 0 && !a.children)) return malformed("bad dictionary children");
    return {};
}

}  // namespace

std::expected<Int64View, ViewError> timestamp_ms_view(const Column& c) {
    if (std::strncmp(c.schema->format, "tsm:", 4) != 0) return wrong_type();
    return primitive_view<std::int64_t>(c);
}

std::expected<Float64View, ViewError> float64_view(const Column& c) {
    if (std::strcmp(c.schema->format, "g") != 0) return wrong_type();
    return primitive_view<double>(c);
}

std::expected<DictView, ViewError> dict_int64_view(const Column& c) {
    if (std::strcmp(c.schema->format, "l") != 0 || !c.schema->dictionary || !c.array->dictionary) return wrong_type();
    if (auto ok = check_dictionary(*c.schema->dictionary, *c.array->dictionary); !ok)
        return std::unexpected(ok.error());
    auto keys = primitive_view<std::int64_t>(c);
    if (!keys) return std::unexpected(keys.error());
    return DictView{*keys, c.schema->dictionary, c.array->dictionary, c.array->dictionary->length};
}

std::expected<Utf8View, ViewError> utf8_dictionary(const DictView& d) {
    if (std::strcmp(d.dict_schema->format, "u") != 0) return wrong_type();
    const ArrowArray& a = *d.dict_array;
    if (auto ok = check_buffer_count(a, 3); !ok) return std::unexpected(ok.error());
    auto bitmap = validity(a, a.offset);
    if (!bitmap) return std::unexpected(bitmap.error());

    const auto* offsets_buf = static_cast<const std::int32_t*>(a.buffers[1]);
    if (!offsets_buf) {
        if (a.length > 0) return malformed("null offsets buffer");
        return Utf8View{nullptr, nullptr, *bitmap, 0};
    }
    const std::int32_t* offsets = offsets_buf + a.offset;
    if (offsets[0] < 0) return malformed("negative string offset " + std::to_string(offsets[0]) + " at entry 0");
    for (std::int64_t j = 1; j <= a.length; ++j)
        if (offsets[j] < offsets[j - 1])
            return malformed("string offset " + std::to_string(offsets[j]) + " at entry " + std::to_string(j) +
                             " is below the one before (" + std::to_string(offsets[j - 1]) + ")");
    const auto* data = static_cast<const char*>(a.buffers[2]);
    if (!data && offsets[a.length] > 0) return malformed("null string data buffer");
    return Utf8View{offsets, data, *bitmap, a.length};
}

std::expected<void, std::string> check_known_layout(const Column& c) {
    // A view that fits the format either succeeds or reports Malformed; the
    // others report WrongType.
    auto malformed = [](const ViewError& e) { return e.kind == ViewFailure::Malformed; };
    if (auto t = timestamp_ms_view(c); !t && malformed(t.error())) return std::unexpected(t.error().detail);
    if (auto f = float64_view(c); !f && malformed(f.error())) return std::unexpected(f.error().detail);
    auto d = dict_int64_view(c);
    if (!d) {
        if (malformed(d.error())) return std::unexpected(d.error().detail);
        return {};
    }
    if (auto u = utf8_dictionary(*d); !u && malformed(u.error())) return std::unexpected(u.error().detail);
    return {};
}

}  // namespace tamrix::arrow
