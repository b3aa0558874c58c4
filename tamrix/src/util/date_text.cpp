#include "util/date_text.hpp"

#include <chrono>
#include <cstdio>

namespace tamrix::util {

std::optional<std::string> date_text(std::int64_t epoch_ms) {
    using namespace std::chrono;
    // Floor division keeps times before 1970 on the right second.
    std::int64_t secs = epoch_ms / 1000;
    std::int64_t millis = epoch_ms % 1000;
    if (millis < 0) {
        millis += 1000;
        secs -= 1;
    }
    std::int64_t day_count = secs / 86400;
    std::int64_t sec_of_day = secs % 86400;
    if (sec_of_day < 0) {
        sec_of_day += 86400;
        day_count -= 1;
    }
    // year_month_day covers years -32767..32767.
    constexpr std::int64_t max_days = 11'248'737;
    if (day_count > max_days || day_count < -12'687'428) return std::nullopt;
    const year_month_day ymd{sys_days{days{day_count}}};
    if (!ymd.ok()) return std::nullopt;

    const int y = static_cast<int>(ymd.year());
    char year_buf[16];
    if (y >= 0 && y <= 9999)
        std::snprintf(year_buf, sizeof year_buf, "%04d", y);
    else
        std::snprintf(year_buf, sizeof year_buf, "%+05d", y);

    char buf[64];
    std::snprintf(buf, sizeof buf, "%s-%02u-%02uT%02d:%02d:%02d", year_buf,
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                  static_cast<int>(sec_of_day / 3600), static_cast<int>(sec_of_day / 60 % 60),
                  static_cast<int>(sec_of_day % 60));
    std::string out = buf;
    if (millis != 0) {
        char frac[8];
        std::snprintf(frac, sizeof frac, ".%03d", static_cast<int>(millis));
        out += frac;
    }
    out += 'Z';
    return out;
}

}  // namespace tamrix::util
