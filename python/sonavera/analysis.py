"""The whole-signal analysis behind ``sonavera analyze``, built from the flat functions of ``_core``.

The signal is analysed in blocks of frames, so that the spectrogram of a long file never has to
be held in memory at once. Every frame is cut from the signal padded with ``N_FFT // 2`` zeros at
both ends, so frame t of every feature (spectral, RMS, pitch) is centred on sample t * HOP and
the results are the same, bit for bit, as from one call over the whole signal.
"""

from __future__ import annotations

import array
import math
import statistics
from collections.abc import Callable
from dataclasses import dataclass, field

from sonavera import _core

N_FFT = 2048
HOP = 512
N_MELS = 128
N_MFCC = 13
PITCH_MIN_HZ = 65.0  # C2
PITCH_MAX_HZ = 2093.0  # C7
# Frames quieter than this are silence, never voiced: YIN finds a perfect "period" in a frame of
# zeros, at the shortest lag it may report.
SILENCE_DBFS = -60.0
N_ONSETS = 5
# Onset peaks weaker than this share of the strongest one are not reported.
ONSET_FLOOR = 0.1
BLOCK_FRAMES = 256
# The plot needs no more spectrogram columns than it has pixels.
PLOT_COLUMNS = 2000
PITCH_CLASSES = ("C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B")

Progress = Callable[[int, int], None]


@dataclass
class Analysis:
    """The summary (JSON-ready) and the per-frame tracks the plot draws."""

    summary: dict
    samples: array.array
    sample_rate: int
    frame_times: list[float]
    rms: array.array
    pitch: array.array  # hertz; 0.0 where the frame is unvoiced or silent
    onset: array.array
    onset_peaks: list[int]
    # Every column_stride-th frame of the log-mel spectrogram and the chromagram, row-major by
    # band; empty unless asked for.
    column_stride: int = 1
    log_mel: list[array.array] = field(default_factory=list)
    chroma: list[array.array] = field(default_factory=list)


def note_name(hz: float) -> str:
    """The nearest equal-tempered note, e.g. "A3" for 220 Hz."""
    midi = round(_core.hz_to_midi([hz])[0])
    return f"{PITCH_CLASSES[midi % 12]}{midi // 12 - 1}"


def _zeros(n: int) -> array.array:
    return array.array("f", bytes(4 * n))


def _padded(samples: array.array, start: int, stop: int) -> array.array:
    """Samples start..stop-1 of the signal padded with N_FFT // 2 zeros at both ends."""
    lo, hi = start - N_FFT // 2, stop - N_FFT // 2
    body_lo, body_hi = max(lo, 0), min(hi, len(samples))
    out = _zeros(body_lo - lo)
    if body_lo < body_hi:
        out.extend(samples[body_lo:body_hi])
    out.extend(_zeros(stop - start - len(out)))
    return out


def _pitch_range(sr: int) -> tuple[float, float] | None:
    """The YIN search range for this rate, or None when the rate is too low to search any."""
    fmax = min(PITCH_MAX_HZ, sr / 2.0)
    try:
        _core.yin([], PITCH_MIN_HZ, fmax, float(sr), N_FFT, HOP)  # validates, computes nothing
    except ValueError:
        return None
    return PITCH_MIN_HZ, fmax


def _onset_peaks(onset: array.array) -> list[int]:
    """Frames of the strongest local maxima of the onset envelope, in time order."""
    n = len(onset)
    peaks = [
        t
        for t in range(n)
        if onset[t] > 0.0
        and (t == 0 or onset[t] >= onset[t - 1])
        and (t == n - 1 or onset[t] > onset[t + 1])
    ]
    if not peaks:
        return []
    floor = ONSET_FLOOR * max(onset[t] for t in peaks)
    strongest = sorted((t for t in peaks if onset[t] >= floor), key=lambda t: -onset[t])[:N_ONSETS]
    return sorted(strongest)


def _mean(total: float, count: int) -> float | None:
    return total / count if count else None


