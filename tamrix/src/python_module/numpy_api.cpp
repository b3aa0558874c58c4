#define TAMRIX_NUMPY_API_OWNER
#include "python_module/numpy_api.hpp"

#include <cstring>
#include <memory>

namespace tamrix::python_module {

bool import_numpy() {
    import_array1(false);
    return true;
}

namespace {

template <class T>
void free_holder(PyObject* capsule) {
    delete static_cast<std::vector<T>*>(PyCapsule_GetPointer(capsule, "tamrix.values"));
}

template <class T>
PyRef adopt(std::vector<T>&& v, int typenum) {
    npy_intp dims[1] = {static_cast<npy_intp>(v.size())};
    if (v.empty()) return PyRef::steal(PyArray_SimpleNew(1, dims, typenum));

    auto holder = std::make_unique<std::vector<T>>(std::move(v));
    PyRef array = PyRef::steal(PyArray_SimpleNewFromData(1, dims, typenum, holder->data()));
    if (!array) return {};
    PyRef capsule = PyRef::steal(PyCapsule_New(holder.get(), "tamrix.values", free_holder<T>));
    if (!capsule) return {};  // the array is dropped before the holder
    holder.release();
    // SetBaseObject steals the capsule reference, also on failure.
    if (PyArray_SetBaseObject(reinterpret_cast<PyArrayObject*>(array.get()), capsule.release()) < 0) return {};
    return array;
}

}  // namespace

PyRef adopt_as_array(std::vector<double>&& v) { return adopt(std::move(v), NPY_FLOAT64); }
PyRef adopt_as_array(std::vector<std::uint64_t>&& v) { return adopt(std::move(v), NPY_UINT64); }

std::optional<std::vector<double>> copy_float64_1d(PyObject* obj) {
    if (!PyArray_Check(obj)) return std::nullopt;
    auto* arr = reinterpret_cast<PyArrayObject*>(obj);
    if (PyArray_NDIM(arr) != 1 || !PyArray_EquivTypenums(PyArray_TYPE(arr), NPY_FLOAT64) ||
        !PyArray_ISNOTSWAPPED(arr))
        return std::nullopt;
    const npy_intp n = PyArray_DIM(arr, 0);
    const npy_intp stride = PyArray_STRIDE(arr, 0);
    const char* base = static_cast<const char*>(PyArray_DATA(arr));
    if (stride == sizeof(double) && PyArray_ISALIGNED(arr)) {
        const auto* first = reinterpret_cast<const double*>(base);
        return std::vector<double>(first, first + n);
    }
    std::vector<double> out(static_cast<std::size_t>(n));
    for (npy_intp i = 0; i < n; ++i) std::memcpy(&out[i], base + i * stride, sizeof(double));
    return out;
}

std::optional<std::vector<double>> copy_bool_1d(PyObject* obj) {
    if (!PyArray_Check(obj)) return std::nullopt;
    auto* arr = reinterpret_cast<PyArrayObject*>(obj);
    if (PyArray_NDIM(arr) != 1 || PyArray_TYPE(arr) != NPY_BOOL) return std::nullopt;
    const npy_intp n = PyArray_DIM(arr, 0), stride = PyArray_STRIDE(arr, 0);
    const char* base = static_cast<const char*>(PyArray_DATA(arr));
    std::vector<double> out(static_cast<std::size_t>(n));
    for (npy_intp i = 0; i < n; ++i) out[i] = base[i * stride] != 0 ? 1.0 : 0.0;
    return out;
}

}  // namespace tamrix::python_module
