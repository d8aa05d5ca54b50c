// Complex single-precision FFTs of any length, unscaled, in place, planned per call.
#pragma once

#include <complex>
#include <cstdint>

namespace sonavera::dsp {

// An aligned buffer of complex single-precision values, owned and freed by this object.
class FftBuffer {
 public:
  explicit FftBuffer(std::uint64_t size);
  ~FftBuffer();
  FftBuffer(const FftBuffer&) = delete;
  FftBuffer& operator=(const FftBuffer&) = delete;

  std::complex<float>* data() noexcept { return data_; }
  std::complex<float>& operator[](std::uint64_t i) noexcept { return data_[i]; }
  std::uint64_t size() const noexcept { return size_; }

 private:
  std::complex<float>* data_ = nullptr;
  std::uint64_t size_ = 0;
};

enum class FftDirection {
  forward,  // X[k] = sum_n x[n] e^(-2 pi i k n / N)
  inverse,  // x[n] = sum_k X[k] e^(+2 pi i k n / N), not divided by N
};

// A transform of the whole buffer, applied in place. The plan is made once (estimated, never
// measured, so planning does not touch the data) and destroyed with this object.
// Lengths 0 and 1 are the identity and need no plan.
class FftPlan {
 public:
  FftPlan(FftBuffer& buffer, FftDirection direction);
  ~FftPlan();
  FftPlan(const FftPlan&) = delete;
  FftPlan& operator=(const FftPlan&) = delete;

  void execute() noexcept;

 private:
  void* plan_ = nullptr;
};

// The buffer of a transform of `length` real values: those values, or the length / 2 + 1
// non-negative-frequency bins of their spectrum (the other bins are the conjugates of these), in
// the same memory.
class RealFftBuffer {
 public:
  explicit RealFftBuffer(std::uint64_t length);
  RealFftBuffer(const RealFftBuffer&) = delete;
  RealFftBuffer& operator=(const RealFftBuffer&) = delete;

  float* samples() noexcept { return reinterpret_cast<float*>(bins_.data()); }
  std::complex<float>* bins() noexcept { return bins_.data(); }
  std::uint64_t length() const noexcept { return length_; }

 private:
  std::uint64_t length_;
  FftBuffer bins_;
};

// A transform of a real signal, in place: forward from the samples to the bins, inverse from
// the bins to the samples (unscaled, so a round trip multiplies by the length). It is the
// complex transform of the same values, computed without the redundant half.
class RealFftPlan {
 public:
  RealFftPlan(RealFftBuffer& buffer, FftDirection direction);
  ~RealFftPlan();
  RealFftPlan(const RealFftPlan&) = delete;
  RealFftPlan& operator=(const RealFftPlan&) = delete;

  void execute() noexcept;

 private:
  RealFftBuffer& buffer_;
  FftDirection direction_;
  void* plan_ = nullptr;
};

}  // namespace sonavera::dsp
