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

}  // namespace sonavera::dsp
