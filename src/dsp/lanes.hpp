// Vectors of single-precision lanes for kernels that run independent sums side by side. Lane
// arithmetic is plain IEEE single precision, the same operations as the scalar code, so a vector
// path and the scalar rule agree bit for bit.
#pragma once

namespace sonavera::dsp {

using Lanes4 = float __attribute__((vector_size(16)));  // SSE2: every x86-64 processor
using Lanes8 = float __attribute__((vector_size(32)));  // AVX2, where the processor has it

// Whether the kernels' 256-bit paths may run on this processor. Decided when the code runs, so
// one build serves every x86-64 machine.
inline bool has_avx2() noexcept {
#if defined(__x86_64__) || defined(__i386__)
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

}  // namespace sonavera::dsp
