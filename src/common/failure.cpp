#include "common/failure.hpp"

namespace sonavera {

void fail_internal(const std::string& message, std::source_location where) {
  throw InternalFailure(message, where);
}

std::string out_of_bounds_message(std::uint64_t index, std::uint64_t length) {
  return "index out of bounds: the len is " + std::to_string(length) + " but the index is " +
         std::to_string(index);
}

namespace {

[[noreturn]] void size_overflow(std::uint64_t a, const char* operation, std::uint64_t b, std::source_location where) {
  fail_internal("size computation overflows: " + std::to_string(a) + operation + std::to_string(b), where);
}

}  // namespace

std::uint64_t checked_size_mul(std::uint64_t a, std::uint64_t b, std::source_location where) {
  std::uint64_t product;
  if (__builtin_mul_overflow(a, b, &product)) size_overflow(a, " * ", b, where);
  return product;
}

std::uint64_t checked_size_add(std::uint64_t a, std::uint64_t b, std::source_location where) {
  std::uint64_t sum;
  if (__builtin_add_overflow(a, b, &sum)) size_overflow(a, " + ", b, where);
  return sum;
}

void check_byte_count(std::uint64_t count, std::size_t element_size, std::source_location where) {
  constexpr auto limit = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  if (count > limit / element_size) {
    fail_internal("capacity overflow: " + std::to_string(count) + " elements of " +
                      std::to_string(element_size) + " bytes exceed the addressable range",
                  where);
  }
}

}  // namespace sonavera
