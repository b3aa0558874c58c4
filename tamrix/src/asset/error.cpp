#include "asset/error.hpp"

#include "util/number_text.hpp"

namespace tamrix::asset {

using util::number_text;

std::string AssetError::text() const {
    struct Render {
        std::string operator()(const BuilderError& e) const { return "BuilderError " + e.text; }
        std::string operator()(const RateError& e) const {
            return "Error in '" + e.name + "' rate from time " + number_text(e.t2) + " to " + number_text(e.t1) +
                   ", caused by \n'" + e.cause->text() + "'";
        }
        std::string operator()(const SpotError& e) const {
            return "Error in '" + e.name + "' value at " + number_text(e.t) + ", caused by \n'" + e.cause->text() + "'";
        }
        std::string operator()(const OutOfRange& e) const {
            return "Error: Interpolation out of range at time " + number_text(e.t) +
                   ".\n Perhaps the time range in forwards/discount data is too short.";
        }
        std::string operator()(const DivideByZero&) const { return "Error: Divide by zero"; }
        std::string operator()(const AssetNotFound& e) const {
            return "Asset '" + e.name + "' not found in snaps, expressions, or in dataset[ASSETS]";
        }
    };
    return std::visit(Render{}, kind);
}

AssetError rate_error(std::string_view name, AssetError cause, double t1, double t2) {
    return {AssetError::RateError{std::string(name), std::make_shared<const AssetError>(std::move(cause)), t1, t2}};
}

AssetError spot_error(std::string_view name, AssetError cause, double t) {
    return {AssetError::SpotError{std::string(name), std::make_shared<const AssetError>(std::move(cause)), t}};
}

}  // namespace tamrix::asset
