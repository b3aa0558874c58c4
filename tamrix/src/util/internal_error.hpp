#pragma once
#include <stdexcept>
#include <string>

namespace tamrix {

// A violated invariant of the engine itself (never bad user input). The module
// boundary turns it into _tamrix.InternalError.
struct InternalError : std::logic_error {
    explicit InternalError(const std::string& what) : std::logic_error(what) {}
};

}  // namespace tamrix
