#include "ledger/ledger.hpp"

#include <utility>

#include "ledger/util.hpp"
#include "util/internal_error.hpp"

namespace tamrix::ledger {

namespace {

// A one-entry zero: the right to walk away for nothing, which pays no cashflow.
bool is_single_zero(const ValueVec& v) { return v.size() == 1 && v[0] == 0.0; }

ValueVec one_minus(const ValueVec& w) { return util::add(ValueVec{1.0}, util::scaled(w, -1.0)); }

// Incoming vectors have the ledger's size or one entry.
void check_operand(std::size_t size, const ValueVec& v) {
    if (v.size() != size && v.size() != 1) throw InternalError(util::length_mismatch_text(size, v.size()));
}

}  // namespace

ValueVec& Ledger::pv_or_zeros(std::uint64_t track) {
    auto [it, inserted] = pvs_.try_emplace(track);
    if (inserted) it->second.assign(size_, 0.0);
    if (it->second.size() != size_)
        throw InternalError("Track " + std::to_string(track) + " holds " + std::to_string(it->second.size()) +
                            " entries instead of " + std::to_string(size_));
    return it->second;
}

std::expected<const ValueVec*, LedgerError> Ledger::pv_vec(std::uint64_t track) const {
    const auto it = pvs_.find(track);
    if (it == pvs_.end()) return std::unexpected(LedgerError::track_not_found(track));
    return &it->second;
}

std::expected<void, LedgerError> Ledger::one_track_event(const timetable::Op& op, std::uint64_t track,
                                                         ValueVec value, std::uint64_t event, std::uint32_t flags) {
    check_operand(size_, value);

    if (flags & FLAG_CASHFLOW) {
        if (op.is_choice()) {
            // Where the value wins, the track's later cashflows are given up for it.
            const auto mask = win_mask(pv_or_zeros(track), value, op);
            cf_mask(track, mask);
            if (!is_single_zero(value)) {
                if (auto r = cf_insert(event, track, filter(mask, value)); !r) return r;
            }
        } else if (op.is_add()) {
            if (auto r = cf_insert(event, track, value); !r) return r;
        }
    }

    if ((flags & FLAG_CHOICES) && op.is_choice()) {
        ChoiceVec choice(size_, 0);
        if (auto r = update_choice(pv_or_zeros(track), choice, value, op, 1); !r) return r;
        choices_.insert(event, track, std::move(choice));
    }

    if (auto r = timetable::apply(op, pv_or_zeros(track), value); !r)
        return std::unexpected(LedgerError::apply(std::move(r.error())));
    return {};
}

std::expected<void, LedgerError> Ledger::one_track_weights(ValueVec weight, std::uint64_t track, ValueVec value,
                                                           std::uint64_t event, std::uint32_t flags) {
    check_operand(size_, weight);
    check_operand(size_, value);

    if (flags & FLAG_CASHFLOW) {
        cf_scale(track, one_minus(weight));
        if (!is_single_zero(value)) {
            if (auto r = cf_insert(event, track, util::mul(weight, value)); !r) return r;
        }
    }

    ValueVec& pv = pv_or_zeros(track);
    pv = util::blend(pv, weight, value);
    return {};
}

ChoiceMap Ledger::take_choices() { return std::exchange(choices_, ChoiceMap{}); }

CashflowMap Ledger::take_cashflows() { return std::exchange(cashflows_, CashflowMap{}); }

}  // namespace tamrix::ledger
