"""One figure of an analysis: waveform, log-mel spectrogram, chroma, onset envelope, pitch track.

Needs matplotlib (the optional extra ``sonavera[plot]``); it is imported only when a plot is made.
"""

from __future__ import annotations

import math

from sonavera import _core
from sonavera.analysis import PITCH_CLASSES, PITCH_MAX_HZ, PITCH_MIN_HZ, Analysis

INSTALL_HINT = "pip install 'sonavera[plot]'"
_WAVE_COLUMNS = 4000


class PlotUnavailable(Exception):
    """matplotlib is not installed."""


def figure_class():
    try:
        from matplotlib.figure import Figure
    except ImportError:
        message = f"--plot needs matplotlib, which is not installed; install it with: {INSTALL_HINT}"
        raise PlotUnavailable(message) from None
    return Figure


def _envelope(result: Analysis) -> tuple[list[float], list[float], list[float]]:
    """Times, minima and maxima of the waveform over at most _WAVE_COLUMNS columns."""
    samples, sr = result.samples, result.sample_rate
    step = max(1, math.ceil(len(samples) / _WAVE_COLUMNS))
    times, lows, highs = [], [], []
    for start in range(0, len(samples), step):
        chunk = samples[start : start + step]
        times.append(start / sr)
        lows.append(min(chunk))
        highs.append(max(chunk))
    return times, lows, highs


def _mel_ticks(sr: int, n_mels: int) -> tuple[list[float], list[str]]:
    """Positions on the band axis (band j centred at j + 0.5) and labels of round frequencies."""
    low, high = _core.hz_to_mel([0.0, sr / 2.0])
    ticks = [f for f in (100, 500, 1000, 2000, 4000, 8000, 16000) if f < sr / 2.0]
    # Band j peaks at edge point j + 1 of n_mels + 2 points spread evenly in mels from low to high.
    positions = [(m - low) / (high - low) * (n_mels + 1) - 0.5 for m in _core.hz_to_mel(ticks)]
    return positions, [str(f) for f in ticks]


def write_plot(result: Analysis, path: str, title: str) -> None:
    """Draws the analysis into ``path``; the file type follows its extension (.png, .svg, .pdf)."""
    Figure = figure_class()
    fig = Figure(figsize=(11, 10), layout="constrained")
    axes = fig.subplots(5, 1, sharex=True, height_ratios=[1, 2, 1.2, 1, 1.2])
    duration = len(result.samples) / result.sample_rate
    frame_times = result.frame_times
    hop_s = frame_times[1] - frame_times[0] if len(frame_times) > 1 else duration

    wave, mel, chroma, onset, pitch = axes
    times, lows, highs = _envelope(result)
    wave.fill_between(times, lows, highs, color="tab:blue", linewidth=0.5)
    wave.set_ylim(-1.05, 1.05)
    wave.set_ylabel("amplitude")
    wave.set_title(title)

    # The matrices hold every column_stride-th frame; each column is centred on its frame's time.
    width = hop_s * result.column_stride
    left = frame_times[0] - width / 2
    right = left + width * len(result.log_mel[0])
    top = max(max(row) for row in result.log_mel)
    mel.imshow(
        [list(row) for row in result.log_mel],
        origin="lower",
        aspect="auto",
        interpolation="nearest",
        extent=(left, right, 0, len(result.log_mel)),
        vmin=top - 80.0,
        vmax=top,
        cmap="magma",
    )
    mel.set_yticks(*_mel_ticks(result.sample_rate, len(result.log_mel)))
    mel.set_ylabel("frequency (Hz)\nmel scale, top 80 dB")

    chroma.imshow(
        [list(row) for row in result.chroma],
        origin="lower",
        aspect="auto",
        interpolation="nearest",
        extent=(left, right, -0.5, 11.5),
        vmin=0.0,
        vmax=1.0,
        cmap="Greys",
    )
    chroma.set_yticks(range(12), PITCH_CLASSES)
    chroma.set_ylabel("pitch class")

    onset.plot(frame_times, result.onset, color="tab:green", linewidth=0.8)
    peaks = result.onset_peaks
    onset.plot([frame_times[t] for t in peaks], [result.onset[t] for t in peaks], "v", color="tab:red")
    onset.set_ylabel("onset strength")

    voiced = [t for t, f in enumerate(result.pitch) if f > 0.0]
    pitch.plot(
        [frame_times[t] for t in voiced], [result.pitch[t] for t in voiced], ".", markersize=3, color="tab:purple"
    )
    pitch.set_yscale("log")
    low, high = result.summary["pitch"]["search_range_hz"] or (PITCH_MIN_HZ, PITCH_MAX_HZ)
    pitch.set_ylim(low, high)
    ticks = [f for f in (65, 110, 220, 440, 880, 1760) if low <= f <= high]
    pitch.set_yticks(ticks, [str(f) for f in ticks])
    pitch.minorticks_off()
    if not voiced:
        pitch.text(0.5, 0.5, "no voiced frames", transform=pitch.transAxes, ha="center", va="center")
    pitch.set_ylabel("pitch (Hz)")
    pitch.set_xlabel("time (s)")
    pitch.set_xlim(0.0, duration)
    fig.savefig(path)
