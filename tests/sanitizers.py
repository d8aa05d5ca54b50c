"""Whether this process runs under AddressSanitizer (the runtime preloaded for the sanitizer
build of the module), for the few tests that cannot run there."""

import pytest


def _address_sanitizer_loaded():
    try:
        with open("/proc/self/maps") as maps:
            return any("libasan" in line for line in maps)
    except OSError:
        return False


UNDER_ADDRESS_SANITIZER = _address_sanitizer_loaded()

# AddressSanitizer's operator new reports an allocation it cannot satisfy and aborts the process
# instead of throwing std::bad_alloc, so a MemoryError cannot be observed under it.
needs_real_allocator = pytest.mark.skipif(
    UNDER_ADDRESS_SANITIZER, reason="AddressSanitizer aborts on an unsatisfiable allocation")
