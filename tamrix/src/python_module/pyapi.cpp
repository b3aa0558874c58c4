#include "python_module/pyapi.hpp"

#include "python_module/pyasset.hpp"
#include "python_module/pyutils.hpp"

namespace tamrix::python_module {

std::expected<qdt::Fixed, PyParseError> read_fixed(PyObject* dataset) {
    auto assets = create_assets(dataset);
    if (!assets) return std::unexpected(std::move(assets.error()));
    auto prc_ts = get_typed<std::int64_t>(dataset, "PRICING_TS");
    if (!prc_ts) return std::unexpected(std::move(prc_ts.error()));

    std::uint32_t flags = 0;
    // The section is optional: a missing or non-dictionary "FIXED" means no flags.
    if (auto section = get_dict(dataset, "FIXED")) {
        auto f = get_flag(*section);
        if (!f) return std::unexpected(std::move(f.error()));
        flags = *f;
    }
    return qdt::Fixed(qdt::FixedParams{std::move(*assets), *prc_ts, flags});
}

}  // namespace tamrix::python_module
