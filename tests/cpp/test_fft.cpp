// The FFT's cache blocking, paired stages, vector code and pruned start must give the
// very bits of the plain radix-2 algorithm; Python can only compare to a tolerance.
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "analysis/snr/fft.hpp"
#include "check.hpp"

using skyrift::FftPlan;

// The textbook loop: bit reversal, a table w[k] = (cos kθ/N, sin kθ/N), stages len = 2 … N.
static void plain_fft(std::vector<double>& re, std::vector<double>& im, bool inverse) {
    const std::size_t n = re.size();
    unsigned bits = 0;
    while ((std::size_t{1} << bits) < n) ++bits;
    for (std::size_t i = 0; i < n; ++i) {
        std::size_t r = 0;
        for (unsigned b = 0; b < bits; ++b) r |= ((i >> b) & 1) << (bits - 1 - b);
        if (i < r) {
            std::swap(re[i], re[r]);
            std::swap(im[i], im[r]);
        }
    }
    const double theta = inverse ? 6.283185307179586 : -6.283185307179586;
    std::vector<double> wr(n / 2), wi(n / 2);
    for (std::size_t k = 0; k < n / 2; ++k) {
        wr[k] = std::cos(static_cast<double>(k) * theta / static_cast<double>(n));
        wi[k] = std::sin(static_cast<double>(k) * theta / static_cast<double>(n));
    }
    for (std::size_t len = 2; len <= n; len <<= 1) {
        const std::size_t half = len / 2, stride = n / len;
        for (std::size_t b = 0; b < n; b += len) {
            for (std::size_t l = 0; l < half; ++l) {
                const double xr = re[b + half + l], xi = im[b + half + l];
                const double ur = wr[l * stride] * xr - wi[l * stride] * xi;
                const double ui = wr[l * stride] * xi + wi[l * stride] * xr;
                const double vr = re[b + l], vi = im[b + l];
                re[b + l] = vr + ur;
                im[b + l] = vi + ui;
                re[b + half + l] = vr - ur;
                im[b + half + l] = vi - ui;
            }
        }
    }
    if (inverse) {
        for (std::size_t i = 0; i < n; ++i) {
            re[i] *= 1.0 / static_cast<double>(n);
            im[i] *= 1.0 / static_cast<double>(n);
        }
    }
}

static bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

int main() {
    std::mt19937_64 rng(3);
    std::normal_distribution<double> normal;
    for (std::size_t n : {1ul, 2ul, 4ul, 8ul, 32ul, 1024ul, 8192ul, 65536ul}) {
        for (bool inverse : {false, true}) {
            std::vector<double> re(n), im(n);
            for (std::size_t i = 0; i < n; ++i) re[i] = normal(rng), im[i] = normal(rng);
            std::vector<double> want_re = re, want_im = im;
            plain_fft(want_re, want_im, inverse);
            FftPlan(n, inverse).execute(re.data(), im.data());
            for (std::size_t i = 0; i < n; ++i) {
                if (!same_bits(re[i], want_re[i]) || !same_bits(im[i], want_im[i])) {
                    cpptest::fail("n=%zu inverse=%d differs at %zu", n, inverse, i);
                    break;
                }
            }
        }
    }
    // Input non-zero only for k = 1 … K: copying each value over its block and starting
    // at that block's stage gives the full transform's power bit for bit.
    for (std::size_t n : {8ul, 1024ul, 16384ul}) {
        for (std::size_t K : {1ul, 3ul, 17ul, 300ul}) {
            if (K >= n) continue;
            const FftPlan plan(n, true);
            std::vector<double> re(n, 0.0), im(n, 0.0), pre(n, 0.0), pim(n, 0.0);
            for (std::size_t k = 1; k <= K; ++k) {
                re[k] = normal(rng);
                im[k] = normal(rng);
                pre[plan.reversed(k)] = re[k];
                pim[plan.reversed(k)] = im[k];
            }
            plan.execute(re.data(), im.data());
            const std::size_t block = n / skyrift::next_power_of_two(K + 1);
            for (std::size_t i = 0; i < n; i += block) {
                for (std::size_t j = 1; j < block; ++j) pre[i + j] = pre[i], pim[i + j] = pim[i];
            }
            plan.execute_bit_reversed(pre.data(), pim.data(), block);
            for (std::size_t i = 0; i < n; ++i) {
                if (!same_bits(re[i] * re[i] + im[i] * im[i], pre[i] * pre[i] + pim[i] * pim[i])) {
                    cpptest::fail("pruned n=%zu K=%zu differs at %zu", n, K, i);
                    break;
                }
            }
        }
    }
    return cpptest::finish("fft");
}
