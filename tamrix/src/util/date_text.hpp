#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace tamrix::util {

// Epoch milliseconds as "YYYY-MM-DDTHH:MM:SS[.mmm]Z" (UTC); the fraction only
// when the milliseconds are not zero. Empty when outside the calendar range.
std::optional<std::string> date_text(std::int64_t epoch_ms);

}  // namespace tamrix::util
