#pragma once
#include <cstdint>
#include <expected>
#include <string>

#include "expr/phrase.hpp"
#include "ledger/ledger.hpp"
#include "model/error.hpp"
#include "model/forwardstate.hpp"
#include "timetable/op.hpp"
#include "util/values.hpp"

namespace tamrix::timetable { class TimeTable; }

namespace tamrix::model {

// What distinguishes the forward models (fixed, Monte Carlo, historic); the
// walk over the events is shared.
class FwdModel {
public:
    virtual ~FwdModel() = default;

    // Number of entries of every value vector.
    virtual std::size_t paths() const = 0;
    virtual std::uint32_t flags() const = 0;
    // Time before the first event (ms).
    virtual std::int64_t start_time() const = 0;
    // Cause of the event error for a row without a time.
    virtual std::string missing_time_text() const = 0;
    // Moves the model from `current` to `ts` (ts >= current) before the event
    // at ts is valued, updating state.discount. Errors are not event-wrapped.
    virtual std::expected<void, ModelError> step_to(FwdModelStateCommon& state, std::int64_t current,
                                                    std::int64_t ts) const = 0;
    // `quantity` times the value of asset `name` at `ts`.
    virtual std::expected<util::ValueVec, ModelError> asset_value(FwdModelStateCommon& state,
                                                                  const util::ValueVec& quantity,
                                                                  const std::string& name, std::int64_t ts) const = 0;
};

// A phrase of that name, else a snap, else the asset value of the name.
std::expected<util::ValueVec, ModelError> name_value(const FwdModel& m, FwdModelStateCommon& state,
                                                     const timetable::TimeTable& tt, const std::string& name,
                                                     std::int64_t ts);
// The last output of the phrase evaluated on its named inputs.
std::expected<util::ValueVec, ModelError> phrase_value_1(const FwdModel& m, FwdModelStateCommon& state,
                                                         const timetable::TimeTable& tt,
                                                         const expr::EvalPhrase& phrase, std::int64_t ts);
// Records an event's value: Pay, or CondPay weighted by the value of a named op.
std::expected<void, ModelError> gr_save(const FwdModel& m, FwdModelStateCommon& state,
                                        const timetable::TimeTable& tt, std::size_t event, util::ValueVec value,
                                        const timetable::Op& op, std::int64_t ts);

// The forward walk over the events in row order, recording each event's value.
std::expected<void, ModelError> evolve_forward(const FwdModel& m, FwdModelStateCommon& state,
                                               const timetable::TimeTable& tt);

// Forward walk then backward pass; the ledger of the valuation.
std::expected<ledger::Ledger, ModelError> calculate_forward(const FwdModel& m, const timetable::TimeTable& tt);

// Element 0 of track 0's vector (one-scenario models).
std::expected<double, ModelError> price_single(const ledger::Ledger& ledger);

}  // namespace tamrix::model
