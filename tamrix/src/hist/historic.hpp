#pragma once
#include <memory>

#include "hist/tsdata.hpp"
#include "ledger/ledger.hpp"
#include "model/forwardmodel.hpp"

namespace tamrix::hist {

// Replays a timetable along historic values from the epoch, undiscounted.
class Historic final : public model::FwdModel {
public:
    Historic(std::unique_ptr<TsData> data, std::uint32_t flags) : data_(std::move(data)), flags_(flags) {}

    std::size_t paths() const override { return 1; }
    std::uint32_t flags() const override { return flags_; }
    std::int64_t start_time() const override { return 0; }
    std::string missing_time_text() const override { return "No event time"; }
    std::expected<void, model::ModelError> step_to(model::FwdModelStateCommon&, std::int64_t,
                                                   std::int64_t) const override {
        return {};
    }
    std::expected<util::ValueVec, model::ModelError> asset_value(model::FwdModelStateCommon& state,
                                                                 const util::ValueVec& quantity,
                                                                 const std::string& name,
                                                                 std::int64_t ts) const override;

private:
    std::unique_ptr<TsData> data_;
    std::uint32_t flags_;
};

std::expected<ledger::Ledger, model::ModelError> calculate(const Historic& model, const timetable::TimeTable& tt);

}  // namespace tamrix::hist
