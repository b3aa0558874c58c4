#include "ledger/util.hpp"

#include "util/internal_error.hpp"

namespace tamrix::ledger {

using util::bcast;
using util::ValueVec;

namespace {

void check_broadcast(std::size_t n, const ValueVec& value) {
    if (value.size() != n && value.size() != 1) throw InternalError(util::length_mismatch_text(n, value.size()));
}

// Calls on_win(i) for every entry where value (broadcast) strictly beats pv.
template <class F>
void for_each_win(const ValueVec& pv, const ValueVec& value, bool is_max, F on_win) {
    check_broadcast(pv.size(), value);
    for (std::size_t i = 0; i < pv.size(); ++i) {
        const double v = bcast(value, i);
        if (is_max ? v > pv[i] : pv[i] > v) on_win(i);
    }
}

}  // namespace

std::expected<void, LedgerError> update_choice(const ValueVec& pv, ChoiceVec& choice, const ValueVec& value,
                                               const timetable::Op& op, std::uint64_t index) {
    if (pv.size() != choice.size()) throw InternalError(util::length_mismatch_text(pv.size(), choice.size()));
    check_broadcast(pv.size(), value);
    if (!op.is_choice()) return std::unexpected(LedgerError::unknown_op(op.text()));
    for_each_win(pv, value, op.is_max(), [&](std::size_t i) { choice[i] = index; });
    return {};
}

ValueVec filter(const std::vector<bool>& mask, const ValueVec& value) {
    check_broadcast(mask.size(), value);
    ValueVec out(mask.size(), 0.0);
    for (std::size_t i = 0; i < mask.size(); ++i)
        if (mask[i]) out[i] = bcast(value, i);
    return out;
}

std::vector<bool> win_mask(const ValueVec& pv, const ValueVec& value, const timetable::Op& op) {
    if (!op.is_choice()) throw InternalError("win_mask needs a Max or Min op, got '" + op.text() + "'");
    std::vector<bool> mask(pv.size(), false);
    for_each_win(pv, value, op.is_max(), [&](std::size_t i) { mask[i] = true; });
    return mask;
}

void zero_where(const std::vector<bool>& mask, ValueVec& value) {
    if (mask.size() != value.size()) throw InternalError(util::length_mismatch_text(mask.size(), value.size()));
    for (std::size_t i = 0; i < value.size(); ++i)
        if (mask[i]) value[i] = 0.0;
}

}  // namespace tamrix::ledger
