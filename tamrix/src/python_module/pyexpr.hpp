#pragma once
#include <Python.h>

#include <expected>
#include <string>
#include <vector>

#include "expr/phrase.hpp"
#include "python_module/pyerror.hpp"
#include "python_module/pyref.hpp"

namespace tamrix::python_module {

// A Python function of a list of float64 arrays returning a list of floats or arrays.
class PyPhrase final : public expr::EvalPhrase {
public:
    PyPhrase(std::vector<std::string> inp, PyRef fn) : inp_(std::move(inp)), fn_(std::move(fn)) {}
    const std::vector<std::string>& iter_inp() const override { return inp_; }
    std::expected<std::vector<util::ValueVec>, expr::ExprError> eval(std::vector<util::ValueVec> inputs) const override;

private:
    std::vector<std::string> inp_;
    PyRef fn_;
};

// A float64 or bool 1-D array, or anything float() accepts (one entry).
std::expected<util::ValueVec, PyExecError> to_array1(PyObject* item);

}  // namespace tamrix::python_module
