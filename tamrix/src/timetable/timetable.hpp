#pragma once
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <vector>

#include "timetable/error.hpp"
#include "timetable/events.hpp"
#include "timetable/op.hpp"
#include "timetable/unit.hpp"

namespace tamrix::timetable {

// The parsed contract: operations and units by dictionary key, the event
// columns, and the expressions. Immutable once built.
class TimeTable {
public:
    // Validates the unit, track and op dictionaries (in that order) and every
    // valid row key against its dictionary.
    static std::expected<TimeTable, TimeTableError> create(Events events, Expressions expressions);

    std::size_t len() const { return static_cast<std::size_t>(events_.len()); }

    std::int64_t ts_at(std::size_t i) const;                    // stored value, validity ignored
    std::optional<std::int64_t> ts_opt_at(std::size_t i) const;  // none for a null time
    double quantity_at(std::size_t i) const;                    // stored value, validity ignored
    const Op& op_at(std::size_t i) const;                       // NoOp for a null key
    std::optional<std::uint64_t> unit_key_at(std::size_t i) const;
    const Unit& unit_by_key(std::uint64_t key) const { return units_[key]; }
    std::string unit_desc_at(std::size_t i) const;
    std::expected<std::uint64_t, TimeTableError> track_key_at(std::size_t i) const;
    std::string track_desc_at(std::size_t i) const;
    std::string event_desc(std::size_t i) const;

    const expr::EvalPhrase* get_phrase(const std::string& name) const;
    std::expected<const expr::Snapper*, TimeTableError> snapper_by_name(const std::string& name) const;

    const std::vector<Op>& ops() const { return ops_; }
    const std::vector<Unit>& units() const { return units_; }

private:
    TimeTable(std::vector<Op> ops, std::vector<Unit> units, Events events, Expressions expressions);
    std::vector<Op> ops_;
    std::vector<Unit> units_;
    Events events_;
    Expressions expressions_;
    static const Op no_op_;
};

// Building blocks of TimeTable::create, exposed for testing.
std::expected<std::vector<Op>, TimeTableError> ops_map(const Events& events);
std::expected<void, TimeTableError> identify_tracks(const Events& events, std::vector<Unit>& units);
std::expected<std::vector<Unit>, TimeTableError> create_units_map(const Expressions& expressions, const Events& events);

}  // namespace tamrix::timetable
