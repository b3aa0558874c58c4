#pragma once
// Hand-made Arrow C data for tests: build a tree of Nodes, export it with
// ArrowFixture (which owns the structs until they are handed over), and read it
// back as a RecordBatch, Events or TimeTable.
//
//   auto tt = test::make_timetable({.time = {0, 1000},
//                                   .op = {0, 0},
//                                   .quantity = {1, 2},
//                                   .unit = {0, 0},
//                                   .op_dict = {"+"},
//                                   .unit_dict = {"USD"}});
#include <cstdint>
#include <cstring>
#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "arrow/c_abi.hpp"
#include "arrow/record_batch.hpp"
#include "expr/phrase.hpp"
#include "timetable/events.hpp"
#include "timetable/timetable.hpp"

namespace tamrix::test {

using Bytes = std::vector<std::uint8_t>;

// One array to export. A buffer of nullopt is exported as a null pointer.
struct Node {
    std::string format{};
    std::string name{};
    std::int64_t length = 0;
    std::int64_t null_count = 0;
    std::int64_t offset = 0;
    std::vector<std::optional<Bytes>> buffers{};
    std::vector<Node> children{};
    std::shared_ptr<Node> dictionary{};
};

template <class T>
Bytes raw_bytes(const std::vector<T>& values) {
    Bytes out(values.size() * sizeof(T));
    if (!values.empty()) std::memcpy(out.data(), values.data(), out.size());
    return out;
}

inline Bytes bitmap(const std::vector<bool>& valid) {
    Bytes out((valid.size() + 7) / 8, 0);
    for (std::size_t i = 0; i < valid.size(); ++i)
        if (valid[i]) out[i >> 3] |= static_cast<std::uint8_t>(1u << (i & 7));
    return out;
}

// An empty `valid` means no validity buffer.
inline std::optional<Bytes> validity_buffer(const std::vector<bool>& valid, std::int64_t& null_count) {
    null_count = 0;
    if (valid.empty()) return std::nullopt;
    for (bool v : valid) null_count += v ? 0 : 1;
    return bitmap(valid);
}

template <class T>
Node fixed_column(std::string format, std::string name, const std::vector<T>& values,
                  const std::vector<bool>& valid = {}) {
    if (!valid.empty() && valid.size() != values.size()) throw std::invalid_argument("validity length");
    Node n{std::move(format), std::move(name), static_cast<std::int64_t>(values.size())};
    n.buffers = {validity_buffer(valid, n.null_count), raw_bytes(values)};
    return n;
}

inline Node timestamp_column(std::string name, const std::vector<std::int64_t>& ms, const std::vector<bool>& valid = {},
                             std::string format = "tsm:") {
    return fixed_column(std::move(format), std::move(name), ms, valid);
}

inline Node float64_column(std::string name, const std::vector<double>& values, const std::vector<bool>& valid = {}) {
    return fixed_column("g", std::move(name), values, valid);
}

// Utf8 array (format "u"); nullopt entries are null.
inline Node utf8_array(const std::vector<std::optional<std::string>>& values, std::string name = "") {
    std::vector<std::int32_t> offsets{0};
    std::string data;
    std::vector<bool> valid;
    bool any_null = false;
    for (const auto& v : values) {
        if (v) data += *v;
        any_null |= !v.has_value();
        valid.push_back(v.has_value());
        offsets.push_back(static_cast<std::int32_t>(data.size()));
    }
    Node n{"u", std::move(name), static_cast<std::int64_t>(values.size())};
    n.buffers = {validity_buffer(any_null ? valid : std::vector<bool>{}, n.null_count), raw_bytes(offsets),
                 Bytes(data.begin(), data.end())};
    return n;
}

// Dictionary column with Int64 keys over a Utf8 dictionary. A null key is
// stored as -1, outside every dictionary, so only its validity bit hides it.
inline Node dict_column(std::string name, const std::vector<std::optional<std::int64_t>>& keys,
                        const std::vector<std::optional<std::string>>& dictionary) {
    std::vector<std::int64_t> stored;
    std::vector<bool> valid;
    bool any_null = false;
    for (const auto& k : keys) {
        stored.push_back(k.value_or(-1));
        valid.push_back(k.has_value());
        any_null |= !k.has_value();
    }
    Node n = fixed_column("l", std::move(name), stored, any_null ? valid : std::vector<bool>{});
    n.dictionary = std::make_shared<Node>(utf8_array(dictionary));
    return n;
}

inline Node struct_node(std::vector<Node> children, const std::vector<bool>& valid = {}) {
    Node n{"+s", ""};
    n.length = valid.empty() ? (children.empty() ? 0 : children[0].length) : static_cast<std::int64_t>(valid.size());
    n.buffers = {validity_buffer(valid, n.null_count)};
    n.children = std::move(children);
    return n;
}

namespace detail {

inline std::size_t value_width(const std::string& format) {
    if (format == "l" || format == "g" || format.rfind("ts", 0) == 0) return 8;
    if (format == "i") return 4;
    throw std::invalid_argument("no junk for format " + format);
}

// Puts k junk elements in front of the physical data: values 0x7f.., null bits.
inline void insert_junk(Node& n, std::int64_t k) {
    const auto uk = static_cast<std::size_t>(k);
    if (!n.buffers.empty() && n.buffers[0]) {
        const Bytes old = *n.buffers[0];
        std::vector<bool> bits(uk, false);
        for (std::int64_t j = 0; j < n.offset + n.length; ++j) bits.push_back((old[j >> 3] >> (j & 7)) & 1);
        n.buffers[0] = bitmap(bits);
    }
    if (n.format == "u") {
        Bytes& offs = *n.buffers[1];
        Bytes first(offs.begin(), offs.begin() + 4);
        for (std::size_t j = 0; j < uk; ++j) offs.insert(offs.begin(), first.begin(), first.end());
    } else {
        Bytes& values = *n.buffers[1];
        values.insert(values.begin(), uk * value_width(n.format), 0x7f);
    }
}

}  // namespace detail

// The same logical array, read from physical element k on (array offset k).
inline Node with_offset(Node n, std::int64_t k) {
    detail::insert_junk(n, k);
    n.offset += k;
    return n;
}

// k junk elements logically in front, for a struct whose offset skips them.
inline Node with_leading(Node n, std::int64_t k) {
    detail::insert_junk(n, k);
    n.length += k;
    if (!n.buffers.empty() && n.buffers[0] && n.null_count >= 0) n.null_count += k;
    return n;
}

// How often the base schema and array were released.
struct ReleaseLog {
    int schema = 0;
    int array = 0;
};

namespace detail {

// Children are kept apart from the exported pointer arrays, so tests may damage
// the exported fields and release still frees everything.
struct SchemaData {
    std::string format, name;
    std::vector<ArrowSchema*> owned, pointers;
    ArrowSchema* dictionary = nullptr;
    std::shared_ptr<ReleaseLog> log;
};

struct ArrayData {
    std::vector<Bytes> storage;
    std::vector<const void*> buffers;
    std::vector<ArrowArray*> owned, pointers;
    ArrowArray* dictionary = nullptr;
    std::shared_ptr<ReleaseLog> log;
};

inline void free_schema(ArrowSchema* s) {
    auto* d = static_cast<SchemaData*>(s->private_data);
    if (!d) return;
    for (ArrowSchema* c : d->owned) {
        free_schema(c);
        delete c;
    }
    if (d->dictionary) {
        free_schema(d->dictionary);
        delete d->dictionary;
    }
    delete d;
    s->private_data = nullptr;
    s->release = nullptr;
}

inline void free_array(ArrowArray* a) {
    auto* d = static_cast<ArrayData*>(a->private_data);
    if (!d) return;
    for (ArrowArray* c : d->owned) {
        free_array(c);
        delete c;
    }
    if (d->dictionary) {
        free_array(d->dictionary);
        delete d->dictionary;
    }
    delete d;
    a->private_data = nullptr;
    a->release = nullptr;
}

inline void release_base_schema(ArrowSchema* s) {
    if (auto* d = static_cast<SchemaData*>(s->private_data); d && d->log) ++d->log->schema;
    free_schema(s);
}

inline void release_base_array(ArrowArray* a) {
    if (auto* d = static_cast<ArrayData*>(a->private_data); d && d->log) ++d->log->array;
    free_array(a);
}

inline void export_node(const Node& n, ArrowSchema* s, ArrowArray* a, std::shared_ptr<ReleaseLog> log) {
    auto* sd = new SchemaData{n.format, n.name, {}, {}, nullptr, log};
    auto* ad = new ArrayData{};
    ad->log = log;
    // Buffers are allocated at their exact size so that a sanitizer sees any read past them.
    static const std::uint8_t empty_buffer = 0;
    ad->storage.reserve(n.buffers.size());
    for (const auto& b : n.buffers) {
        ad->storage.push_back(b.value_or(Bytes{}));
        const void* p = nullptr;
        if (b) p = ad->storage.back().empty() ? &empty_buffer : ad->storage.back().data();
        ad->buffers.push_back(p);
    }
    for (const Node& c : n.children) {
        auto* cs = new ArrowSchema{};
        auto* ca = new ArrowArray{};
        export_node(c, cs, ca, nullptr);
        sd->owned.push_back(cs);
        ad->owned.push_back(ca);
    }
    sd->pointers = sd->owned;
    ad->pointers = ad->owned;
    if (n.dictionary) {
        sd->dictionary = new ArrowSchema{};
        ad->dictionary = new ArrowArray{};
        export_node(*n.dictionary, sd->dictionary, ad->dictionary, nullptr);
    }
    const bool base = log != nullptr;
    *s = ArrowSchema{sd->format.c_str(),
                     sd->name.c_str(),
                     nullptr,
                     ARROW_FLAG_NULLABLE,
                     static_cast<std::int64_t>(n.children.size()),
                     sd->pointers.empty() ? nullptr : sd->pointers.data(),
                     sd->dictionary,
                     base ? release_base_schema : free_schema,
                     sd};
    *a = ArrowArray{n.length,
                    n.null_count,
                    n.offset,
                    static_cast<std::int64_t>(n.buffers.size()),
                    static_cast<std::int64_t>(n.children.size()),
                    ad->buffers.empty() ? nullptr : ad->buffers.data(),
                    ad->pointers.empty() ? nullptr : ad->pointers.data(),
                    ad->dictionary,
                    base ? release_base_array : free_array,
                    ad};
}

}  // namespace detail

// Owns an exported schema/array pair until take() hands it over. Tests may
// damage the public structs (and their children through child_schema/child_array)
// before handing them over; whatever is not released by the receiver is freed here.
class ArrowFixture {
public:
    explicit ArrowFixture(const Node& root) : log(std::make_shared<ReleaseLog>()) {
        detail::export_node(root, &schema, &array, log);
        saved_schema_ = schema;
        saved_array_ = array;
    }
    ArrowFixture(const ArrowFixture&) = delete;
    ArrowFixture& operator=(const ArrowFixture&) = delete;
    ~ArrowFixture() {
        if (!schema_handed_ && log->schema == 0) detail::free_schema(&saved_schema_);
        if (!array_handed_ && log->array == 0) detail::free_array(&saved_array_);
    }

