#include "dsp/fft.hpp"

#include <fftw3.h>

#include <new>

#include "common/failure.hpp"

namespace sonavera::dsp {

FftBuffer::FftBuffer(std::uint64_t size) : size_(size) {
  check_byte_count(size, sizeof(std::complex<float>));
  if (size == 0) return;
  data_ = reinterpret_cast<std::complex<float>*>(
      fftwf_malloc(static_cast<std::size_t>(size) * sizeof(std::complex<float>)));
  if (data_ == nullptr) throw std::bad_alloc();
}

FftBuffer::~FftBuffer() { fftwf_free(data_); }

FftPlan::FftPlan(FftBuffer& buffer, FftDirection direction) {
  if (buffer.size() <= 1) return;
  fftwf_iodim64 dim{static_cast<std::ptrdiff_t>(buffer.size()), 1, 1};
  auto* data = reinterpret_cast<fftwf_complex*>(buffer.data());
  int sign = direction == FftDirection::forward ? FFTW_FORWARD : FFTW_BACKWARD;
  plan_ = fftwf_plan_guru64_dft(1, &dim, 0, nullptr, data, data, sign, FFTW_ESTIMATE);
  if (plan_ == nullptr) fail_internal("the FFT planner could not plan a transform of length " +
                                      std::to_string(buffer.size()));
}

FftPlan::~FftPlan() {
  if (plan_ != nullptr) fftwf_destroy_plan(static_cast<fftwf_plan>(plan_));
}

void FftPlan::execute() noexcept {
  if (plan_ != nullptr) fftwf_execute(static_cast<fftwf_plan>(plan_));
}

RealFftBuffer::RealFftBuffer(std::uint64_t length)
    : length_(length), bins_(length == 0 ? 0 : length / 2 + 1) {}

RealFftPlan::RealFftPlan(RealFftBuffer& buffer, FftDirection direction) : buffer_(buffer), direction_(direction) {
  if (buffer.length() <= 1) return;
  fftwf_iodim64 dim{static_cast<std::ptrdiff_t>(buffer.length()), 1, 1};
  auto* bins = reinterpret_cast<fftwf_complex*>(buffer.bins());
  plan_ = direction == FftDirection::forward
              ? fftwf_plan_guru64_dft_r2c(1, &dim, 0, nullptr, buffer.samples(), bins, FFTW_ESTIMATE)
              : fftwf_plan_guru64_dft_c2r(1, &dim, 0, nullptr, bins, buffer.samples(), FFTW_ESTIMATE);
  if (plan_ == nullptr) fail_internal("the FFT planner could not plan a real transform of length " +
                                      std::to_string(buffer.length()));
}

RealFftPlan::~RealFftPlan() {
  if (plan_ != nullptr) fftwf_destroy_plan(static_cast<fftwf_plan>(plan_));
}

void RealFftPlan::execute() noexcept {
  if (plan_ != nullptr) {
    fftwf_execute(static_cast<fftwf_plan>(plan_));
  } else if (buffer_.length() == 1) {
    // One value is its own transform; only the layout differs.
    if (direction_ == FftDirection::forward) {
      buffer_.bins()[0] = {buffer_.samples()[0], 0.0f};
    } else {
      buffer_.samples()[0] = buffer_.bins()[0].real();
    }
  }
}

}  // namespace sonavera::dsp
