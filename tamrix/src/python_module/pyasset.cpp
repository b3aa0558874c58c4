#include "python_module/pyasset.hpp"

#include <cmath>

#include "python_module/pyref.hpp"
#include "python_module/pyutils.hpp"

namespace tamrix::python_module {

namespace {

std::expected<asset::AssetLogFwd, PyParseError> read_curve(PyObject* value, bool is_base) {
    if (!PyTuple_Check(value)) return std::unexpected(PyParseError::python("TypeError: " + cannot_convert(value, "PyTuple")));
    const auto index_error = [] { return std::unexpected(PyParseError::python("IndexError: tuple index out of range")); };
    if (PyTuple_GET_SIZE(value) < 1) return index_error();
    auto type = to_text(PyTuple_GET_ITEM(value, 0));
    if (!type) return std::unexpected(PyParseError::python(std::move(type.error())));
    if (PyTuple_GET_SIZE(value) < 2) return index_error();
    auto table = get_2col_array(PyTuple_GET_ITEM(value, 1));
    if (!table) return std::unexpected(PyParseError::python(std::move(table.error())));
    auto& [times, data] = *table;

    if (*type == "ZERO_RATES") {
        for (std::size_t i = 0; i < data.size(); ++i) data[i] *= times[i];
    } else if (*type == "FORWARDS") {
        for (double& f : data) f = std::log(f);
    } else {
        return std::unexpected(PyParseError::message("Unknown asset type " + *type));
    }
    auto curve = asset::AssetLogFwd::create(std::move(times), std::move(data), is_base);
    if (!curve) return std::unexpected(PyParseError{PyParseError::Asset{std::move(curve.error())}});
    return std::move(*curve);
}

}  // namespace

std::expected<asset::Assets, PyParseError> create_assets(PyObject* dataset) {
    auto base = get_str(dataset, "BASE");
    if (!base) return std::unexpected(std::move(base.error()));
    auto entries = get_dict(dataset, "ASSETS");
    if (!entries) return std::unexpected(std::move(entries.error()));

    asset::Assets assets;
    assets.base = std::move(*base);
    PyRef items = PyRef::steal(PyDict_Items(entries->get()));
    if (!items) return std::unexpected(PyParseError::python(take_error_text()));
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(items.get()); ++i) {
        PyObject* item = PyList_GET_ITEM(items.get(), i);
        auto name = to_text(PyTuple_GET_ITEM(item, 0));
        if (!name) return std::unexpected(PyParseError::python(std::move(name.error())));
        auto curve = read_curve(PyTuple_GET_ITEM(item, 1), *name == assets.base);
        if (!curve) return std::unexpected(std::move(curve.error()));
        assets.curves.insert_or_assign(std::move(*name), std::move(*curve));
    }
    return assets;
}

}  // namespace tamrix::python_module
