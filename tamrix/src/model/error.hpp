#pragma once
#include <string>
#include <variant>

#include "asset/error.hpp"
#include "expr/error.hpp"
#include "ledger/error.hpp"
#include "timetable/error.hpp"

namespace tamrix::timetable { class TimeTable; }

namespace tamrix::model {

struct ModelError {
    struct Asset { asset::AssetError inner; };
    struct Valuation { ledger::LedgerError inner; };
    struct Evaluation { expr::ExprError inner; };
    struct Table { timetable::TimeTableError inner; };
    struct Event { std::string description; std::string cause; };
    struct NotImplemented { std::string text; };
    struct EventSpecs { std::string text; };
    struct Message { std::string text; };
    struct Arrow { std::string what; std::string error; };
    std::variant<Asset, Valuation, Evaluation, Table, Event, NotImplemented, EventSpecs, Message, Arrow> kind;

    ModelError(asset::AssetError e) : kind(Asset{std::move(e)}) {}
    ModelError(ledger::LedgerError e) : kind(Valuation{std::move(e)}) {}
    ModelError(expr::ExprError e) : kind(Evaluation{std::move(e)}) {}
    ModelError(timetable::TimeTableError e) : kind(Table{std::move(e)}) {}
    template <class Alt>
        requires(std::is_same_v<Alt, Event> || std::is_same_v<Alt, NotImplemented> ||
                 std::is_same_v<Alt, EventSpecs> || std::is_same_v<Alt, Message> || std::is_same_v<Alt, Arrow>)
    ModelError(Alt a) : kind(std::move(a)) {}

    static ModelError message(std::string text) { return Message{std::move(text)}; }
    static ModelError event_specs(std::string text) { return EventSpecs{std::move(text)}; }
    static ModelError not_implemented(std::string text) { return NotImplemented{std::move(text)}; }
    std::string text() const;
};

// "Error at event:\n  {event_desc(event)}, caused by \n{cause}"
ModelError event_error(const timetable::TimeTable& tt, std::size_t event, std::string cause);
// The event error whose cause is "event time is earlier than the current time {current}".
ModelError event_in_past(const timetable::TimeTable& tt, std::size_t event, std::int64_t current);

}  // namespace tamrix::model
