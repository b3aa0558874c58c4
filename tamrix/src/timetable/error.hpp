#pragma once
#include <string>
#include <variant>

namespace tamrix::timetable {

// Errors of the timetable and of applying an operation.
struct TimeTableError {
    struct UnknownOp { std::string op; };
    struct Message { std::string text; };
    std::variant<UnknownOp, Message> kind;

    static TimeTableError unknown_op(std::string op) { return {UnknownOp{std::move(op)}}; }
    static TimeTableError message(std::string text) { return {Message{std::move(text)}}; }
    std::string text() const;
};

}  // namespace tamrix::timetable
