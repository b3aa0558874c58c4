#pragma once
#include <cstdint>

#include "asset/assets.hpp"
#include "model/forwardmodel.hpp"

namespace tamrix::qdt {

struct FixedParams {
    asset::Assets assets;
    std::int64_t prc_ts = 0;
    std::uint32_t flags = 0;
};

// One deterministic scenario: assets at their forwards, cash discounted on the
// base curve.
class Fixed final : public model::FwdModel {
public:
    explicit Fixed(FixedParams params) : params_(std::move(params)) {}
    const FixedParams& params() const { return params_; }

    std::size_t paths() const override { return 1; }
    std::uint32_t flags() const override { return params_.flags; }
    std::int64_t start_time() const override { return params_.prc_ts; }
    std::string missing_time_text() const override { return "No event time"; }
    std::expected<void, model::ModelError> step_to(model::FwdModelStateCommon& state, std::int64_t current,
                                                   std::int64_t ts) const override;
    std::expected<util::ValueVec, model::ModelError> asset_value(model::FwdModelStateCommon& state,
                                                                 const util::ValueVec& quantity,
                                                                 const std::string& name,
                                                                 std::int64_t ts) const override;

private:
    FixedParams params_;
};

std::expected<ledger::Ledger, model::ModelError> calculate(const Fixed& model, const timetable::TimeTable& tt);
std::expected<double, model::ModelError> price(const Fixed& model, const ledger::Ledger& ledger);

}  // namespace tamrix::qdt
