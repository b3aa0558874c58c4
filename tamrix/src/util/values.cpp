#include "util/values.hpp"

#include <cmath>

#include "util/internal_error.hpp"

namespace tamrix::util {

std::optional<std::size_t> broadcast_len(std::size_t a, std::size_t b) {
    if (a == b) return a;
    if (a == 1) return b;
    if (b == 1) return a;
    return std::nullopt;
}

std::string length_mismatch_text(std::size_t a, std::size_t b) {
    return "Cannot combine vectors of lengths " + std::to_string(a) + " and " + std::to_string(b);
}

namespace {

template <class Better>
std::expected<void, std::string> choose_into(ValueVec& target, const ValueVec& operand, Better better) {
    const std::size_t n = target.size();
    if (operand.size() != n && operand.size() != 1)
        return std::unexpected(length_mismatch_text(n, operand.size()));
    for (std::size_t i = 0; i < n; ++i) {
        const double v = bcast(operand, i);
        double& t = target[i];
        if (std::isnan(t)) {
            t = v;
        } else if (!std::isnan(v) && better(v, t)) {
            t = v;
        }
    }
    return {};
}

}  // namespace

namespace {

template <class F>
std::expected<void, std::string> zip_into(ValueVec& a, const ValueVec& b, F f) {
    if (a.size() == b.size()) {
        for (std::size_t i = 0; i < a.size(); ++i) a[i] = f(a[i], b[i]);
    } else if (b.size() == 1) {
        const double y = b[0];
        for (double& x : a) x = f(x, y);
    } else if (a.size() == 1) {
        const double x = a[0];
        a = b;
        for (double& y : a) y = f(x, y);
    } else {
        return std::unexpected(length_mismatch_text(a.size(), b.size()));
    }
    return {};
}

}  // namespace

std::expected<void, std::string> mul_into(ValueVec& a, const ValueVec& b) {
    return zip_into(a, b, [](double x, double y) { return x * y; });
}

std::expected<void, std::string> add_into(ValueVec& a, const ValueVec& b) {
    return zip_into(a, b, [](double x, double y) { return x + y; });
}

ValueVec mul(const ValueVec& a, const ValueVec& b) {
    ValueVec out = a;
    if (auto done = mul_into(out, b); !done) throw InternalError(done.error());
    return out;
}

ValueVec add(const ValueVec& a, const ValueVec& b) {
    ValueVec out = a;
    if (auto done = add_into(out, b); !done) throw InternalError(done.error());
    return out;
}

ValueVec scaled(const ValueVec& a, double s) {
    ValueVec out = a;
    for (double& x : out) x *= s;
    return out;
}

ValueVec exp_each(const ValueVec& a) {
    ValueVec out(a.size());
    for (std::size_t i = 0; i < a.size(); ++i) out[i] = std::exp(a[i]);
    return out;
}

std::expected<void, std::string> max_into(ValueVec& target, const ValueVec& operand) {
    return choose_into(target, operand, [](double v, double t) { return v > t; });
}

std::expected<void, std::string> min_into(ValueVec& target, const ValueVec& operand) {
    return choose_into(target, operand, [](double v, double t) { return v < t; });
}

ValueVec blend(const ValueVec& pv, const ValueVec& w, const ValueVec& v) {
    const auto n1 = broadcast_len(pv.size(), w.size());
    const auto n = n1 ? broadcast_len(*n1, v.size()) : std::nullopt;
    if (!n) throw InternalError("Cannot blend vectors of lengths " + std::to_string(pv.size()) + ", " +
                                std::to_string(w.size()) + " and " + std::to_string(v.size()));
    ValueVec out(*n);
    for (std::size_t i = 0; i < *n; ++i) {
        const double wi = bcast(w, i);
        out[i] = bcast(pv, i) * (1.0 - wi) + bcast(v, i) * wi;
    }
    return out;
}

double mean(const ValueVec& v) {
    double s = 0.0;
    for (double x : v) s += x;
    return s / static_cast<double>(v.size());
}

}  // namespace tamrix::util
