#include <math.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>

#include "common/failure.hpp"
#include "dsp/features.hpp"
#include "dsp/lanes.hpp"

namespace sonavera::dsp {

namespace {

// π rounded to single precision.
constexpr float kPi = 3.1415927410125732f;

// Bands whose sums run side by side, one band per vector lane: each band keeps its own
// accumulator and adds its bins in ascending order, exactly as a band computed alone would.
constexpr std::size_t kBandBlock = 32;


// The sums of the kBandBlock bands whose filter rows `columns` holds transposed (bin-major,
// kBandBlock weights per bin), for every frame, stored as rows first ... first + count - 1 of
// the feature-major result.
template <class Lanes>
[[gnu::always_inline]] inline void project_block(const float* mag, const float* columns, std::size_t n_frames,
                                                 std::size_t n_bins, std::size_t first, std::size_t count,
                                                 float* out) {
  constexpr std::size_t lanes = sizeof(Lanes) / sizeof(float);
  constexpr std::size_t vectors = kBandBlock / lanes;
  for (std::size_t t = 0; t < n_frames; ++t) {
    const float* frame = mag + t * n_bins;
    Lanes acc[vectors] = {};
    for (std::size_t b = 0; b < n_bins; ++b) {
      Lanes magnitude;
      for (std::size_t i = 0; i < lanes; ++i) magnitude[i] = frame[b];
      const float* weights = columns + b * kBandBlock;
      for (std::size_t v = 0; v < vectors; ++v) {
        Lanes weight;
        std::memcpy(&weight, weights + v * lanes, sizeof weight);
        const Lanes term = weight * magnitude;
        acc[v] = acc[v] + term;
      }
    }
    for (std::size_t i = 0; i < count; ++i) out[(first + i) * n_frames + t] = acc[i / lanes][i % lanes];
  }
}

void project_block_baseline(const float* mag, const float* columns, std::size_t n_frames, std::size_t n_bins,
                            std::size_t first, std::size_t count, float* out) {
  project_block<Lanes4>(mag, columns, n_frames, n_bins, first, count, out);
}

#if defined(__x86_64__) || defined(__i386__)
[[gnu::target("avx2")]] void project_block_avx2(const float* mag, const float* columns, std::size_t n_frames,
                                                std::size_t n_bins, std::size_t first, std::size_t count,
                                                float* out) {
  project_block<Lanes8>(mag, columns, n_frames, n_bins, first, count, out);
}
#endif

// Processors with 256-bit vectors run eight bands per instruction instead of four; the sums
// are the same either way.
void project(const float* mag, const float* columns, std::size_t n_frames, std::size_t n_bins, std::size_t first,
             std::size_t count, float* out) {
#if defined(__x86_64__) || defined(__i386__)
  if (has_avx2()) return project_block_avx2(mag, columns, n_frames, n_bins, first, count, out);
#endif
  project_block_baseline(mag, columns, n_frames, n_bins, first, count, out);
}

}  // namespace

std::vector<float> melspectrogram(std::span<const float> stft_mag, std::span<const float> mel_fb,
                                  std::uint64_t n_frames, std::uint64_t n_bins, std::uint64_t n_mels) {
  std::vector<float> out = make_array<float>(checked_size_mul(n_mels, n_frames), 0.0f);
  if (n_frames == 0 || n_mels == 0 || n_bins == 0) return out;
  require_length(mel_fb.size(), saturating_mul(n_mels, n_bins));
  require_length(stft_mag.size(), saturating_mul(n_frames, n_bins));

  // Every product below is now inside both arrays, so the counts fit in size_t.
  const auto frames = static_cast<std::size_t>(n_frames);
  const auto bins = static_cast<std::size_t>(n_bins);
  const auto mels = static_cast<std::size_t>(n_mels);
  // Each block of filter rows is transposed so that one bin's weights for all bands of the block
  // lie side by side; bands past the last filter get zero weights and are not stored.
  std::vector<float> columns = make_array<float>(checked_size_mul(n_bins, kBandBlock), 0.0f);
  for (std::size_t first = 0; first < mels; first += kBandBlock) {
    const std::size_t count = std::min(kBandBlock, mels - first);
    for (std::size_t b = 0; b < bins; ++b) {
      for (std::size_t i = 0; i < kBandBlock; ++i) {
        columns[b * kBandBlock + i] = i < count ? mel_fb[(first + i) * bins + b] : 0.0f;
      }
    }
    project(stft_mag.data(), columns.data(), frames, bins, first, count, out.data());
  }
  return out;
}

// The frame loop below runs eight frames per instruction on processors with 256-bit vectors and
// four on the others; each frame's sum is the same either way.
#if defined(__x86_64__)
[[gnu::target_clones("avx2", "default")]]
#endif
std::vector<float> mfcc(std::span<const float> log_mel, std::uint64_t n_mels, std::uint64_t n_frames,
                        std::uint64_t n_mfcc) {
  const std::uint64_t n_out = std::min(n_mfcc, n_mels);
  std::vector<float> out = make_array<float>(checked_size_mul(n_out, n_frames), 0.0f);
  if (n_frames == 0 || n_out == 0) return out;
  require_length(log_mel.size(), saturating_mul(n_mels, n_frames));

  const auto frames = static_cast<std::size_t>(n_frames);
  const float n_bands = static_cast<float>(n_mels);
  // The cosine of a (coefficient, band) pair is the same for every frame, so the frames run as
  // the innermost loop: each frame's coefficient still adds its bands one at a time in ascending
  // order, starting from the +0.0 the result was filled with, and each cosine is evaluated once
  // for all frames instead of once per frame.
  for (std::uint64_t k = 0; k < n_out; ++k) {
    const float a = static_cast<float>(k) * kPi;
    float* row = out.data() + k * frames;
    for (std::uint64_t n = 0; n < n_mels; ++n) {
      const float half = static_cast<float>(n) + 0.5f;
      const float phase = half * a;
      const float angle = phase / n_bands;
      const float basis = cosf(angle);
      const float* band = log_mel.data() + n * frames;
      for (std::size_t t = 0; t < frames; ++t) {
        const float term = basis * band[t];
        row[t] = row[t] + term;
      }
    }
  }
  return out;
}

}  // namespace sonavera::dsp
