#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

#include "expr/phrase.hpp"
#include "expr/snap.hpp"

namespace tamrix::timetable {

struct Unit {
    struct Track { std::uint64_t key; };
    struct Asset { std::string name; };
    struct Unnamed {};
    struct Snapper { std::string name; };
    struct Snap { std::string name; };
    struct Phrase { std::string name; };
    std::variant<Track, Asset, Unnamed, Snapper, Snap, Phrase> kind;

    // "Track(k)", "Asset(name)", "<none>", "Snapper(name)", "Snap(name)", "Phrase(name)"
    std::string desc() const;
};

// Snappers and phrases of the expressions dictionary, by name.
struct Expressions {
    std::unordered_map<std::string, expr::Snapper> snappers;
    std::unordered_map<std::string, std::unique_ptr<expr::EvalPhrase>> phrases;
};

}  // namespace tamrix::timetable
