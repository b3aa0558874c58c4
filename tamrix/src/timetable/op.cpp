#include "timetable/op.hpp"

namespace tamrix::timetable {

Op Op::parse(std::string_view text) {
    if (text == "+") return {Add{}};
    if (text == ">") return {Max{}};
    if (text == "<") return {Min{}};
    return {Named{std::string(text)}};
}

std::string Op::text() const {
    if (is_add()) return "+";
    if (is_max()) return ">";
    if (is_min()) return "<";
    if (const Named* n = named()) return n->name;
    return "";
}

std::expected<void, TimeTableError> apply(const Op& op, util::ValueVec& target, const util::ValueVec& operand) {
    if (op.is_add()) {
        auto ok = util::add_into(target, operand);
        if (!ok) return std::unexpected(TimeTableError::message(std::move(ok.error())));
        return {};
    }
    if (op.is_choice()) {
        auto ok = op.is_max() ? util::max_into(target, operand) : util::min_into(target, operand);
        if (!ok) return std::unexpected(TimeTableError::message(std::move(ok.error())));
        return {};
    }
    return std::unexpected(TimeTableError::unknown_op(op.text()));
}

}  // namespace tamrix::timetable
