#pragma once
#include <cstddef>
#include <expected>
#include <optional>
#include <string>
#include <vector>

namespace tamrix::util {

// One entry per Monte Carlo path or grid node. A vector of one entry stands for
// the same value everywhere and is broadcast by every combining operation.
using ValueVec = std::vector<double>;

// Length of the combination of two vectors, or none if they cannot be broadcast.
std::optional<std::size_t> broadcast_len(std::size_t a, std::size_t b);

// "Cannot combine vectors of lengths {a} and {b}"
std::string length_mismatch_text(std::size_t a, std::size_t b);

// In place: a = a * b, a = a + b (broadcast; a grows when it has one entry).
std::expected<void, std::string> mul_into(ValueVec& a, const ValueVec& b);
std::expected<void, std::string> add_into(ValueVec& a, const ValueVec& b);

// New vectors a * b, a + b; lengths that cannot be broadcast are a programming
// error (InternalError).
ValueVec mul(const ValueVec& a, const ValueVec& b);
ValueVec add(const ValueVec& a, const ValueVec& b);
ValueVec scaled(const ValueVec& a, double s);
// e^a[i] for every entry.
ValueVec exp_each(const ValueVec& a);

// target[i] = the larger (smaller) of target[i] and operand[i]; where exactly one
// side is NaN the other side is kept. The operand has target's length or 1.
std::expected<void, std::string> max_into(ValueVec& target, const ValueVec& operand);
std::expected<void, std::string> min_into(ValueVec& target, const ValueVec& operand);

// pv * (1 - w) + v * w, broadcast.
ValueVec blend(const ValueVec& pv, const ValueVec& w, const ValueVec& v);

// Entry i of a vector under broadcasting.
inline double bcast(const ValueVec& v, std::size_t i) { return v.size() == 1 ? v[0] : v[i]; }

double mean(const ValueVec& v);

}  // namespace tamrix::util
