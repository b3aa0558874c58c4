#pragma once
#include <cstdint>
#include <expected>
#include <string>

#include "model/error.hpp"

namespace tamrix::hist {

// A source of historic asset values.
class TsData {
public:
    virtual ~TsData() = default;
    virtual std::expected<double, model::ModelError> asset_value(const std::string& name, std::int64_t ts) const = 0;
};

// Every asset but the base is worth the same constant.
class TsDataCSV final : public TsData {
public:
    TsDataCSV(std::string base, double value) : base_(std::move(base)), value_(value) {}
    std::expected<double, model::ModelError> asset_value(const std::string& name, std::int64_t) const override {
        return name == base_ ? 1.0 : value_;
    }

private:
    std::string base_;
    double value_;
};

}  // namespace tamrix::hist
