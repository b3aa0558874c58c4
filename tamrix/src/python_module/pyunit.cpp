#include "python_module/pyunit.hpp"

#include "python_module/pyutils.hpp"

namespace tamrix::python_module {

std::expected<std::unique_ptr<PyPhrase>, PyParseError> create_phrase(PyObject* entry) {
    auto fn = get_any(entry, "fn");
    if (!fn) return std::unexpected(std::move(fn.error()));
    auto inp = get_typed<std::vector<std::string>>(entry, "inp");
    if (!inp) return std::unexpected(std::move(inp.error()));
    return std::make_unique<PyPhrase>(std::move(*inp), std::move(*fn));
}

namespace {

// Reads one entry of the expressions dictionary into `out`.
std::expected<void, PyParseError> read_expression(PyObject* key, PyObject* value, timetable::Expressions& out) {
    auto name = to_text(key);
    if (!name) return std::unexpected(PyParseError::python(std::move(name.error())));
    if (!PyDict_Check(value))
        return std::unexpected(PyParseError{PyParseError::WrongType{"n/a", cannot_convert(value, "PyDict")}});

    auto type = get_typed<std::string>(value, "type");
    if (!type) return std::unexpected(expr_err(*name, std::move(type.error())));

    if (*type == "phrase") {
        auto phrase = create_phrase(value);
        if (!phrase) return std::unexpected(expr_err(*name, std::move(phrase.error())));
        out.phrases[*name] = std::move(*phrase);
    } else if (*type == "snapper") {
        auto phrase = create_phrase(value);
        if (!phrase) return std::unexpected(expr_err(*name, std::move(phrase.error())));
        auto outs = get_typed<std::vector<std::string>>(value, "out");
        if (!outs) return std::unexpected(expr_err(*name, std::move(outs.error())));
        out.snappers[*name] = expr::Snapper{std::move(*outs), std::move(*phrase)};
    } else if (*type == "batch") {
        return std::unexpected(expr_err(*name, PyParseError::message("Batch is not supported in this package")));
    } else {
        return std::unexpected(expr_err(*name, PyParseError{PyParseError::InvalidValue{"type", *type}}));
    }
    return {};
}

}  // namespace

std::expected<timetable::TimeTable, PyTimeTableError> create_timetable(arrow::RecordBatch batch, PyObject* expressions) {
    auto events = timetable::Events::create(std::move(batch));
    if (!events) return std::unexpected(PyTimeTableError{PyTimeTableError::Table{std::move(events.error())}});

    timetable::Expressions exprs;
    // A snapshot of the items: reading an entry may run Python code.
    PyRef items = PyRef::steal(PyDict_Items(expressions));
    if (!items) return std::unexpected(PyTimeTableError{PyTimeTableError::Parse{PyParseError::python(take_error_text())}});
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(items.get()); ++i) {
        PyObject* item = PyList_GET_ITEM(items.get(), i);
        auto read = read_expression(PyTuple_GET_ITEM(item, 0), PyTuple_GET_ITEM(item, 1), exprs);
        if (!read) return std::unexpected(PyTimeTableError{PyTimeTableError::Parse{std::move(read.error())}});
    }

    auto tt = timetable::TimeTable::create(std::move(*events), std::move(exprs));
    if (!tt) return std::unexpected(PyTimeTableError{PyTimeTableError::Table{std::move(tt.error())}});
    return std::move(*tt);
}

}  // namespace tamrix::python_module
