// Finite-difference derivatives of the Levenberg-Marquardt optimiser: the
// Jacobian of every step, the extrapolated Jacobian of the statistics and
// the curvature shares of the sum of squares.

#include <algorithm>
#include <cmath>

#include "model/globals.h"
#include "optimizers/marq.h"

namespace marq {

namespace {

constexpr double tiny_derivative = 1.0000000000000001e-7;
constexpr double curvature_step = 1.5811388300841896e-6;
constexpr double flat_kappa = 3.162277660168379e-8;

bool active(int j) { return common_data::pmask[static_cast<std::size_t>(j)] != 0; }

// The evaluation with parameter j moved by h; p is restored.
void probe(const Data& d, std::span<double> p, int npr, int j, double h, Eval& e) {
    double& pj = p[static_cast<std::size_t>(j)];
    const double keep = pj;
    pj = keep + h;
    funy(d, p, npr, e);
    pj = keep;
}

// Central difference of every row between two evaluations, step h.
void central(const Eval& plus, const Eval& minus, double h, std::vector<double>& out) {
    out.resize(plus.yfit.size());
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = (plus.yfit[i] - minus.yfit[i]) / (2.0 * h);
}

std::size_t rows_of(const Data& d) { return static_cast<std::size_t>(std::max(d.nd, 0)); }

}  // namespace

void fjac21(const Data& d, std::span<double> p, int npr, kalvor::Matrix& jac, Eval& at) {
    const std::size_t rows = rows_of(d);
    jac.resize(rows, static_cast<std::size_t>(npr));
    Eval plus, minus;
    std::vector<double> diff;
    for (int j = 0; j < npr; ++j) {
        if (!active(j)) continue;
        const double pj = p[static_cast<std::size_t>(j)];
        double h = 1e-5 * std::max(std::fabs(pj), 1e-7);
        if (!(h > 4.44e-16)) h = 1e-7;
        probe(d, p, npr, j, h, plus);
        probe(d, p, npr, j, -h, minus);
        central(plus, minus, h, diff);
        for (std::size_t i = 0; i < rows; ++i) {
            const double v = diff[i];
            double& entry = jac(i, static_cast<std::size_t>(j));
            if (std::isnan(v))
                entry = 1.01e-7;
            else if (std::fabs(v) > 4.44e-16)
                entry = std::clamp(v, -4.52e15, 4.52e15) + 1e-9;
            else
                entry = (v < 0.0 ? -tiny_derivative : tiny_derivative) + 1e-9;
        }
    }
    funy(d, p, npr, at);
}

void fjac_richardson(const Data& d, std::span<double> p, int npr, kalvor::Matrix& jac) {
    const std::size_t rows = rows_of(d);
    jac.resize(rows, static_cast<std::size_t>(npr));
    Eval plus, minus;
    std::vector<double> d1, d2, d3;
    for (int j = 0; j < npr; ++j) {
        if (!active(j)) continue;
        double h = 1e-5 * (std::max(std::fabs(p[static_cast<std::size_t>(j)]), 1e-7) + 1.0);
        if (!(h > 4.4408920985006264e-20)) h = tiny_derivative;
        std::vector<double>* diffs[3] = {&d1, &d2, &d3};
        for (int s = 0; s < 3; ++s) {
            const double step = h * static_cast<double>(1 << s);
            probe(d, p, npr, j, step, plus);
            probe(d, p, npr, j, -step, minus);
            central(plus, minus, step, *diffs[s]);
        }
        for (std::size_t i = 0; i < rows; ++i) {
            const double a = d1[i] - d2[i];
            const double v = d1[i] + 0.4 * a + (a - (d2[i] - d3[i])) / 45.0;
            double& entry = jac(i, static_cast<std::size_t>(j));
            if (std::isnan(v))
                entry = tiny_derivative;
            else if (std::fabs(v) <= 4.4408920985006264e-20)
                entry = v < 0.0 ? -tiny_derivative : tiny_derivative;
            else
                entry = std::clamp(v, -4.503599727262001e19, 4.503599727262001e19);
        }
    }
}

void curvature(const Data& d, std::span<double> p, int npr, std::span<double> shares) {
    Data plain = d;
    plain.kind = kind_none;
    Eval e;
    funy(plain, p, npr, e);
    const double s0 = e.ssq;
    std::vector<double> kappa;
    double sum = 0.0;
    for (int j = 0; j < npr; ++j) {
        if (!active(j)) continue;
        const auto jj = static_cast<std::size_t>(j);
        const double pj = p[jj];
        const double h = (std::fabs(pj) + curvature_step) * curvature_step;
        probe(plain, p, npr, j, -h, e);
        const double below = (e.ssq + 1e-15) / s0;
        probe(plain, p, npr, j, h, e);
        const double above = (e.ssq + 1e-15) / s0;
        const double g = 0.5 * (above - below) / h;
        const double q = 1.0 + g * g;
        double c;
        if (pj + h > common_data::pboundhi[jj])
            c = (below - 1.0) / (h * h);
        else if (pj - h < common_data::pboundlo[jj])
            c = (above - 1.0) / (h * h);
        else
            c = (below + above - 2.0) / (2.0 * h * h);
        double k = c / (q * std::sqrt(q));
        if (k == 0.0) k = flat_kappa / (q * std::sqrt(q));
        kappa.push_back(k + 1e-15);
        sum += std::fabs(kappa.back());
    }
    std::fill(shares.begin(), shares.begin() + npr, 0.0);
    if (kappa.empty()) return;

    sum = std::min(sum, 1e15);
    std::vector<double> share(kappa.size());
    bool flat = kappa.back() <= flat_kappa;
    for (std::size_t k = 0; k < kappa.size(); ++k) {
        share[k] = std::fabs(kappa[k]) / sum + 5e-6;
        flat = flat || std::isnan(share[k]);
    }
    if (flat) std::fill(share.begin(), share.end(), 1.0 / static_cast<double>(share.size()));
    double total = 0.0;
    for (const double v : share) total += v;
    for (std::size_t k = 0; k < share.size(); ++k)
        shares[k] = std::trunc(share[k] / total * 100.0 * 1000.0 + 0.5) / 1000.0;
}

}  // namespace marq
