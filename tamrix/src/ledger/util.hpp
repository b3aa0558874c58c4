#pragma once
#include <cstdint>
#include <expected>
#include <vector>

#include "ledger/error.hpp"
#include "ledger/stats.hpp"
#include "timetable/op.hpp"
#include "util/values.hpp"

namespace tamrix::ledger {

// Sets choice[i] = index where value strictly beats pv (Max: greater, Min:
// smaller); ties and NaN leave the entry. Other ops: UnknownOp.
std::expected<void, LedgerError> update_choice(const util::ValueVec& pv, ChoiceVec& choice,
                                               const util::ValueVec& value, const timetable::Op& op,
                                               std::uint64_t index);

// value (broadcast) where mask is true, 0.0 elsewhere; mask's length.
util::ValueVec filter(const std::vector<bool>& mask, const util::ValueVec& value);

// true where value (broadcast) strictly beats pv under a Max or Min op; ties and
// NaN give false. pv's length. InternalError for any other op.
std::vector<bool> win_mask(const util::ValueVec& pv, const util::ValueVec& value, const timetable::Op& op);

// value[i] = 0.0 where mask[i]; the lengths must match.
void zero_where(const std::vector<bool>& mask, util::ValueVec& value);

}  // namespace tamrix::ledger
