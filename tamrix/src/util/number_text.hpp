#pragma once
#include <string>

namespace tamrix::util {

// Shortest decimal text that reads back to the same double, laid out without
// an exponent: 2 -> "2", 0.5 -> "0.5", 1e-7 -> "0.0000001", NaN -> "NaN".
std::string number_text(double x);

}  // namespace tamrix::util
