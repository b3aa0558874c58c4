#pragma once
#include <expected>
#include <string>
#include <variant>

#include "timetable/error.hpp"
#include "util/values.hpp"

namespace tamrix::timetable {

// The parsed operation of an op dictionary entry.
struct Op {
    struct Add {};
    struct Max {};
    struct Min {};
    struct NoOp {};
    struct Named { std::string name; };
    std::variant<Add, Max, Min, NoOp, Named> kind;

    static Op parse(std::string_view text);  // "+", ">", "<" or Named
    bool is_add() const { return std::holds_alternative<Add>(kind); }
    bool is_max() const { return std::holds_alternative<Max>(kind); }
    bool is_min() const { return std::holds_alternative<Min>(kind); }
    bool is_choice() const { return is_max() || is_min(); }
    const Named* named() const { return std::get_if<Named>(&kind); }
    // "+", ">", "<", "" or the name.
    std::string text() const;
};

// Combine operand into target by the op: Add (broadcast either way, target may
// grow), Max/Min (in place, operand of target's length or 1). NoOp and Named
// give UnknownOp; lengths that do not fit give a Message.
std::expected<void, TimeTableError> apply(const Op& op, util::ValueVec& target, const util::ValueVec& operand);

}  // namespace tamrix::timetable