    ArrowSchema& child_schema(std::size_t i) { return *static_cast<detail::SchemaData*>(saved_schema_.private_data)->owned.at(i); }
    ArrowArray& child_array(std::size_t i) { return *static_cast<detail::ArrayData*>(saved_array_.private_data)->owned.at(i); }

    // Hands the structs over as a consumer takes them; ours are then marked released.
    std::pair<ArrowSchema, ArrowArray> take() {
        std::pair<ArrowSchema, ArrowArray> out{schema, array};
        schema_handed_ = schema_handed_ || schema.release != nullptr;
        array_handed_ = array_handed_ || array.release != nullptr;
        schema.release = nullptr;
        array.release = nullptr;
        return out;
    }

    std::expected<arrow::RecordBatch, arrow::BatchError> batch() {
        auto [s, a] = take();
        return arrow::RecordBatch::from_struct(s, a);
    }

    ArrowSchema schema{};
    ArrowArray array{};
    std::shared_ptr<ReleaseLog> log;

private:
    ArrowSchema saved_schema_{};
    ArrowArray saved_array_{};
    bool schema_handed_ = false;
    bool array_handed_ = false;
};

// An event table by columns. `track` may be left empty: every row is then on
// track key 0, and an empty `track_dict` becomes {"track0"}.
struct EventRows {
    std::vector<std::int64_t> time{};
    std::vector<std::optional<std::int64_t>> track{};
    std::vector<std::optional<std::int64_t>> op{};
    std::vector<double> quantity{};
    std::vector<std::optional<std::int64_t>> unit{};
    std::vector<std::optional<std::string>> track_dict{};
    std::vector<std::optional<std::string>> op_dict{};
    std::vector<std::optional<std::string>> unit_dict{};
};

// The five columns in the order time, track, op, quantity, unit.
inline std::vector<Node> event_columns(const EventRows& r) {
    const std::size_t n = r.time.size();
    auto track = r.track;
    auto track_dict = r.track_dict;
    if (track.empty()) {
        track.assign(n, 0);
        if (track_dict.empty()) track_dict = {"track0"};
    }
    if (track.size() != n || r.op.size() != n || r.quantity.size() != n || r.unit.size() != n)
        throw std::invalid_argument("EventRows: columns of different lengths");
    return {timestamp_column("time", r.time), dict_column("track", track, track_dict), dict_column("op", r.op, r.op_dict),
            float64_column("quantity", r.quantity), dict_column("unit", r.unit, r.unit_dict)};
}

inline Node event_struct(const EventRows& r) { return struct_node(event_columns(r)); }

inline arrow::RecordBatch make_batch(const Node& root) {
    ArrowFixture f(root);
    auto batch = f.batch();
    if (!batch) throw std::runtime_error("test batch refused: " + batch.error().detail);
    return std::move(*batch);
}

inline std::expected<timetable::Events, timetable::TimeTableError> build_events(const Node& root) {
    return timetable::Events::create(make_batch(root));
}
inline std::expected<timetable::Events, timetable::TimeTableError> build_events(const EventRows& r) {
    return build_events(event_struct(r));
}

inline std::expected<timetable::TimeTable, timetable::TimeTableError> build_timetable(
    const Node& root, timetable::Expressions expressions = {}) {
    auto events = build_events(root);
    if (!events) return std::unexpected(events.error());
    return timetable::TimeTable::create(std::move(*events), std::move(expressions));
}
inline std::expected<timetable::TimeTable, timetable::TimeTableError> build_timetable(
    const EventRows& r, timetable::Expressions expressions = {}) {
    return build_timetable(event_struct(r), std::move(expressions));
}

// A timetable that must build; throws with the error text otherwise.
inline timetable::TimeTable make_timetable(const EventRows& r, timetable::Expressions expressions = {}) {
    auto tt = build_timetable(r, std::move(expressions));
    if (!tt) throw std::runtime_error("test timetable refused: " + tt.error().text());
    return std::move(*tt);
}

// A phrase backed by a C++ function.
class FnPhrase : public expr::EvalPhrase {
public:
    using Fn = std::function<std::expected<std::vector<util::ValueVec>, expr::ExprError>(std::vector<util::ValueVec>)>;
    FnPhrase(std::vector<std::string> inputs, Fn fn) : inputs_(std::move(inputs)), fn_(std::move(fn)) {}
    const std::vector<std::string>& iter_inp() const override { return inputs_; }
    std::expected<std::vector<util::ValueVec>, expr::ExprError> eval(std::vector<util::ValueVec> inputs) const override {
        return fn_(std::move(inputs));
    }

private:
    std::vector<std::string> inputs_;
    Fn fn_;
};

inline std::unique_ptr<expr::EvalPhrase> fn_phrase(std::vector<std::string> inputs, FnPhrase::Fn fn) {
    return std::make_unique<FnPhrase>(std::move(inputs), std::move(fn));
}

}  // namespace tamrix::test
