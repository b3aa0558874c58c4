#include "python_module/pyerror.hpp"

#include "python_module/pyref.hpp"

namespace tamrix::python_module {

namespace {

std::string utf8_of(PyObject* s) {
    Py_ssize_t n = 0;
    const char* p = PyUnicode_AsUTF8AndSize(s, &n);
    if (!p) {
        PyErr_Clear();
        return {};
    }
    return std::string(p, static_cast<std::size_t>(n));
}

std::string attr_text(PyObject* obj, const char* attr) {
    PyRef v = PyRef::steal(PyObject_GetAttrString(obj, attr));
    if (!v || !PyUnicode_Check(v.get())) {
        PyErr_Clear();
        return "?";
    }
    return utf8_of(v.get());
}

}  // namespace

std::string take_error_text() {
    PyObject *type = nullptr, *value = nullptr, *tb = nullptr;
    PyErr_Fetch(&type, &value, &tb);
    PyErr_NormalizeException(&type, &value, &tb);
    PyRef t = PyRef::steal(type), v = PyRef::steal(value), b = PyRef::steal(tb);
    if (!t) return "<no exception>";
    std::string name = attr_text(t.get(), "__name__");
    PyRef s = v ? PyRef::steal(PyObject_Str(v.get())) : PyRef();
    if (!s || !PyUnicode_Check(s.get())) {
        PyErr_Clear();
        return name + ": <exception str() failed>";
    }
    Py_ssize_t n = 0;
    const char* p = PyUnicode_AsUTF8AndSize(s.get(), &n);
    if (!p) {
        PyErr_Clear();
        return name + ": <exception str() failed>";
    }
    return name + ": " + std::string(p, static_cast<std::size_t>(n));
}

std::string type_name_of(PyObject* obj) { return attr_text(reinterpret_cast<PyObject*>(Py_TYPE(obj)), "__qualname__"); }

std::string cannot_convert(PyObject* obj, const char* target) {
    return "'" + type_name_of(obj) + "' object cannot be converted to '" + target + "'";
}

std::string PyParseError::text() const {
    struct Render {
        std::string operator()(const Python& e) const { return e.text; }
        std::string operator()(const Asset& e) const {
            return "Error while parsing Asset, caused by \n" + e.inner.text();
        }
        std::string operator()(const Expression& e) const {
            return "Error while parsing expression '" + e.name + "', caused by \n" + e.cause->text();
        }
        std::string operator()(const InvalidValue& e) const {
            return "Invalid value '" + e.value + "' for key '" + e.key + "'";
        }
        std::string operator()(const MissingKey& e) const { return "Py Dictionary is missing key '" + e.key + "'"; }
        std::string operator()(const WrongType& e) const {
            return "Error in value of " + e.key + ", likely incorrect type. caused by \n" + e.detail;
        }
        std::string operator()(const Message& e) const { return e.text; }
    };
    return std::visit(Render{}, kind);
}

PyParseError expr_err(const std::string& name, PyParseError cause) {
    return {PyParseError::Expression{name, std::make_shared<const PyParseError>(std::move(cause))}};
}

std::string PyTimeTableError::text() const {
    const std::string inner = std::visit([](const auto& e) { return e.inner.text(); }, kind);
    return "Error while parsing Timetable, caused by \n" + inner;
}

std::string PyExecError::text() const {
    struct Render {
        std::string operator()(const Python& e) const { return e.text; }
        std::string operator()(const FoundValue& e) const {
            return "Error in found value, likely incorrect type: " + e.text;
        }
        std::string operator()(const Method& e) const {
            return "Error in Python method '" + e.name + "', caused by \n" + e.text;
        }
        std::string operator()(const Execution& e) const { return "Error in Python execution:\n" + e.text; }
    };
    return std::visit(Render{}, kind);
}

namespace {
PyObject* raise_runtime(const std::string& text) {
    PyRef msg = PyRef::steal(PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
    if (msg) PyErr_SetObject(PyExc_RuntimeError, msg.get());
    return nullptr;
}
}  // namespace

PyObject* raise_timetable_error(const PyTimeTableError& e) { return raise_runtime(e.text()); }
PyObject* raise_dataset_error(const PyParseError& e) {
    return raise_runtime("Error while parsing Dataset, caused by\n" + e.text());
}
PyObject* raise_model_error(const model::ModelError& e) {
    return raise_runtime("Error during model evaluation, caused by\n" + e.text());
}

}  // namespace tamrix::python_module
