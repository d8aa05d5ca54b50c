"""Sizes far beyond the machine. A call whose arrays would exceed the addressable range fails
with the internal error before it allocates anything; one whose arrays are representable but
cannot be had fails with MemoryError. Neither touches memory it did not get, and the module
works normally afterwards.

The representable sizes lie beyond the 47-bit user address space (2**50 single-precision values
are 4 PiB), so no allocator can satisfy them, whatever the machine's overcommit policy."""

import resource

import pytest

from sonavera import _core

from catalogue import quiet_stderr
from sanitizers import needs_real_allocator

BEYOND = 2**62  # values: 2**64 bytes, more than the largest signed 64-bit byte count
UNSATISFIABLE = 2**50  # values: 2**52 bytes, representable but beyond any address space

ADDRESS_RANGE = {
    "stft window": lambda: _core.stft([], n_fft=2**64 - 1),
    "istft transform length": lambda: _core.istft([], [], 1, 2**63 + 1),
    "istft output length": lambda: _core.istft([], [], BEYOND, 2, hop_length=2),
    "mel_filterbank filter count": lambda: _core.mel_filterbank(22050.0, 0, n_mels=2**64 - 1),
    "mel_filterbank matrix": lambda: _core.mel_filterbank(22050.0, 0, n_mels=BEYOND),
    "mel_filterbank bins": lambda: _core.mel_filterbank(22050.0, 2**64 - 2, n_mels=1),
    "melspectrogram": lambda: _core.melspectrogram([], [], 2**32, 1, 2**32),
    "mfcc": lambda: _core.mfcc([], 2**40, 2**40, 2**40),
    "chroma_stft": lambda: _core.chroma_stft([], 22050.0, 2048, 2**61, 1025),
    "spectral_centroid frames": lambda: _core.spectral_centroid([], 22050.0, 2048, BEYOND, 1),
    "spectral_centroid bins": lambda: _core.spectral_centroid([], 22050.0, 2048, 1, BEYOND),
    "spectral_bandwidth": lambda: _core.spectral_bandwidth([], 22050.0, 2048, BEYOND, 1),
    "spectral_rolloff": lambda: _core.spectral_rolloff([], 22050.0, 2048, 1, BEYOND),
    "spectral_flatness": lambda: _core.spectral_flatness([], BEYOND, 1),
    "onset_strength": lambda: _core.onset_strength([], BEYOND, 1),
    "resample infinite ratio": lambda: _core.resample([1.0], 1e-45, 3e38),
}

UNSATISFIABLE_CALLS = {
    "stft window": lambda: _core.stft([], n_fft=UNSATISFIABLE, center=False),
    "istft transform length": lambda: _core.istft([], [], 1, UNSATISFIABLE // 2 + 1),
    "istft output length": lambda: _core.istft([], [], 2**40 + 1, 2, hop_length=2**10),
    "mel_filterbank": lambda: _core.mel_filterbank(22050.0, 0, n_mels=UNSATISFIABLE),
    "melspectrogram": lambda: _core.melspectrogram([], [], 2**25, 1, 2**25),
    "mfcc": lambda: _core.mfcc([], 2**25, 2**25, 2**25),
    "chroma_stft": lambda: _core.chroma_stft([], 22050.0, 2048, 2**46, 1025),
    "spectral_centroid": lambda: _core.spectral_centroid([], 22050.0, 2048, UNSATISFIABLE, 1),
    "spectral_bandwidth": lambda: _core.spectral_bandwidth([], 22050.0, 2048, 1, UNSATISFIABLE),
    "spectral_rolloff": lambda: _core.spectral_rolloff([], 22050.0, 2048, UNSATISFIABLE, 1),
    "spectral_flatness": lambda: _core.spectral_flatness([], UNSATISFIABLE, 1),
    "onset_strength": lambda: _core.onset_strength([], UNSATISFIABLE, 1),
    "resample": lambda: _core.resample([1.0], 1.0, float(UNSATISFIABLE)),
}


def peak_resident_bytes():
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024


def still_works():
    """Ordinary calls after the failure give their ordinary results."""
    assert _core.stft([0.0] * 8, n_fft=4, hop_length=2, center=False) == ([0.0] * 6 * 3, 3, 3)
    assert _core.autocorrelate([2.0]) == [4.0]
    assert _core.to_mono([1.0, 2.0, 3.0, 4.0], 2) == [2.0, 3.0]
    assert _core.hz_to_mel([1000.0]) == [14.999999999999998]


@pytest.mark.parametrize("call", ADDRESS_RANGE.values(), ids=ADDRESS_RANGE.keys())
def test_beyond_the_address_range_is_an_internal_error_before_allocating(call, internal_error_type):
    # Had the call tried to allocate first, these sizes would have raised MemoryError.
    with quiet_stderr(), pytest.raises(internal_error_type, match="overflow"):
        call()
    still_works()


@needs_real_allocator
@pytest.mark.parametrize("call", UNSATISFIABLE_CALLS.values(), ids=UNSATISFIABLE_CALLS.keys())
def test_unsatisfiable_allocation_is_memory_error(call):
    peak = peak_resident_bytes()
    with pytest.raises(MemoryError):
        call()
    still_works()
    assert peak_resident_bytes() - peak < 64 * 2**20, "memory was touched before the failure"
