#include "timetable/timetable.hpp"

#include <string_view>
#include <unordered_map>

#include "util/date_text.hpp"
#include "util/internal_error.hpp"
#include "util/number_text.hpp"
#include "util/quoted_text.hpp"

namespace tamrix::timetable {

namespace {

std::expected<arrow::Utf8View, TimeTableError> dictionary_strings(const arrow::DictView& d, std::string_view column,
                                                                  const char* wrong_type_text) {
    auto v = arrow::utf8_dictionary(d);
    if (v) return *v;
    if (v.error().kind == arrow::ViewFailure::WrongType) return std::unexpected(TimeTableError::message(wrong_type_text));
    return std::unexpected(TimeTableError::message("Malformed dictionary of column '" + std::string(column) +
                                                   "': " + v.error().detail));
}

std::expected<arrow::Utf8View, TimeTableError> unit_strings(const Events& events) {
    return dictionary_strings(events.unit, "unit", "Error in units column, expected strings");
}

// Index of the first dictionary entry holding each text.
using FirstIndex = std::unordered_map<std::string_view, std::size_t>;

FirstIndex first_index(const arrow::Utf8View& v) {
    FirstIndex index;
    for (std::int64_t i = 0; i < v.length; ++i)
        if (auto text = v.get(i)) index.try_emplace(*text, static_cast<std::size_t>(i));
    return index;
}

std::expected<void, TimeTableError> mark_tracks(const Events& events, const FirstIndex& unit_index,
                                                std::vector<Unit>& units) {
    auto tracks = dictionary_strings(events.track, "track", "Error in tracks column, expected strings");
    if (!tracks) return std::unexpected(tracks.error());
    for (std::int64_t a = 0; a < tracks->length; ++a) {
        auto text = tracks->get(a);
        if (!text) return std::unexpected(TimeTableError::message("Missing Track Value"));
        if (auto it = unit_index.find(*text); it != unit_index.end())
            units.at(it->second) = Unit{Unit::Track{static_cast<std::uint64_t>(a)}};
    }
    return {};
}

// Every valid row key must index its dictionary.
std::expected<void, TimeTableError> check_keys(const arrow::DictView& d, std::string_view column) {
    const arrow::Int64View& keys = d.keys;
    for (std::int64_t i = 0; i < keys.length; ++i) {
        if (!keys.validity.valid(i)) continue;
        const std::int64_t k = keys.values[i];
        if (k < 0 || k >= d.dict_length)
            return std::unexpected(TimeTableError::message(
                "Key " + std::to_string(k) + " of column '" + std::string(column) + "' at row " + std::to_string(i) +
                " is outside its dictionary of " + std::to_string(d.dict_length) + " entries"));
    }
    return {};
}

}  // namespace

std::expected<std::vector<Op>, TimeTableError> ops_map(const Events& events) {
    auto texts = dictionary_strings(events.op, "op", "Error in ops column, expected strings");
    if (!texts) return std::unexpected(texts.error());
    std::vector<Op> ops;
    ops.reserve(static_cast<std::size_t>(texts->length));
    for (std::int64_t i = 0; i < texts->length; ++i) {
        auto text = texts->get(i);
        ops.push_back(text ? Op::parse(*text) : Op{Op::NoOp{}});
    }
    return ops;
}

std::expected<void, TimeTableError> identify_tracks(const Events& events, std::vector<Unit>& units) {
    auto names = unit_strings(events);
    if (!names) return std::unexpected(names.error());
    if (units.size() != static_cast<std::size_t>(names->length))
        throw InternalError("Unit list of " + std::to_string(units.size()) + " entries for a unit dictionary of " +
                            std::to_string(names->length));
    return mark_tracks(events, first_index(*names), units);
}

std::expected<std::vector<Unit>, TimeTableError> create_units_map(const Expressions& expressions,
                                                                  const Events& events) {
    auto names = unit_strings(events);
    if (!names) return std::unexpected(names.error());
    std::vector<Unit> units;
    units.reserve(static_cast<std::size_t>(names->length));
    for (std::int64_t i = 0; i < names->length; ++i) {
        auto text = names->get(i);
        units.push_back(text ? Unit{Unit::Asset{std::string(*text)}} : Unit{Unit::Unnamed{}});
    }
    const FirstIndex index = first_index(*names);
    if (auto ok = mark_tracks(events, index, units); !ok) return std::unexpected(ok.error());

    auto set_if_named = [&](const std::string& name, Unit unit) {
        if (auto it = index.find(name); it != index.end()) units[it->second] = std::move(unit);
    };
    for (const auto& [name, snapper] : expressions.snappers) {
        set_if_named(name, Unit{Unit::Snapper{name}});
        for (const std::string& o : snapper.out) set_if_named(o, Unit{Unit::Snap{o}});
    }
    for (const auto& [name, phrase] : expressions.phrases) set_if_named(name, Unit{Unit::Phrase{name}});
    return units;
}

const Op TimeTable::no_op_{Op::NoOp{}};

TimeTable::TimeTable(std::vector<Op> ops, std::vector<Unit> units, Events events, Expressions expressions)
    : ops_(std::move(ops)), units_(std::move(units)), events_(std::move(events)), expressions_(std::move(expressions)) {}

std::expected<TimeTable, TimeTableError> TimeTable::create(Events events, Expressions expressions) {
    auto units = create_units_map(expressions, events);
    if (!units) return std::unexpected(units.error());
    auto ops = ops_map(events);
    if (!ops) return std::unexpected(ops.error());
    if (auto ok = check_keys(events.track, "track"); !ok) return std::unexpected(ok.error());
    if (auto ok = check_keys(events.op, "op"); !ok) return std::unexpected(ok.error());
    if (auto ok = check_keys(events.unit, "unit"); !ok) return std::unexpected(ok.error());
    return TimeTable(std::move(*ops), std::move(*units), std::move(events), std::move(expressions));
}

namespace {
void check_row(std::size_t i, std::size_t len) {
    if (i >= len)
        throw InternalError("Event row " + std::to_string(i) + " outside a timetable of " + std::to_string(len) +
                            " rows");
}
}  // namespace

std::int64_t TimeTable::ts_at(std::size_t i) const {
    check_row(i, len());
    return events_.time.values[i];
}

std::optional<std::int64_t> TimeTable::ts_opt_at(std::size_t i) const {
    check_row(i, len());
    return events_.time.get(static_cast<std::int64_t>(i));
}

double TimeTable::quantity_at(std::size_t i) const {
    check_row(i, len());
    return events_.quantity.values[i];
}

const Op& TimeTable::op_at(std::size_t i) const {
    check_row(i, len());
    const auto key = events_.op.keys.get(static_cast<std::int64_t>(i));
    return key ? ops_[static_cast<std::size_t>(*key)] : no_op_;
}

std::optional<std::uint64_t> TimeTable::unit_key_at(std::size_t i) const {
    check_row(i, len());
    const auto key = events_.unit.keys.get(static_cast<std::int64_t>(i));
    if (!key) return std::nullopt;
    return static_cast<std::uint64_t>(*key);
}

std::string TimeTable::unit_desc_at(std::size_t i) const {
    const auto key = unit_key_at(i);
    return key ? units_[*key].desc() : "<none>";
}

std::expected<std::uint64_t, TimeTableError> TimeTable::track_key_at(std::size_t i) const {
    check_row(i, len());
    const auto key = events_.track.keys.get(static_cast<std::int64_t>(i));
    if (!key) return std::unexpected(TimeTableError::message("No track specified at event#" + std::to_string(i)));
    return static_cast<std::uint64_t>(*key);
}

std::string TimeTable::track_desc_at(std::size_t i) const {
    check_row(i, len());
    const auto key = events_.track.keys.get(static_cast<std::int64_t>(i));
    return key ? "Track(" + std::to_string(*key) + ")" : "<none>";
}

std::string TimeTable::event_desc(std::size_t i) const {
    const auto date = util::date_text(ts_at(i));
    return "#" + std::to_string(i) + ": track: " + util::quoted_text(track_desc_at(i)) +
           ", time: " + (date ? "Single(" + *date + ")" : std::string("None")) + ", op: " + op_at(i).text() +
           ", qty: " + util::number_text(quantity_at(i)) + ", unit: " + util::quoted_text(unit_desc_at(i));
}

const expr::EvalPhrase* TimeTable::get_phrase(const std::string& name) const {
    const auto it = expressions_.phrases.find(name);
    return it == expressions_.phrases.end() ? nullptr : it->second.get();
}

std::expected<const expr::Snapper*, TimeTableError> TimeTable::snapper_by_name(const std::string& name) const {
    const auto it = expressions_.snappers.find(name);
    if (it == expressions_.snappers.end())
        return std::unexpected(TimeTableError::message("Snapper '" + name + "' not found"));
    return &it->second;
}

}  // namespace tamrix::timetable
