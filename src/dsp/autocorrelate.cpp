#include <algorithm>

#include "common/failure.hpp"
#include "dsp/fft.hpp"
#include "dsp/time_domain.hpp"

namespace sonavera::dsp {

std::vector<float> autocorrelate(std::span<const float> y, std::optional<std::uint64_t> max_size) {
  const std::uint64_t n = y.size();
  const std::uint64_t lags = max_size ? std::min(n, *max_size) : n;
  if (n == 0) return {};

  // A power of two of at least 2n - 1 keeps the circular correlation of the transforms from
  // wrapping around: it then equals the linear one at every returned lag.
  const std::uint64_t needed = 2 * n - 1;
  std::uint64_t size = 1;
  while (size < needed) size *= 2;

  // The signal is real and so is its power spectrum: the real transforms compute the same
  // complex transforms without their redundant halves.
  RealFftBuffer buffer(size);
  RealFftPlan forward(buffer, FftDirection::forward);
  RealFftPlan inverse(buffer, FftDirection::inverse);

  float* samples = buffer.samples();
  std::copy(y.begin(), y.end(), samples);
  std::fill(samples + n, samples + size, 0.0f);

  forward.execute();
  std::complex<float>* bins = buffer.bins();
  for (std::uint64_t k = 0; k <= size / 2; ++k) {
    const float re = bins[k].real();
    const float im = bins[k].imag();
    const float re_squared = re * re;
    const float im_squared = im * im;
    bins[k] = {re_squared + im_squared, 0.0f};
  }
  inverse.execute();

  // The round trip multiplies by the transform length; a division (not a multiplication by
  // the reciprocal) undoes it.
  const float scale = static_cast<float>(size);
  std::vector<float> result = reserve_array<float>(lags);
  for (std::uint64_t k = 0; k < lags; ++k) result.push_back(samples[k] / scale);
  return result;
}

}  // namespace sonavera::dsp
