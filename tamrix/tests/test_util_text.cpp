#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>

#include "util/date_text.hpp"
#include "util/number_text.hpp"
#include "util/quoted_text.hpp"

namespace tamrix::util {
namespace {

TEST(NumberText, ShortestDigitsWithoutExponent) {
    struct Case {
        double x;
        std::string text;
    };
    const Case cases[] = {
        {1.0, "1"},
        {100.0, "100"},
        {0.5, "0.5"},
        {-2.25, "-2.25"},
        {0.0, "0"},
        {-0.0, "-0"},
        {0.1, "0.1"},
        {0.1 + 0.2, "0.30000000000000004"},
        {123456.789, "123456.789"},
        {1e-7, "0.0000001"},
        {-1.5e-10, "-0.00000000015"},
        {1e21, "1000000000000000000000"},
        {1e300, "1" + std::string(300, '0')},
        {1.7976931348623157e308, "17976931348623157" + std::string(292, '0')},
        {5e-324, "0." + std::string(323, '0') + "5"},
        {std::numeric_limits<double>::quiet_NaN(), "NaN"},
        {std::numeric_limits<double>::infinity(), "inf"},
        {-std::numeric_limits<double>::infinity(), "-inf"},
    };
    for (const Case& c : cases) EXPECT_EQ(number_text(c.x), c.text);
}

TEST(NumberText, ReadsBackToTheSameValue) {
    for (double x : {1.0 / 3, 2.0 / 3 * 1e-200, 6.02214076e23, -9007199254740993.0, 4.9406564584124654e-324,
                     2.2250738585072014e-308, 0.1 * 3, 1e22, 1e23, 123e-20}) {
        const std::string t = number_text(x);
        EXPECT_EQ(t.find_first_of("eE"), std::string::npos) << t;
        EXPECT_EQ(std::strtod(t.c_str(), nullptr), x) << t;
    }
}

TEST(DateText, UtcCalendarWithOptionalMilliseconds) {
    constexpr std::int64_t day = 86'400'000;
    struct Case {
        std::int64_t ms;
        std::optional<std::string> text;
    };
    const Case cases[] = {
        {0, "1970-01-01T00:00:00Z"},
        {1, "1970-01-01T00:00:00.001Z"},
        {-1, "1969-12-31T23:59:59.999Z"},
        {-1000, "1969-12-31T23:59:59Z"},
        {1'704'067'200'000, "2024-01-01T00:00:00Z"},
        {1'704'067'200'500, "2024-01-01T00:00:00.500Z"},
        {951'782'400'000 + 3'723'040, "2000-02-29T01:02:03.040Z"},
        {253'402'300'799'999, "9999-12-31T23:59:59.999Z"},
        {253'402'300'800'000, "+10000-01-01T00:00:00Z"},
        {-62'167'219'200'000, "0000-01-01T00:00:00Z"},
        {-62'167'219'200'001, "-0001-12-31T23:59:59.999Z"},
        {11'248'738 * day - 1, "+32767-12-31T23:59:59.999Z"},
        {11'248'738 * day, std::nullopt},
        {-12'687'428 * day, "-32767-01-01T00:00:00Z"},
        {-12'687'428 * day - 1, std::nullopt},
        {std::numeric_limits<std::int64_t>::max(), std::nullopt},
        {std::numeric_limits<std::int64_t>::min(), std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(date_text(c.ms), c.text) << c.ms;
}

TEST(QuotedText, EscapesQuotesBackslashesAndControls) {
    struct Case {
        std::string in, out;
    };
    const Case cases[] = {
        {"", R"x("")x"},
        {"Track(0)", R"x("Track(0)")x"},
        {"a\"b", R"x("a\"b")x"},
        {"a\\b", R"x("a\\b")x"},
        {"\n\r\t", R"x("\n\r\t")x"},
        {std::string("x\0y", 3), R"x("x\0y")x"},
        {"\x01\x1b\x7f", R"x("\u{1}\u{1b}\u{7f}")x"},
        {"caf\xc3\xa9 'q'", "\"caf\xc3\xa9 'q'\""},
    };
    for (const Case& c : cases) EXPECT_EQ(quoted_text(c.in), c.out);
}

}  // namespace
}  // namespace tamrix::util
