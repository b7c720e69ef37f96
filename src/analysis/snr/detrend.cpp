#include "analysis/snr/detrend.hpp"

#include <Eigen/Dense>
#include <Eigen/SVD>
#include <cmath>
#include <algorithm>
#include <optional>
#include <string>

namespace skyrift {

namespace {

constexpr double kMachineEpsilon = 2.220446049250313e-16;
constexpr std::size_t kMinSamplesForFit = 12;

Detrended remove_mean(std::span<const double> values) {
    double sum = 0.0;
    for (double v : values) sum += v;
    const double mean = sum / static_cast<double>(values.size());
    Detrended out;
    out.residual.reserve(values.size());
    for (double v : values) out.residual.push_back(v - mean);
    return out;
}

// Time mapped to [0, 1] over the arc; the span is never taken below one second.
Eigen::VectorXd normalised_time(std::span<const double> t) {
    const std::size_t n = t.size();
    const double span = std::max(t[n - 1] - t[0], 1.0);
    Eigen::VectorXd x(static_cast<Eigen::Index>(n));
    for (std::size_t i = 0; i < n; ++i) x[static_cast<Eigen::Index>(i)] = (t[i] - t[0]) / span;
    return x;
}

Eigen::MatrixXd design_matrix(const Eigen::VectorXd& x, std::size_t order) {
    const Eigen::Index n = x.size(), cols = static_cast<Eigen::Index>(order) + 1;
    Eigen::MatrixXd a(n, cols);
    for (Eigen::Index i = 0; i < n; ++i) {
        double p = 1.0;
        for (Eigen::Index j = 0; j < cols; ++j) {
            a(i, j) = p;
            p *= x[i];
        }
    }
    return a;
}

// Least squares through the SVD with singular values at or below σmax·n·ε dropped.
std::optional<Eigen::VectorXd> truncated_svd_solve(const Eigen::MatrixXd& a,
                                                   const Eigen::VectorXd& v) {
    // A non-finite matrix would give the decomposition nothing meaningful to converge to.
    if (!a.allFinite()) return std::nullopt;
    const Eigen::JacobiSVD<Eigen::MatrixXd> svd(a, Eigen::ComputeThinU | Eigen::ComputeThinV);
    if (svd.info() != Eigen::Success) return std::nullopt;
    const Eigen::VectorXd& sigma = svd.singularValues();
    const double eps = (sigma.size() > 0 ? sigma.maxCoeff() : 0.0) *
                       static_cast<double>(a.rows()) * kMachineEpsilon;
    Eigen::VectorXd utv = svd.matrixU().transpose() * v;
    for (Eigen::Index i = 0; i < sigma.size(); ++i) {
        utv[i] = sigma[i] > eps ? utv[i] / sigma[i] : 0.0;
    }
    return Eigen::VectorXd(svd.matrixV() * utv);
}

}  // namespace

Result<Detrended> detrend_arc(std::span<const double> times, std::span<const double> values,
                              std::size_t max_order) {
    if (times.size() != values.size()) {
        return GnssError::other("t and values must have the same length");
    }
    const std::size_t n = values.size();
    if (n == 0) return Detrended{};
    if (n < kMinSamplesForFit || max_order < 2) return remove_mean(values);

    const std::size_t highest = std::min(max_order, (n - 1) / 3);  // largest k with 3·k < n
    if (highest > kMaxDetrendOrder) {
        return GnssError::other("max_order too large: at most " +
                                std::to_string(kMaxDetrendOrder) + " orders can be fitted");
    }
    const Eigen::VectorXd x = normalised_time(times);
    const Eigen::Map<const Eigen::VectorXd> v(values.data(), static_cast<Eigen::Index>(n));
    std::optional<Detrended> best;
    double best_rms = 0.0;
    for (std::size_t k = 2; k <= max_order && 3 * k < n; ++k) {
        const Eigen::MatrixXd a = design_matrix(x, k);
        const std::optional<Eigen::VectorXd> c = truncated_svd_solve(a, v);
        if (!c) continue;
        const Eigen::VectorXd fit = a * *c;
        Detrended candidate;
        candidate.order = k;
        candidate.residual.resize(n);
        double ss = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            const double r = values[i] - fit[static_cast<Eigen::Index>(i)];
            candidate.residual[i] = r;
            ss += r * r;
        }
        const double rms = std::sqrt(ss / static_cast<double>(n));
        // NaN compares false: a NaN RMS never replaces, and is never replaced.
        if (!best || rms < best_rms) {
            best = std::move(candidate);
            best_rms = rms;
        }
    }
    if (!best) return remove_mean(values);
    return std::move(*best);
}

}  // namespace skyrift
