#include "util/number_text.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>

namespace tamrix::util {

std::string number_text(double x) {
    if (std::isnan(x)) return "NaN";
    if (std::isinf(x)) return x < 0 ? "-inf" : "inf";

    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific);
    if (ec != std::errc{}) return "NaN";
    std::string sci(buf, end);

    std::string out;
    std::size_t pos = 0;
    if (sci[0] == '-') {
        out.push_back('-');
        pos = 1;
    }
    const std::size_t e_pos = sci.find('e');
    std::string digits;
    for (std::size_t i = pos; i < e_pos; ++i)
        if (sci[i] != '.') digits.push_back(sci[i]);
    const int exponent = std::atoi(sci.c_str() + e_pos + 1);

    // The value is 0.d1d2d3... x 10^(exponent + 1).
    const int int_digits = exponent + 1;
    if (int_digits <= 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-int_digits), '0');
        out += digits;
    } else if (static_cast<std::size_t>(int_digits) >= digits.size()) {
        out += digits;
        out.append(static_cast<std::size_t>(int_digits) - digits.size(), '0');
    } else {
        out.append(digits, 0, static_cast<std::size_t>(int_digits));
        out.push_back('.');
        out.append(digits, static_cast<std::size_t>(int_digits), std::string::npos);
    }
    return out;
}

}  // namespace tamrix::util
