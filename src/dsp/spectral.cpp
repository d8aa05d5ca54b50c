#include "dsp/spectral.hpp"

#include <cmath>
#include <limits>

#include "common/failure.hpp"
#include "dsp/fft.hpp"
#include "dsp/window.hpp"

namespace sonavera::dsp {

StftResult stft(std::span<const float> y, std::uint64_t n_fft, std::optional<std::uint64_t> hop_length,
                std::optional<std::uint64_t> win_length, bool center) {
  const std::uint64_t hop = hop_length.value_or(n_fft / 4);
  const std::uint64_t window_length = win_length.value_or(n_fft);
  if (n_fft == 0) throw InvalidValue("n_fft must be > 0");
  if (hop == 0) throw InvalidValue("hop_length must be > 0");

  // Of a window longer than the frame only its first n_fft values are used; a shorter one is
  // followed by zeros.
  const std::vector<float> window = hann_window_frame(window_length, n_fft);

  // The centred signal is padded with n_fft / 2 zeros on both sides. The padding is not
  // materialised: positions outside the signal read as zero.
  const std::uint64_t pad = center ? n_fft / 2 : 0;
  const std::uint64_t padded_length = checked_size_add(y.size(), 2 * pad);
  if (center) check_byte_count(padded_length, sizeof(float));

  StftResult result;
  result.n_bins = n_fft / 2 + 1;
  result.n_frames = padded_length < n_fft ? 0 : (padded_length - n_fft) / hop + 1;
  result.values = reserve_array<float>(checked_size_mul(checked_size_mul(result.n_frames, result.n_bins), 2));

  // Frames are real, so the real transform gives the same bins without the redundant half.
  RealFftBuffer frame(n_fft);
  RealFftPlan forward(frame, FftDirection::forward);
  float* samples = frame.samples();
  const std::complex<float>* bins = frame.bins();
  for (std::uint64_t t = 0; t < result.n_frames; ++t) {
    const std::uint64_t start = t * hop;  // frame t covers padded positions start .. start + n_fft - 1
    bool has_nan = false;
    for (std::uint64_t k = 0; k < n_fft; ++k) {
      const std::uint64_t position = start + k;
      const float sample = position >= pad && position - pad < y.size() ? y[position - pad] : 0.0f;
      // Formed even where the window is zero, so an infinite sample still turns its frame NaN.
      const float windowed = sample * window[k];
      has_nan |= std::isnan(windowed);
      samples[k] = windowed;
    }
    forward.execute();
    if (has_nan) {
      // Every term of every bin's sum multiplies the NaN sample by a twiddle factor, and a
      // complex product with a NaN factor is NaN in both parts. The FFT skips the products with
      // trivial twiddles and would leave some imaginary parts at 0; the definition does not.
      result.values.insert(result.values.end(), 2 * result.n_bins, std::numeric_limits<float>::quiet_NaN());
      continue;
    }
    for (std::uint64_t k = 0; k < result.n_bins; ++k) {
      result.values.push_back(bins[k].real());
      result.values.push_back(bins[k].imag());
    }
  }
  return result;
}

std::vector<float> istft(std::span<const float> stft_re, std::span<const float> stft_im, std::uint64_t n_frames,
                         std::uint64_t n_bins, std::uint64_t hop_length, std::uint64_t win_length, bool center) {
  if (n_bins == 0) throw InvalidValue("n_bins must be > 0");

  // n_fft = 2 n_bins - 2 and the output length n_fft + (n_frames - 1) hop are computed with
  // overflow detection: a length that does not fit is an array no machine can hold.
  const std::uint64_t n_fft = checked_size_mul(n_bins - 1, 2);
  const std::vector<float> window = hann_window_frame(win_length, n_fft);
  const std::uint64_t length =
      n_frames == 0 ? 0 : checked_size_add(n_fft, checked_size_mul(n_frames - 1, hop_length));
  std::vector<float> signal = make_array<float>(length, 0.0f);
  std::vector<float> weight = make_array<float>(length, 0.0f);

  FftBuffer frame(n_fft);
  FftPlan inverse(frame, FftDirection::inverse);
  if (n_frames > 0) {
    const std::uint64_t needed = saturating_mul(n_frames, n_bins);
    // Each frame reads its real part before its imaginary part, so the shorter array fails first.
    if (stft_re.size() <= stft_im.size()) {
      require_length(stft_re.size(), needed);
      require_length(stft_im.size(), needed);
    } else {
      require_length(stft_im.size(), needed);
      require_length(stft_re.size(), needed);
    }
  }

  const float scale = static_cast<float>(n_fft);
  for (std::uint64_t i = 0; i < n_frames; ++i) {
    const std::uint64_t base = i * n_bins;
    // Bins 0 .. n_bins - 1, then the conjugates of bins n_bins - 2 down to 1: the full spectrum
    // of a real frame. With one bin there is nothing to transform (n_fft = 0).
    if (n_fft > 0) {
      for (std::uint64_t k = 0; k < n_bins; ++k) frame[k] = {stft_re[base + k], stft_im[base + k]};
      for (std::uint64_t k = n_bins - 2; k >= 1; --k) {
        frame[n_fft - k] = {stft_re[base + k], -stft_im[base + k]};
      }
    }
    inverse.execute();
    const std::uint64_t start = i * hop_length;
    for (std::uint64_t l = 0; l < n_fft; ++l) {
      const std::uint64_t p = start + l;
      const float product = frame[l].real() * window[l];
      const float sample = product / scale;
      signal[p] = sample + signal[p];
      const float power = window[l] * window[l];
      weight[p] = power + weight[p];
    }
  }

  // Divide by the summed window power only where it is not negligible (a NaN sum is left alone).
  for (std::uint64_t p = 0; p < length; ++p) {
    if (weight[p] > 1e-8f) signal[p] = signal[p] / weight[p];
  }

  if (center && length > n_fft) {
    const std::uint64_t trim = n_fft / 2;
    signal.erase(signal.end() - static_cast<std::ptrdiff_t>(trim), signal.end());
    signal.erase(signal.begin(), signal.begin() + static_cast<std::ptrdiff_t>(trim));
  }
  return signal;
}

}  // namespace sonavera::dsp
