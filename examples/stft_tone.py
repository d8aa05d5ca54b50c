"""Computes the STFT of a generated 440 Hz tone and prints where its energy lies."""

import math

from sonavera import _core

SR = 22050
N_FFT = 2048
HOP = 512

tone = [0.5 * math.sin(2 * math.pi * 440.0 * n / SR) for n in range(SR)]  # one second
values, n_frames, n_bins = _core.stft(tone, n_fft=N_FFT, hop_length=HOP)
print(f"signal: {len(tone)} samples at {SR} Hz, a 440 Hz sine of amplitude 0.5")
print(f"stft:   {n_frames} frames x {n_bins} bins (n_fft {N_FFT}, hop {HOP}), {len(values)} floats interleaved")

middle = n_frames // 2
frame = values[2 * middle * n_bins:2 * (middle + 1) * n_bins]
magnitudes = [math.hypot(frame[2 * k], frame[2 * k + 1]) for k in range(n_bins)]
peak = max(range(n_bins), key=magnitudes.__getitem__)
print(f"frame {middle}: strongest bin {peak} at {peak * SR / N_FFT:.1f} Hz, magnitude {magnitudes[peak]:.1f}")
for k in range(peak - 2, peak + 3):
    bar = "#" * round(40 * magnitudes[k] / magnitudes[peak])
    print(f"  bin {k:4d} {k * SR / N_FFT:8.1f} Hz {magnitudes[k]:8.2f} {bar}")

re, im = values[0::2], values[1::2]
back = _core.istft(re, im, n_frames, n_bins, hop_length=HOP, win_length=N_FFT)
error = max(abs(a - b) for a, b in zip(back, tone))
print(f"istft:  {len(back)} samples back, largest deviation from the tone {error:.2e}")
