// Failure types shared by the kernels and the binding layer, and the small checks that raise them.
// Nothing here knows about Python: the binding layer translates these exceptions in one place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <source_location>
#include <stdexcept>
#include <string>
#include <vector>

namespace sonavera {

// An argument value the function rejects; the message is the fixed text the caller sees.
class InvalidValue : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A failure inside the native code: a read past an array, an integer division by zero, a size
// whose byte count exceeds the addressable range. Carries where it was detected so that the
// diagnostic written before the Python exception can name the source location.
class InternalFailure : public std::runtime_error {
 public:
  InternalFailure(const std::string& message, std::source_location where)
      : std::runtime_error(message), where_(where) {}
  const std::source_location& where() const noexcept { return where_; }

 private:
  std::source_location where_;
};

// A function whose computation is not available in this build.
class NotImplementedYet : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

[[noreturn]] void fail_internal(const std::string& message,
                                std::source_location where = std::source_location::current());

// The text used for every failed array read, so that all of them read alike.
std::string out_of_bounds_message(std::uint64_t index, std::uint64_t length);

// Returns `index` when it lies inside an array of `length` elements, fails otherwise.
inline std::size_t checked_index(std::uint64_t index, std::size_t length,
                                 std::source_location where = std::source_location::current()) {
  if (index >= length) fail_internal(out_of_bounds_message(index, length), where);
  return static_cast<std::size_t>(index);
}

// Fails, naming the first missing element, unless an array of `length` elements holds `needed`.
// Kernels that read every element below `needed` in ascending order call this before the first
// read; the outcome is the same as failing at the first missing read, without a test per element.
inline void require_length(std::size_t length, std::uint64_t needed,
                           std::source_location where = std::source_location::current()) {
  if (needed > length) fail_internal(out_of_bounds_message(length, length), where);
}

// a × b, or UINT64_MAX when the product does not fit: a count of elements that no array can
// hold, which every length check then rejects.
inline std::uint64_t saturating_mul(std::uint64_t a, std::uint64_t b) noexcept {
  std::uint64_t product;
  if (__builtin_mul_overflow(a, b, &product)) return std::numeric_limits<std::uint64_t>::max();
  return product;
}

// a × b and a + b for sizes: an overflow means a size no array can have.
std::uint64_t checked_size_mul(std::uint64_t a, std::uint64_t b,
                               std::source_location where = std::source_location::current());
std::uint64_t checked_size_add(std::uint64_t a, std::uint64_t b,
                               std::source_location where = std::source_location::current());

// Fails unless `count` elements of `element_size` bytes stay within the largest signed 64-bit
// byte count. Called before every allocation whose size comes from the caller.
void check_byte_count(std::uint64_t count, std::size_t element_size,
                      std::source_location where = std::source_location::current());

// A new array of `count` copies of `fill`, after the byte-count check.
template <class T>
std::vector<T> make_array(std::uint64_t count, T fill = T{},
                          std::source_location where = std::source_location::current()) {
  check_byte_count(count, sizeof(T), where);
  return std::vector<T>(static_cast<std::size_t>(count), fill);
}

// An empty array with room for `count` elements, after the byte-count check.
template <class T>
std::vector<T> reserve_array(std::uint64_t count,
                             std::source_location where = std::source_location::current()) {
  check_byte_count(count, sizeof(T), where);
  std::vector<T> array;
  array.reserve(static_cast<std::size_t>(count));
  return array;
}

}  // namespace sonavera
