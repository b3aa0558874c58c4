#include "ledger/ledger.hpp"
#include "ledger/util.hpp"
#include "util/internal_error.hpp"

namespace tamrix::ledger {

std::expected<void, LedgerError> Ledger::cf_insert(std::uint64_t event, std::uint64_t track,
                                                   const ValueVec& cashflow) {
    ValueVec copy;
    if (cashflow.size() == size_)
        copy = cashflow;
    else if (cashflow.size() == 1)
        copy.assign(size_, cashflow[0]);
    else
        return std::unexpected(LedgerError::track_not_found(track));
    cashflows_[track][event] = std::move(copy);
    return {};
}

void Ledger::cf_mask(std::uint64_t track, const std::vector<bool>& mask) {
    const auto it = cashflows_.find(track);
    if (it == cashflows_.end()) return;
    for (auto& [event, cf] : it->second) zero_where(mask, cf);
}

void Ledger::cf_scale(std::uint64_t track, const ValueVec& scale) {
    const auto it = cashflows_.find(track);
    if (it == cashflows_.end()) return;
    for (auto& [event, cf] : it->second) {
        if (scale.size() != cf.size() && scale.size() != 1)
            throw InternalError(util::length_mismatch_text(cf.size(), scale.size()));
        (void)util::mul_into(cf, scale);  // lengths checked above
    }
}

}  // namespace tamrix::ledger
