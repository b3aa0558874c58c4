#include "ledger/error.hpp"

namespace tamrix::ledger {

std::string LedgerError::text() const {
    if (auto* a = std::get_if<Apply>(&kind)) return "Error in Op, caused by \n" + a->inner.text();
    if (auto* t = std::get_if<TrackNotFound>(&kind)) return "Track " + std::to_string(t->key) + " not found";
    return "Unknown Op '" + std::get<UnknownOp>(kind).op + "'";
}

}  // namespace tamrix::ledger
