#include "python_module/pybatch.hpp"

#include <cstring>
#include <string>

#include "python_module/pyerror.hpp"
#include "python_module/pyref.hpp"

namespace tamrix::python_module {

namespace {

// pyarrow's ArrowInvalid (a ValueError) when pyarrow is importable, else ValueError.
void raise_malformed(const std::string& detail) {
    PyRef lib = PyRef::steal(PyImport_ImportModule("pyarrow.lib"));
    PyRef type = lib ? PyRef::steal(PyObject_GetAttrString(lib.get(), "ArrowInvalid")) : PyRef();
    if (!type) PyErr_Clear();
    PyErr_SetString(type ? type.get() : PyExc_ValueError, detail.c_str());
}

// The struct behind a capsule, checked by name; the capsule keeps its memory.
void* capsule_pointer(PyObject* cap, const char* expected) {
    if (!PyCapsule_CheckExact(cap)) {
        PyErr_SetString(PyExc_TypeError, cannot_convert(cap, "PyCapsule").c_str());
        return nullptr;
    }
    const char* name = PyCapsule_GetName(cap);
    if (!name) {
        if (!PyErr_Occurred()) PyErr_SetString(PyExc_ValueError, "Expected schema PyCapsule to have name set.");
        return nullptr;
    }
    if (std::strcmp(name, expected) != 0) {
        PyErr_Format(PyExc_ValueError, "Expected name '%s' in PyCapsule, instead got '%s'", expected, name);
        return nullptr;
    }
    return PyCapsule_GetPointer(cap, name);
}

std::optional<arrow::RecordBatch> from_structs(ArrowSchema schema, ArrowArray array) {
    auto batch = arrow::RecordBatch::from_struct(schema, array);
    if (batch) return std::move(*batch);
    switch (batch.error().kind) {
        case arrow::BatchFailure::NotStruct:
            PyErr_SetString(PyExc_TypeError, "Expected Struct type from __arrow_c_array.");
            break;
        case arrow::BatchFailure::NullRows:
            PyErr_SetString(PyExc_ValueError,
                            "Cannot convert nullable StructArray to RecordBatch, see StructArray documentation");
            break;
        case arrow::BatchFailure::Malformed:
            raise_malformed("Invalid Arrow C data: " + batch.error().detail);
            break;
    }
    return std::nullopt;
}

std::optional<arrow::RecordBatch> from_capsules(PyObject* method) {
    PyRef result = PyRef::steal(PyObject_CallNoArgs(method));
    if (!result) return std::nullopt;
    if (!PyTuple_Check(result.get())) {
        PyErr_SetString(PyExc_TypeError, "Expected __arrow_c_array__ to return a tuple.");
        return std::nullopt;
    }
    if (PyTuple_GET_SIZE(result.get()) != 2) {
        PyErr_SetString(PyExc_TypeError, "Expected __arrow_c_array__ to return a tuple of two capsules.");
        return std::nullopt;
    }
    auto* schema = static_cast<ArrowSchema*>(capsule_pointer(PyTuple_GET_ITEM(result.get(), 0), "arrow_schema"));
    if (!schema) return std::nullopt;
    auto* array = static_cast<ArrowArray*>(capsule_pointer(PyTuple_GET_ITEM(result.get(), 1), "arrow_array"));
    if (!array) return std::nullopt;

    // Move the structs out: a struct whose release is null is not released again
    // by the capsule's destructor.
    ArrowSchema s = *schema;
    ArrowArray a = *array;
    schema->release = nullptr;
    array->release = nullptr;
    return from_structs(s, a);
}

std::string module_and_name(PyObject* obj) {
    PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(obj));
    PyRef mod = PyRef::steal(PyObject_GetAttrString(type, "__module__"));
    const char* m = mod && PyUnicode_Check(mod.get()) ? PyUnicode_AsUTF8(mod.get()) : nullptr;
    if (!m) PyErr_Clear();
    return std::string(m ? m : "builtins") + "." + type_name_of(obj);
}

}  // namespace

std::optional<arrow::RecordBatch> import_record_batch(PyObject* obj) {
    PyRef method = PyRef::steal(PyObject_GetAttrString(obj, "__arrow_c_array__"));
    if (method) return from_capsules(method.get());
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return std::nullopt;
    PyErr_Clear();

    PyRef lib = PyRef::steal(PyImport_ImportModule("pyarrow.lib"));
    PyRef cls = lib ? PyRef::steal(PyObject_GetAttrString(lib.get(), "RecordBatch")) : PyRef();
    if (!cls) PyErr_Clear();
    const int is_batch = cls ? PyObject_IsInstance(obj, cls.get()) : 0;
    if (is_batch < 0) return std::nullopt;
    if (is_batch == 0) {
        const std::string msg = "Expected instance of pyarrow.lib.RecordBatch, got " + module_and_name(obj);
        PyErr_SetString(PyExc_TypeError, msg.c_str());
        return std::nullopt;
    }

    ArrowSchema schema{};
    ArrowArray array{};
    PyRef done = PyRef::steal(PyObject_CallMethod(obj, "_export_to_c", "KK",
                                                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(&array)),
                                                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(&schema))));
    if (!done) {
        if (schema.release) schema.release(&schema);
        if (array.release) array.release(&array);
        return std::nullopt;
    }
    return from_structs(schema, array);
}

}  // namespace tamrix::python_module
