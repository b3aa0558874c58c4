#pragma once
#include <cstdint>
#include <string>
#include <variant>

#include "timetable/error.hpp"

namespace tamrix::ledger {

struct LedgerError {
    struct Apply { timetable::TimeTableError inner; };
    struct TrackNotFound { std::uint64_t key; };
    struct UnknownOp { std::string op; };
    std::variant<Apply, TrackNotFound, UnknownOp> kind;

    static LedgerError apply(timetable::TimeTableError e) { return {Apply{std::move(e)}}; }
    static LedgerError track_not_found(std::uint64_t key) { return {TrackNotFound{key}}; }
    static LedgerError unknown_op(std::string op) { return {UnknownOp{std::move(op)}}; }
    std::string text() const;
};

}  // namespace tamrix::ledger
