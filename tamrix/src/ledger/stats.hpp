#pragma once
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace tamrix::ledger {

using ChoiceVec = std::vector<std::uint64_t>;

// event row -> (track key -> choice vector: 1 where the event's value won).
struct ChoiceMap {
    std::unordered_map<std::uint64_t, std::unordered_map<std::uint64_t, ChoiceVec>> by_event;
    void insert(std::uint64_t event, std::uint64_t track, ChoiceVec choice) {
        by_event[event][track] = std::move(choice);
    }
};

}  // namespace tamrix::ledger
