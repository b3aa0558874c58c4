#include "timetable/error.hpp"

namespace tamrix::timetable {

std::string TimeTableError::text() const {
    if (auto* u = std::get_if<UnknownOp>(&kind)) return "Unknown Op '" + u->op + "'";
    return std::get<Message>(kind).text;
}

}  // namespace tamrix::timetable
