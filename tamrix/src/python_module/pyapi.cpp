#include "python_module/pyapi.hpp"

#include "python_module/pyasset.hpp"
#include "python_module/pyutils.hpp"
#include "util/number_text.hpp"

#include <cmath>
#include <limits>

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

namespace {

PyParseError invalid(const char* key, std::string value) {
    return PyParseError{PyParseError::InvalidValue{key, std::move(value)}};
}

}  // namespace

std::expected<qfd::FD1FParams, PyParseError> get_fd_1f(PyObject* dataset) {
    auto assets = create_assets(dataset);
    if (!assets) return std::unexpected(std::move(assets.error()));
    auto fd = get_dict(dataset, "FD");
    if (!fd) return std::unexpected(std::move(fd.error()));

    auto n_x = get_typed<std::uint64_t>(*fd, "N_X");
    if (!n_x) return std::unexpected(std::move(n_x.error()));
    // 2 * n_x + 1 nodes must be countable.
    if (*n_x == 0 || *n_x > (std::numeric_limits<std::uint64_t>::max() - 1) / 2)
        return std::unexpected(invalid("N_X", std::to_string(*n_x)));

    auto max_x = get_typed<double>(*fd, "MAX_X");
    if (!max_x) return std::unexpected(std::move(max_x.error()));
    if (!std::isfinite(*max_x) || *max_x <= 0.0) return std::unexpected(invalid("MAX_X", util::number_text(*max_x)));

    auto timestep = get_typed<double>(*fd, "TIMESTEP");
    if (!timestep) return std::unexpected(std::move(timestep.error()));
    // The lattice step is whole milliseconds; it must be at least one.
    if (!std::isfinite(*timestep) || *timestep * asset::MS_PER_YEAR < 1.0)
        return std::unexpected(invalid("TIMESTEP", util::number_text(*timestep)));

    auto flags = get_flag(*fd);
    if (!flags) return std::unexpected(std::move(flags.error()));
    auto prc_ts = get_typed<std::int64_t>(dataset, "PRICING_TS");
    if (!prc_ts) return std::unexpected(std::move(prc_ts.error()));

    return qfd::FD1FParams{std::move(*assets), *n_x, *max_x, 2 * *n_x + 1, *timestep, *prc_ts, *flags};
}

std::expected<qfd::BlackScholesCN, PyParseError> read_black_scholes(PyObject* dataset) {
    auto params = get_fd_1f(dataset);
    if (!params) return std::unexpected(std::move(params.error()));
    auto bs = get_dict(dataset, "BS");
    if (!bs) return std::unexpected(std::move(bs.error()));
    auto vol = get_typed<double>(*bs, "VOL");
    if (!vol) return std::unexpected(std::move(vol.error()));
    auto asset = get_str(*bs, "ASSET");
    if (!asset) return std::unexpected(std::move(asset.error()));
    return qfd::BlackScholesCN{std::move(*params), std::move(*asset), *vol};
}

std::expected<qfd::HullWhiteCN, PyParseError> read_hull_white(PyObject* dataset) {
    auto params = get_fd_1f(dataset);
    if (!params) return std::unexpected(std::move(params.error()));
    auto hw = get_dict(dataset, "HW");
    if (!hw) return std::unexpected(std::move(hw.error()));
    auto meanrev = get_typed<double>(*hw, "MEANREV");
    if (!meanrev) return std::unexpected(std::move(meanrev.error()));
    auto vol = get_typed<double>(*hw, "VOL");
    if (!vol) return std::unexpected(std::move(vol.error()));
    return qfd::HullWhiteCN{std::move(*params), *meanrev, *vol};
}

}  // namespace tamrix::python_module
