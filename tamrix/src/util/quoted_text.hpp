#pragma once
#include <string>
#include <string_view>

namespace tamrix::util {

// Double-quoted text with `"` and `\` escaped and control characters written
// as backslash escapes.
std::string quoted_text(std::string_view s);

}  // namespace tamrix::util
