#include "model/error.hpp"

#include "timetable/timetable.hpp"

namespace tamrix::model {

std::string ModelError::text() const {
    struct Render {
        std::string operator()(const Asset& e) const { return e.inner.text(); }
        std::string operator()(const Valuation& e) const { return e.inner.text(); }
        std::string operator()(const Evaluation& e) const { return e.inner.text(); }
        std::string operator()(const Table& e) const { return e.inner.text(); }
        std::string operator()(const Event& e) const {
            return "Error at event:\n  " + e.description + ", caused by \n" + e.cause;
        }
        std::string operator()(const NotImplemented& e) const { return "Feature Not Implemented: `" + e.text + "`"; }
        std::string operator()(const EventSpecs& e) const { return "Error in Event Specs: " + e.text; }
        std::string operator()(const Message& e) const { return e.text; }
        std::string operator()(const Arrow& e) const {
            return "Error Creating Arrow for '" + e.what + "', caused by \n" + e.error;
        }
    };
    return std::visit(Render{}, kind);
}

ModelError event_error(const timetable::TimeTable& tt, std::size_t event, std::string cause) {
    return ModelError::Event{tt.event_desc(event), std::move(cause)};
}

ModelError event_in_past(const timetable::TimeTable& tt, std::size_t event, std::int64_t current) {
    return event_error(tt, event, "event time is earlier than the current time " + std::to_string(current));
}

}  // namespace tamrix::model
