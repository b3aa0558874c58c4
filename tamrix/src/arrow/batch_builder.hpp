#pragma once
#include <cstdint>
#include <vector>

#include "arrow/c_abi.hpp"

namespace tamrix::arrow {

// A one-batch stream of the struct ("index": UInt64, "value": Float64), both
// not nullable, that owns the two columns. Its release callbacks free
// everything and never call back into the caller.
ArrowArrayStream cashflow_stream(std::vector<std::uint64_t> index, std::vector<double> value);

}  // namespace tamrix::arrow
