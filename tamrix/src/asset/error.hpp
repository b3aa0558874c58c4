#pragma once
#include <memory>
#include <string>
#include <variant>

namespace tamrix::asset {

struct AssetError {
    struct BuilderError { std::string text; };
    struct RateError { std::string name; std::shared_ptr<const AssetError> cause; double t1; double t2; };
    struct SpotError { std::string name; std::shared_ptr<const AssetError> cause; double t; };
    struct OutOfRange { double t; };
    struct DivideByZero {};
    struct AssetNotFound { std::string name; };
    std::variant<BuilderError, RateError, SpotError, OutOfRange, DivideByZero, AssetNotFound> kind;

    std::string text() const;
};

AssetError rate_error(std::string_view name, AssetError cause, double t1, double t2);
AssetError spot_error(std::string_view name, AssetError cause, double t);

}  // namespace tamrix::asset