def analyze(
    samples: array.array,
    sr: int,
    *,
    keep_matrices: bool = False,
    progress: Progress | None = None,
) -> Analysis:
    """Analyses a mono signal of 32-bit floats (full scale 1.0) sampled at ``sr`` Hz."""
    length = len(samples)
    n_frames = length // HOP + 1
    stride = max(1, math.ceil(n_frames / PLOT_COLUMNS))
    mel_fb = _core.mel_filterbank(float(sr), N_FFT, N_MELS)
    pitch_range = _pitch_range(sr)

    rms, pitch, onset = array.array("f"), array.array("f"), array.array("f")
    log_mel_rows = [array.array("f") for _ in range(N_MELS if keep_matrices else 0)]
    chroma_rows = [array.array("f") for _ in range(12 if keep_matrices else 0)]
    shape_sums = {"centroid": 0.0, "bandwidth": 0.0, "rolloff": 0.0, "flatness": 0.0}
    mfcc_sums = [0.0] * N_MFCC
    chroma_sums = [0.0] * 12
    square_sum, peak, crossings = 0.0, 0.0, 0
    previous_frame: list[float] = []

    for t0 in range(0, n_frames, BLOCK_FRAMES):
        t1 = min(t0 + BLOCK_FRAMES, n_frames)
        block = _padded(samples, t0 * HOP, (t1 - 1) * HOP + N_FFT)
        values, nf, nb = _core.stft(block, n_fft=N_FFT, hop_length=HOP, center=False)
        re, im = values[0::2], values[1::2]
        # Frame-major, as every spectrogram function takes them.
        magnitude = [math.hypot(a, b) for a, b in zip(re, im)]
        power = [a * a + b * b for a, b in zip(re, im)]
        del values, re, im

        mel = _core.melspectrogram(power, mel_fb, nf, nb, N_MELS)  # feature-major, N_MELS x nf
        log_mel = _core.power_to_db(mel)
        coefficients = _core.mfcc(log_mel, N_MELS, nf, N_MFCC)
        chroma = _core.chroma_stft(power, float(sr), N_FFT, nf, nb)
        for k in range(N_MFCC):
            mfcc_sums[k] += math.fsum(coefficients[k * nf : (k + 1) * nf])
        for c in range(12):
            chroma_sums[c] += math.fsum(chroma[c * nf : (c + 1) * nf])
        for t in range(-t0 % stride, nf, stride):
            for j, row in enumerate(log_mel_rows):
                row.append(log_mel[j * nf + t])
            for c, row in enumerate(chroma_rows):
                row.append(chroma[c * nf + t])

        shape_sums["centroid"] += math.fsum(_core.spectral_centroid(magnitude, float(sr), N_FFT, nf, nb))
        shape_sums["bandwidth"] += math.fsum(_core.spectral_bandwidth(magnitude, float(sr), N_FFT, nf, nb))
        shape_sums["rolloff"] += math.fsum(_core.spectral_rolloff(magnitude, float(sr), N_FFT, nf, nb))
        shape_sums["flatness"] += math.fsum(_core.spectral_flatness(magnitude, nf, nb))
        # The flux of a block's first frame needs the last frame of the block before.
        flux = _core.onset_strength(previous_frame + magnitude, nf + (1 if t0 else 0), nb)
        onset.extend(flux[1:] if t0 else flux)
        previous_frame = magnitude[-nb:]

        rms.extend(_core.get_rms(block, N_FFT, HOP))
        if pitch_range is not None:
            pitch.extend(_core.yin(block, pitch_range[0], pitch_range[1], float(sr), N_FFT, HOP))

        # Level and zero crossings over the samples these frames are centred on.
        s, e = t0 * HOP, (length if t1 == n_frames else t1 * HOP)
        if s < e:
            square_sum += _core.get_rms(samples[s:e], e - s, e - s)[0] ** 2 * (e - s)
            peak = max(peak, max(map(abs, samples[s:e])))
            # pad=False leaves element 0 unflagged: the sample before s was counted with its block.
            crossings += sum(_core.zero_crossings(samples[max(s - 1, 0) : e], pad=False))
        if progress is not None:
            progress(t1, n_frames)

    rms_db = _core.amplitude_to_db(rms)
    if pitch_range is None:
        pitch = _zeros(n_frames)
    for t, level in enumerate(rms_db):
        if level < SILENCE_DBFS:
            pitch[t] = 0.0
    voiced = [f for f in pitch if f > 0.0]
    median = statistics.median(voiced) if voiced else None

    frame_times = _core.frames_to_time(list(range(n_frames)), sr=float(sr), hop_length=HOP)
    peaks = _onset_peaks(onset)
    level_rms, level_peak = _core.amplitude_to_db([math.sqrt(square_sum / length) if length else 0.0, peak])
    strongest_class = max(range(12), key=chroma_sums.__getitem__)
    chroma_top = chroma_sums[strongest_class]

    summary = {
        "duration_s": length / sr,
        "sample_rate_hz": sr,
        "samples": length,
        "level_dbfs": {"rms": level_rms, "peak": level_peak},
        "pitch": {
            "median_hz": median,
            "median_note": note_name(median) if median else None,
            "voiced_fraction": len(voiced) / n_frames,
            "search_range_hz": list(pitch_range) if pitch_range else None,
        },
        "spectral_means": {
            "centroid_hz": shape_sums["centroid"] / n_frames,
            "bandwidth_hz": shape_sums["bandwidth"] / n_frames,
            "rolloff_hz": shape_sums["rolloff"] / n_frames,
            "flatness": shape_sums["flatness"] / n_frames,
        },
        "zero_crossing_rate": _mean(crossings, length - 1),
        "chroma": {
            "strongest_pitch_class": PITCH_CLASSES[strongest_class] if chroma_top > 0.0 else None,
            # The mean profile, scaled so that the strongest class is 1.
            "profile": {
                name: (total / chroma_top if chroma_top > 0.0 else 0.0)
                for name, total in zip(PITCH_CLASSES, chroma_sums)
            },
        },
        "onsets": [{"time_s": frame_times[t], "strength": onset[t]} for t in peaks],
        "mfcc_means": [total / n_frames for total in mfcc_sums],
        "analysis": {"n_fft": N_FFT, "hop_length": HOP, "n_mels": N_MELS, "n_mfcc": N_MFCC, "frames": n_frames},
    }
    return Analysis(
        summary=summary,
        samples=samples,
        sample_rate=sr,
        frame_times=frame_times,
        rms=rms,
        pitch=pitch,
        onset=onset,
        onset_peaks=peaks,
        column_stride=stride,
        log_mel=log_mel_rows,
        chroma=chroma_rows,
    )
