#include "qfd/crank.hpp"

#include <string>

#include "util/internal_error.hpp"

namespace tamrix::qfd {

namespace {

void require_entries(const Tridiagonal& t, std::size_t v_len, const char* what) {
    const std::size_t n = t.size;
    if (t.lower.size() < n || t.diag.size() < n || t.upper.size() < n || v_len < n)
        throw InternalError(std::string("Tridiagonal ") + what + " of size " + std::to_string(n) +
                            " with too short vectors");
}

}  // namespace

ValueVec Tridiagonal::product(const ValueVec& v) const {
    require_entries(*this, v.size(), "product");
    const std::size_t n = size;
    ValueVec y(n);
    if (n == 0) return y;
    if (n == 1) {
        y[0] = diag[0] * v[0];
        return y;
    }
    y[0] = upper[0] * v[1] + diag[0] * v[0];
    for (std::size_t i = 1; i + 1 < n; ++i) y[i] = upper[i] * v[i + 1] + (diag[i] * v[i] + lower[i] * v[i - 1]);
    y[n - 1] = diag[n - 1] * v[n - 1] + lower[n - 1] * v[n - 2];
    return y;
}

ValueVec Tridiagonal::solve(const ValueVec& d) const {
    require_entries(*this, d.size(), "solve");
    const std::size_t n = size;
    if (n == 0) return {};
    ValueVec b(diag.begin(), diag.begin() + static_cast<std::ptrdiff_t>(n));
    ValueVec x(d.begin(), d.begin() + static_cast<std::ptrdiff_t>(n));
    for (std::size_t i = 1; i < n; ++i) {
        const double m = lower[i] / b[i - 1];
        b[i] -= upper[i - 1] * m;
        x[i] -= m * x[i - 1];
    }
    x[n - 1] /= b[n - 1];
    for (std::size_t i = n - 1; i-- > 0;) x[i] = (x[i] - upper[i] * x[i + 1]) / b[i];
    return x;
}

CnMatrices cn_matrices(std::size_t n, double b, const ValueVec& c, const ValueVec& e) {
    if ((c.size() != n && c.size() != 1) || (e.size() != n && e.size() != 1))
        throw InternalError("Crank-Nicolson terms of lengths " + std::to_string(c.size()) + " and " +
                            std::to_string(e.size()) + " on a grid of " + std::to_string(n) + " nodes");
    Tridiagonal p{ValueVec(n), ValueVec(n), ValueVec(n), n};
    for (std::size_t i = 0; i < n; ++i) {
        const double ci = util::bcast(c, i);
        p.lower[i] = -b - ci;
        p.diag[i] = 2.0 * b - 1.0 + util::bcast(e, i);
        p.upper[i] = ci - b;
    }
    if (n >= 2) {
        const double c0 = util::bcast(c, 0);
        p.diag[0] = -1.0 - 2.0 * c0 + util::bcast(e, 0);
        p.upper[0] = 2.0 * c0;
        const double cl = util::bcast(c, n - 1);
        p.lower[n - 1] = -2.0 * cl;
        p.diag[n - 1] = -1.0 + 2.0 * cl + util::bcast(e, n - 1);
    } else if (n == 1) {
        p.diag[0] = -1.0 + util::bcast(e, 0);  // a lone node only discounts
    }
    Tridiagonal q{ValueVec(n), ValueVec(n), ValueVec(n), n};
    for (std::size_t i = 0; i < n; ++i) {
        q.lower[i] = -p.lower[i];
        q.diag[i] = -2.0 - p.diag[i];
        q.upper[i] = -p.upper[i];
    }
    return CnMatrices{std::move(q), std::move(p)};
}

std::expected<StepSpan, model::ModelError> step_span(const FD1FParams& p, const FdState& s, std::int64_t t) {
    const double t_s = asset::year_fraction(s.ts, p.prc_ts);
    const double t_a = asset::year_fraction(t, p.prc_ts);
    const auto r = p.assets.discount_rate(t_s, t_a);
    if (!r) return std::unexpected(model::ModelError(r.error()));
    return StepSpan{t_s, t_a, asset::year_fraction(s.ts, t), *r};
}

}  // namespace tamrix::qfd
