#pragma once
#include <cstdint>
#include <expected>
#include <unordered_map>
#include <vector>

#include "ledger/error.hpp"
#include "ledger/stats.hpp"
#include "timetable/op.hpp"
#include "util/values.hpp"

namespace tamrix::ledger {

using util::ValueVec;

// Bits of the flag word.
inline constexpr std::uint32_t FLAG_PV_VEC = 1;
inline constexpr std::uint32_t FLAG_CHOICES = 2;
inline constexpr std::uint32_t FLAG_CASHFLOW = 8;

// track key -> (event row -> cashflow vector of `size` entries)
using CashflowMap = std::unordered_map<std::uint64_t, std::unordered_map<std::uint64_t, ValueVec>>;

// Present values per track, folded backward event by event, with the optional
// choice and cashflow records. Every stored vector has `size` entries; incoming
// values have `size` entries or one (broadcast). Other lengths are a
// programming error (InternalError).
class Ledger {
public:
    explicit Ledger(std::size_t size) : size_(size) {}

    std::size_t size() const { return size_; }
    std::expected<const ValueVec*, LedgerError> pv_vec(std::uint64_t track) const;
    const std::unordered_map<std::uint64_t, ValueVec>& pvs_by_track() const { return pvs_; }
    std::unordered_map<std::uint64_t, ValueVec>& pvs_by_track_mut() { return pvs_; }

    std::expected<void, LedgerError> one_track_event(const timetable::Op& op, std::uint64_t track, ValueVec value,
                                                     std::uint64_t event, std::uint32_t flags);
    std::expected<void, LedgerError> one_track_weights(ValueVec weight, std::uint64_t track, ValueVec value,
                                                       std::uint64_t event, std::uint32_t flags);

    std::expected<void, LedgerError> cf_insert(std::uint64_t event, std::uint64_t track, const ValueVec& cashflow);
    void cf_mask(std::uint64_t track, const std::vector<bool>& mask);
    void cf_scale(std::uint64_t track, const ValueVec& scale);

    const ChoiceMap& choices() const { return choices_; }
    const CashflowMap& cashflows() const { return cashflows_; }
    ChoiceMap take_choices();
    CashflowMap take_cashflows();

private:
    ValueVec& pv_or_zeros(std::uint64_t track);

    std::unordered_map<std::uint64_t, ValueVec> pvs_;
    ChoiceMap choices_;
    CashflowMap cashflows_;
    std::size_t size_;
};

}  // namespace tamrix::ledger
