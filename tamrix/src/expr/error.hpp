#pragma once
#include <string>

namespace tamrix::expr {

// A failed phrase evaluation; the message is the text of the underlying failure.
struct ExprError {
    std::string message;
    std::string text() const { return "Error in Phrase Evaluation, caused by \n" + message; }
};

}  // namespace tamrix::expr
