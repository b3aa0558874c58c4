#pragma once
#include <memory>
#include <string>
#include <vector>

#include "expr/phrase.hpp"

namespace tamrix::expr {

// A phrase whose outputs are remembered under the names of `out`.
struct Snapper {
    std::vector<std::string> out;
    std::unique_ptr<EvalPhrase> phrase;
};

}  // namespace tamrix::expr
