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
        auto f = get_flag(section->get());
        if (!f) return std::unexpected(std::move(f.error()));
        flags = *f;
    }
    return qdt::Fixed(qdt::FixedParams{std::move(*assets), *prc_ts, flags});
}

namespace {

PyParseError invalid(const char* key, std::string value) {
    return PyParseError{PyParseError::InvalidValue{key, std::move(value)}};
}

// Values the grid cannot work with, checked once every key has been read so
// that a missing or mistyped key is still the first failure reported.
std::expected<void, PyParseError> check_grid(const qfd::FD1FParams& p) {
    // 2 * n_x + 1 nodes must be countable.
    if (p.n_x == 0 || p.n_x > (std::numeric_limits<std::uint64_t>::max() - 1) / 2)
        return std::unexpected(invalid("N_X", std::to_string(p.n_x)));
    if (!std::isfinite(p.max_x) || p.max_x <= 0.0) return std::unexpected(invalid("MAX_X", util::number_text(p.max_x)));
    // The lattice step is whole milliseconds; it must be at least one.
    if (!std::isfinite(p.timestep) || p.timestep * asset::MS_PER_YEAR < 1.0)
        return std::unexpected(invalid("TIMESTEP", util::number_text(p.timestep)));
    return {};
}

}  // namespace

std::expected<qfd::FD1FParams, PyParseError> get_fd_1f(PyObject* dataset) {
    auto assets = create_assets(dataset);
    if (!assets) return std::unexpected(std::move(assets.error()));
    auto fd = get_dict(dataset, "FD");
    if (!fd) return std::unexpected(std::move(fd.error()));

    auto n_x = get_typed<std::uint64_t>(fd->get(), "N_X");
    if (!n_x) return std::unexpected(std::move(n_x.error()));

    auto max_x = get_typed<double>(fd->get(), "MAX_X");
    if (!max_x) return std::unexpected(std::move(max_x.error()));

    auto timestep = get_typed<double>(fd->get(), "TIMESTEP");
    if (!timestep) return std::unexpected(std::move(timestep.error()));

    auto flags = get_flag(fd->get());
    if (!flags) return std::unexpected(std::move(flags.error()));
    auto prc_ts = get_typed<std::int64_t>(dataset, "PRICING_TS");
    if (!prc_ts) return std::unexpected(std::move(prc_ts.error()));

    return qfd::FD1FParams{std::move(*assets), *n_x, *max_x, *n_x * 2 + 1, *timestep, *prc_ts, *flags};
}

std::expected<qfd::BlackScholesCN, PyParseError> read_black_scholes(PyObject* dataset) {
    auto params = get_fd_1f(dataset);
    if (!params) return std::unexpected(std::move(params.error()));
    auto bs = get_dict(dataset, "BS");
    if (!bs) return std::unexpected(std::move(bs.error()));
    auto vol = get_typed<double>(bs->get(), "VOL");
    if (!vol) return std::unexpected(std::move(vol.error()));
    auto asset = get_str(bs->get(), "ASSET");
    if (!asset) return std::unexpected(std::move(asset.error()));
    if (auto ok = check_grid(*params); !ok) return std::unexpected(std::move(ok.error()));
    return qfd::BlackScholesCN{std::move(*params), std::move(*asset), *vol};
}

std::expected<qfd::HullWhiteCN, PyParseError> read_hull_white(PyObject* dataset) {
    auto params = get_fd_1f(dataset);
    if (!params) return std::unexpected(std::move(params.error()));
    auto hw = get_dict(dataset, "HW");
    if (!hw) return std::unexpected(std::move(hw.error()));
    auto meanrev = get_typed<double>(hw->get(), "MEANREV");
    if (!meanrev) return std::unexpected(std::move(meanrev.error()));
    auto vol = get_typed<double>(hw->get(), "VOL");
    if (!vol) return std::unexpected(std::move(vol.error()));
    if (auto ok = check_grid(*params); !ok) return std::unexpected(std::move(ok.error()));
    return qfd::HullWhiteCN{std::move(*params), *meanrev, *vol};
}

}  // namespace tamrix::python_module
