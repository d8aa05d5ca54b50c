"""Calls from several Python threads at once give exactly what the same calls give one after
another: the functions share no state, and a call interrupted while it converts its arguments
(element objects run Python code, where the interpreter may switch threads) is not disturbed by
the calls that run meanwhile."""

import random
import sys
import threading

from catalogue import failing_calls, quiet_stderr, well_formed_calls

THREADS = 4
ROUNDS = 25


def outcome(call):
    """What a call gives, in a form that compares to the bit (repr tells -0.0 from 0.0)."""
    try:
        return "result", repr(call())
    except BaseException as exc:  # noqa: BLE001 - internal errors lie outside Exception
        return "raised", type(exc).__qualname__, str(exc)


def test_concurrent_calls_match_sequential_calls():
    calls = list(well_formed_calls().values()) + [c for cs in failing_calls().values() for c in cs]
    with quiet_stderr():
        expected = [outcome(call) for call in calls]
        start = threading.Barrier(THREADS)
        mismatches = []

        def worker(seed):
            order = list(range(len(calls)))
            random.Random(seed).shuffle(order)  # each thread runs the mix in its own order
            start.wait()
            for _ in range(ROUNDS):
                for i in order:
                    got = outcome(calls[i])
                    if got != expected[i]:
                        mismatches.append((calls[i].name, got[:2], expected[i][:2]))

        interval = sys.getswitchinterval()
        sys.setswitchinterval(1e-6)  # switch threads as often as the interpreter allows
        try:
            threads = [threading.Thread(target=worker, args=(seed,)) for seed in range(THREADS)]
            for thread in threads:
                thread.start()
            for thread in threads:
                thread.join()
        finally:
            sys.setswitchinterval(interval)

    assert any(kind == "result" for kind, *_ in expected) and any(kind == "raised" for kind, *_ in expected)
    assert not mismatches, f"{len(mismatches)} calls differed from their sequential outcome: {mismatches[:3]}"
