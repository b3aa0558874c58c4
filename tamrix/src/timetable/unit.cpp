#include "timetable/unit.hpp"

namespace tamrix::timetable {

std::string Unit::desc() const {
    struct Visitor {
        std::string operator()(const Track& t) const { return "Track(" + std::to_string(t.key) + ")"; }
        std::string operator()(const Asset& a) const { return "Asset(" + a.name + ")"; }
        std::string operator()(const Unnamed&) const { return "<none>"; }
        std::string operator()(const Snapper& s) const { return "Snapper(" + s.name + ")"; }
        std::string operator()(const Snap& s) const { return "Snap(" + s.name + ")"; }
        std::string operator()(const Phrase& p) const { return "Phrase(" + p.name + ")"; }
    };
    return std::visit(Visitor{}, kind);
}

}  // namespace tamrix::timetable
