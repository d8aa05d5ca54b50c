"""Repeated calls leave nothing behind: every function is called 20,000 times with well-formed
arguments and 20,000 times with arguments that fail at the various stages of a call, and
neither memory nor the reference counts of the argument objects grow.

Bounds, measured after a warm-up of 1,000 calls and a garbage collection at each end:
- the argument objects (containers, non-float elements, scalar objects) have exactly the
  reference counts they had before;
- the interpreter's allocated memory blocks grow by fewer than 500 (so fewer than one Python
  object is kept per 40 calls; every array here has a few hundred elements, so a leaked
  result or a leaked exception would add thousands);
- the resident memory grows by less than 2 MiB (a leaked native copy of one argument array
  alone would add 20 MiB or more).
The memory bounds are not checked under AddressSanitizer, whose quarantine keeps freed memory
resident on purpose and which replaces the interpreter's allocator.
"""

import gc
import os
import sys

import pytest

from catalogue import FUNCTIONS, failing_calls, quiet_stderr, well_formed_calls
from sanitizers import UNDER_ADDRESS_SANITIZER

CALLS = 20_000
WARM_UP = 1_000
MAX_BLOCK_GROWTH = 500
MAX_RESIDENT_GROWTH = 2 * 2**20


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def run(calls, count, internal_error_type):
    for i in range(count):
        call = calls[i % len(calls)]
        if call.raises is None:
            call()
            continue
        expected = internal_error_type if call.raises == "internal" else call.raises
        try:
            call()
        except expected:
            pass
        else:
            raise AssertionError(f"{call.name} did not raise {expected.__name__}")


@pytest.mark.parametrize("outcome", ["result", "failure"])
@pytest.mark.parametrize("name", FUNCTIONS)
def test_repeated_calls_keep_memory_and_references(name, outcome, internal_error_type):
    calls = [well_formed_calls()[name]] if outcome == "result" else failing_calls()[name]
    watched = [obj for call in calls for obj in call.objects()]

    with quiet_stderr():
        run(calls, WARM_UP, internal_error_type)
        gc.collect()
        references = [sys.getrefcount(obj) for obj in watched]
        blocks, resident = sys.getallocatedblocks(), resident_bytes()

        run(calls, CALLS, internal_error_type)
        gc.collect()
    block_growth, resident_growth = sys.getallocatedblocks() - blocks, resident_bytes() - resident

    after = [sys.getrefcount(obj) for obj in watched]
    changed = [(repr(obj)[:60], b, a) for obj, b, a in zip(watched, references, after) if a != b]
    assert not changed, f"reference counts changed (object, before, after): {changed[:3]}"
    if not UNDER_ADDRESS_SANITIZER:
        assert block_growth < MAX_BLOCK_GROWTH, f"{block_growth} more allocated blocks"
        assert resident_growth < MAX_RESIDENT_GROWTH, f"resident memory grew by {resident_growth} bytes"
