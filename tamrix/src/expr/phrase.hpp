#pragma once
#include <expected>
#include <string>
#include <vector>

#include "expr/error.hpp"
#include "util/values.hpp"

namespace tamrix::expr {

// A phrase: a function of named value vectors giving a list of value vectors.
class EvalPhrase {
public:
    virtual ~EvalPhrase() = default;
    virtual const std::vector<std::string>& iter_inp() const = 0;
    // One input per name of iter_inp(), in order; the inputs are consumed.
    virtual std::expected<std::vector<util::ValueVec>, ExprError> eval(std::vector<util::ValueVec> inputs) const = 0;
};

}  // namespace tamrix::expr
