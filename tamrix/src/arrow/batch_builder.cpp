#include "arrow/batch_builder.hpp"

#include <cerrno>
#include <memory>

#include "util/internal_error.hpp"

namespace tamrix::arrow {

namespace {

// ---- schema -------------------------------------------------------------

struct SchemaHolder {
    ArrowSchema child_index{};
    ArrowSchema child_value{};
    ArrowSchema* children[2] = {&child_index, &child_value};
};

void release_leaf_schema(ArrowSchema* s) { s->release = nullptr; }

void release_struct_schema(ArrowSchema* s) {
    auto* h = static_cast<SchemaHolder*>(s->private_data);
    for (ArrowSchema* c : h->children)
        if (c->release) c->release(c);
    delete h;
    s->release = nullptr;
}

ArrowSchema leaf_schema(const char* format, const char* name) {
    ArrowSchema s{};
    s.format = format;
    s.name = name;
    s.release = release_leaf_schema;
    return s;
}

void export_schema(ArrowSchema* out) {
    auto h = std::make_unique<SchemaHolder>();
    h->child_index = leaf_schema("L", "index");
    h->child_value = leaf_schema("g", "value");
    *out = ArrowSchema{};
    out->format = "+s";
    out->name = "";
    out->n_children = 2;
    out->children = h->children;
    out->release = release_struct_schema;
    out->private_data = h.release();
}

// ---- arrays -------------------------------------------------------------

template <class T>
struct LeafHolder {
    std::vector<T> data;
    const void* buffers[2] = {nullptr, nullptr};
};

template <class T>
void release_leaf_array(ArrowArray* a) {
    delete static_cast<LeafHolder<T>*>(a->private_data);
    a->release = nullptr;
}

template <class T>
ArrowArray leaf_array(std::vector<T> data) {
    auto h = std::make_unique<LeafHolder<T>>();
    h->data = std::move(data);
    h->buffers[1] = h->data.data();
    ArrowArray a{};
    a.length = static_cast<std::int64_t>(h->data.size());
    a.n_buffers = 2;
    a.buffers = h->buffers;
    a.release = release_leaf_array<T>;
    a.private_data = h.release();
    return a;
}

struct StructHolder {
    ArrowArray child_index{};
    ArrowArray child_value{};
    ArrowArray* children[2] = {&child_index, &child_value};
    const void* buffers[1] = {nullptr};
};

void release_struct_array(ArrowArray* a) {
    auto* h = static_cast<StructHolder*>(a->private_data);
    for (ArrowArray* c : h->children)
        if (c->release) c->release(c);
    delete h;
    a->release = nullptr;
}

ArrowArray struct_array(std::vector<std::uint64_t> index, std::vector<double> value) {
    if (index.size() != value.size()) throw InternalError("cashflow columns of different lengths");
    auto h = std::make_unique<StructHolder>();
    const auto n = static_cast<std::int64_t>(index.size());
    h->child_index = leaf_array(std::move(index));
    h->child_value = leaf_array(std::move(value));
    ArrowArray a{};
    a.length = n;
    a.n_buffers = 1;
    a.buffers = h->buffers;
    a.n_children = 2;
    a.children = h->children;
    a.release = release_struct_array;
    a.private_data = h.release();
    return a;
}

// ---- stream -------------------------------------------------------------

struct StreamHolder {
    ArrowArray pending{};  // moved out by the first get_next
};

// Called from the consumer's C code: nothing may be thrown across it.
int stream_get_schema(ArrowArrayStream*, ArrowSchema* out) noexcept {
    try {
        export_schema(out);
        return 0;
    } catch (...) {
        return ENOMEM;
    }
}

int stream_get_next(ArrowArrayStream* s, ArrowArray* out) noexcept {
    auto* h = static_cast<StreamHolder*>(s->private_data);
    *out = h->pending;  // a released struct marks the end of the stream
    h->pending.release = nullptr;
    return 0;
}

const char* stream_last_error(ArrowArrayStream*) noexcept { return nullptr; }

void stream_release(ArrowArrayStream* s) noexcept {
    auto* h = static_cast<StreamHolder*>(s->private_data);
    if (h->pending.release) h->pending.release(&h->pending);
    delete h;
    s->release = nullptr;
}

}  // namespace

ArrowArrayStream cashflow_stream(std::vector<std::uint64_t> index, std::vector<double> value) {
    auto h = std::make_unique<StreamHolder>();
    h->pending = struct_array(std::move(index), std::move(value));
    ArrowArrayStream s{};
    s.get_schema = stream_get_schema;
    s.get_next = stream_get_next;
    s.get_last_error = stream_last_error;
    s.release = stream_release;
    s.private_data = h.release();
    return s;
}

}  // namespace tamrix::arrow
