"""Kernels that pick their vector width when they run give the same bits on every processor.

The same computations run twice: natively (with 256-bit vectors where this processor has them)
and under an emulated processor without AVX, which takes the baseline paths. Every result must
be identical to the bit. FFT-based functions are left out: the FFT library's own choice of
kernels may change the last bit, which its results allow."""

import os
import shutil
import subprocess
import sys

import pytest
from sanitizers import UNDER_ADDRESS_SANITIZER

SCRIPT = r"""
import hashlib, struct
import numpy as np
from sonavera import _core

rng = np.random.default_rng(11)
def values(n, spread=6):
    return (rng.standard_normal(n) * 10.0 ** rng.uniform(-spread / 2, spread / 2, n)).astype(np.float32).tolist()

signal = (np.sin(np.arange(9000) * 0.0713) + 0.3 * rng.standard_normal(9000)).astype(np.float32).tolist()
cases = {
    "yin": _core.yin(signal, 60.0, 2000.0, frame_length=1024, hop_length=301),
    "yin-short-frames": _core.yin(signal, 900.0, 5000.0, frame_length=77, hop_length=5),
    "melspectrogram": _core.melspectrogram(values(37 * 203), values(70 * 203), 37, 203, 70),
    "melspectrogram-narrow": _core.melspectrogram(values(9 * 5), values(3 * 5), 9, 5, 3),
    "mfcc": _core.mfcc(values(40 * 53), 40, 53, 13),
    "mfcc-odd": _core.mfcc(values(7 * 3), 7, 3, 9),
    "chroma_stft": _core.chroma_stft(values(31 * 129), 22050.0, 256, 31, 129),
    "spectral_bandwidth": _core.spectral_bandwidth(np.abs(values(31 * 129)), 22050.0, 256, 31, 129),
    "spectral_flatness": _core.spectral_flatness(np.abs(values(31 * 129)), 31, 129),
    "onset_strength": _core.onset_strength(values(31 * 129), 31, 129),
    "amplitude_to_db": _core.amplitude_to_db(values(1001), top_db=60.0),
    "mu_compress": _core.mu_compress(values(1001, 2), quantize=True),
    "get_rms": _core.get_rms(signal, frame_length=301, hop_length=17),
    "to_mono": _core.to_mono(values(3 * 999), 3),
    "resample": _core.resample(signal, 44100.0, 16000.0),
}
for name, result in cases.items():
    print(name, hashlib.sha256(struct.pack(f"{len(result)}d", *result)).hexdigest())
"""


def run(prefix):
    completed = subprocess.run([*prefix, sys.executable, "-c", SCRIPT], capture_output=True, text=True,
                               timeout=600, env={**os.environ, "PYTHONDONTWRITEBYTECODE": "1"})
    assert completed.returncode == 0, completed.stderr
    return dict(line.split() for line in completed.stdout.splitlines())


def cpu_has_avx2():
    with open("/proc/cpuinfo") as cpuinfo:
        return " avx2" in cpuinfo.read()


@pytest.mark.skipif(os.uname().machine != "x86_64", reason="the vector paths are chosen on x86-64 only")
@pytest.mark.skipif(UNDER_ADDRESS_SANITIZER, reason="the emulator cannot carry the sanitizer's runtime")
def test_vector_and_baseline_paths_agree_to_the_bit():
    qemu = shutil.which("qemu-x86_64")
    if qemu is None:
        pytest.skip("qemu-x86_64 (Debian's qemu-user) is needed to emulate a processor without AVX")
    if not cpu_has_avx2():
        pytest.skip("this processor has no AVX2: both runs would take the same path")
    native = run([])
    baseline = run([qemu, "-cpu", "Nehalem"])
    assert native.keys() == baseline.keys()
    differing = [name for name in native if native[name] != baseline[name]]
    assert not differing, f"vector and baseline paths differ for {differing}"
