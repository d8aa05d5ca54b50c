"""The benchmark cases: for each function of the core, a realistic input, our call, and the same
computation as a careful NumPy/SciPy user would write it. Both sides take the same Python lists
and return Python lists, so the comparison includes getting data in and out of Python."""

import math

import numpy as np
import scipy.fft
from numpy.lib.stride_tricks import sliding_window_view

from sonavera import _core

SR = 22050
N_FFT = 2048
HOP = 512
N_MELS = 128
N_MFCC = 20
F32 = np.float32


def make_signal():
    """30 s at 22050 Hz: two tones, one gliding, in a little noise."""
    rng = np.random.default_rng(2026)
    t = np.arange(30 * SR) / SR
    tone = 0.4 * np.sin(2 * np.pi * 220.0 * t) + 0.2 * np.sin(2 * np.pi * 330.0 * t * (1 + t / 60))
    return (tone + 0.05 * rng.standard_normal(t.size)).astype(F32)


def make_inputs():
    rng = np.random.default_rng(2027)
    signal = make_signal()
    values, n_frames, n_bins = _core.stft(signal.tolist(), n_fft=N_FFT, hop_length=HOP)
    spectrum = np.asarray(values, F32).reshape(n_frames, n_bins, 2)
    magnitude = np.hypot(spectrum[..., 0], spectrum[..., 1]).astype(F32)
    mel_fb = _core.mel_filterbank(SR, N_FFT, N_MELS)
    mel = np.asarray(_core.melspectrogram(magnitude.ravel().tolist(), mel_fb, n_frames, n_bins, N_MELS), F32)
    return {
        "signal": signal.tolist(),
        "stereo": np.concatenate([signal, signal[::-1]]).tolist(),
        "re": spectrum[..., 0].ravel().tolist(),
        "im": spectrum[..., 1].ravel().tolist(),
        "n_frames": n_frames,
        "n_bins": n_bins,
        "mag": magnitude.ravel().tolist(),
        "power": (magnitude.ravel() ** 2).tolist(),
        "mel_fb": mel_fb,
        "log_mel": np.log(mel + F32(1e-6)).tolist(),
        "db": (rng.uniform(-80, 0, signal.size).astype(F32)).tolist(),
        "hz": rng.uniform(0, 11025, 100_000).tolist(),
        "mels": rng.uniform(0, 60, 100_000).tolist(),
        "notes": rng.uniform(0, 127, 100_000).tolist(),
        "frames": rng.integers(0, 100_000, 100_000).tolist(),
        "times": rng.uniform(0, 600, 100_000).tolist(),
    }


def hann32(n):
    i = np.arange(n, dtype=F32)
    return ((F32(1) - np.cos(i * F32(6.2831855) / F32(n - 1))) * F32(0.5)).astype(F32)


def frame_matrix(inp):
    return np.asarray(inp["mag"], F32).reshape(inp["n_frames"], inp["n_bins"])


def bin_freqs(n_bins):
    return (np.arange(n_bins, dtype=F32) * F32(SR) / F32(N_FFT)).astype(F32)


# --- peers ------------------------------------------------------------------------------------

def peer_stft(inp):
    x = np.pad(np.asarray(inp["signal"], F32), N_FFT // 2)
    frames = sliding_window_view(x, N_FFT)[::HOP] * hann32(N_FFT)
    spectrum = scipy.fft.rfft(frames, axis=1)
    return spectrum.view(F32).ravel().tolist(), spectrum.shape[0], spectrum.shape[1]


def peer_istft(inp):
    n_frames, n_bins = inp["n_frames"], inp["n_bins"]
    spectrum = np.empty((n_frames, n_bins), np.complex64)
    spectrum.real = np.asarray(inp["re"], F32).reshape(n_frames, n_bins)
    spectrum.imag = np.asarray(inp["im"], F32).reshape(n_frames, n_bins)
    window = hann32(N_FFT)
    frames = scipy.fft.irfft(spectrum, n=N_FFT, axis=1) * window
    length = N_FFT + (n_frames - 1) * HOP
    y = np.zeros(length, F32)
    weight = np.zeros(length, F32)
    for i in range(n_frames):
        y[i * HOP:i * HOP + N_FFT] += frames[i]
        weight[i * HOP:i * HOP + N_FFT] += window * window
    np.divide(y, weight, out=y, where=weight > F32(1e-8))
    return y[N_FFT // 2:length - N_FFT // 2].tolist()


def peer_to_db(factor, amin):
    def run(inp):
        x = np.asarray(inp["power"] if factor == 10 else inp["mag"], F32)
        y = F32(factor) * np.log10(np.maximum(np.abs(x), F32(amin)))
        np.maximum(y, np.nanmax(y) - F32(80), out=y)
        return y.tolist()
    return run


def peer_from_db(divisor):
    return lambda inp: np.power(F32(10), np.asarray(inp["db"], F32) / F32(divisor)).tolist()


def peer_zero_crossings(inp):
    x = np.asarray(inp["signal"], F32)
    negative = np.signbit(np.where(np.abs(x) <= F32(1e-10), F32(0), x))
    flags = np.empty(x.size, bool)
    flags[0] = True
    np.not_equal(negative[1:], negative[:-1], out=flags[1:])
    return flags.tolist()


def peer_autocorrelate(inp):
    x = np.asarray(inp["signal"], F32)
    n = 1 << (2 * x.size - 1 - 1).bit_length()
    spectrum = scipy.fft.rfft(x, n)
    power = spectrum.real * spectrum.real + spectrum.imag * spectrum.imag
    return scipy.fft.irfft(power, n)[:x.size].tolist()


def peer_mu_compress(inp):
    x = np.asarray(inp["signal"], F32)
    mu = F32(255)
    return (np.sign(x) * np.log1p(mu * np.abs(x)) / np.log1p(mu)).tolist()


def peer_mu_expand(inp):
    x = np.asarray(inp["signal"], F32)
    mu = F32(255)
    return (np.sign(x) * (np.power(F32(1) + mu, np.abs(x)) - F32(1)) / mu).tolist()


def peer_to_mono(inp):
    return np.asarray(inp["stereo"], F32).reshape(2, -1).mean(axis=0).tolist()


def peer_resample(inp):
    x = np.asarray(inp["signal"], F32)
    ratio = F32(22050) / F32(44100)
    m = math.ceil(x.size * ratio)
    positions = np.arange(m, dtype=F32) / ratio
    return np.interp(positions, np.arange(x.size, dtype=F32), x, right=0.0).astype(F32).tolist()


def peer_get_rms(inp):
    frames = sliding_window_view(np.asarray(inp["signal"], F32), N_FFT)[::HOP]
    return np.sqrt(np.einsum("ij,ij->i", frames, frames) / F32(N_FFT)).tolist()


def mel_f32(hz):
    hz = np.asarray(hz, F32)
    linear = hz / F32(200 / 3)
    with np.errstate(divide="ignore"):
        log = np.log(hz / F32(1000)) / F32(math.log(6.4) / 27) + F32(15)
    return np.where(hz < 1000, linear, log).astype(F32)


def hz_f32(mel):
    mel = np.asarray(mel, F32)
    return np.where(mel < 15, mel * F32(200 / 3), np.exp((mel - F32(15)) * F32(math.log(6.4) / 27)) * F32(1000)).astype(F32)


def peer_mel_filterbank(inp):
    points = hz_f32(np.linspace(mel_f32(0.0), mel_f32(SR / 2), N_MELS + 2, dtype=F32))
    freqs = bin_freqs(N_FFT // 2 + 1)
    lower, centre, upper = points[:-2, None], points[1:-1, None], points[2:, None]
    rising = (freqs - lower) / (centre - lower)
    falling = (upper - freqs) / (upper - centre)
    weights = np.maximum(0, np.minimum(rising, falling))
    return weights.ravel().tolist()


def peer_melspectrogram(inp):
    fb = np.asarray(inp["mel_fb"], F32).reshape(N_MELS, -1)
    return (fb @ frame_matrix(inp).T).ravel().tolist()


def peer_mfcc(inp):
    log_mel = np.asarray(inp["log_mel"], F32).reshape(N_MELS, -1)
    return (scipy.fft.dct(log_mel, type=2, axis=0)[:N_MFCC] * F32(0.5)).ravel().tolist()


def peer_chroma(inp):
    mag = frame_matrix(inp)
    freqs = bin_freqs(mag.shape[1])[1:]
    classes = np.round(12 * np.log2(freqs / F32(440)) + 69).astype(np.int64) % 12
    chroma = np.zeros((12, mag.shape[0]), F32)
    for c in range(12):
        chroma[c] = mag[:, 1:][:, classes == c].sum(axis=1)
    norm = np.sqrt(np.einsum("ct,ct->t", chroma, chroma))
    np.divide(chroma, norm, out=chroma, where=norm > F32(1e-8))
    return chroma.ravel().tolist()


def centroids(mag, freqs):
    total = mag.sum(axis=1)
    safe = np.where(total < F32(1e-10), F32(1), total)
    return np.where(total < F32(1e-10), F32(0), (mag @ freqs) / safe), total


def peer_centroid(inp):
    mag = frame_matrix(inp)
    return centroids(mag, bin_freqs(mag.shape[1]))[0].tolist()


def peer_bandwidth(inp):
    mag = frame_matrix(inp)
    freqs = bin_freqs(mag.shape[1])
    centre, total = centroids(mag, freqs)
    deviation = np.einsum("tk,tk->t", (freqs[None, :] - centre[:, None]) ** 2, mag)
    safe = np.where(total < F32(1e-10), F32(1), total)
    return np.where(total < F32(1e-10), F32(0), np.sqrt(deviation / safe)).tolist()


def peer_rolloff(inp):
    mag = frame_matrix(inp)
    cumulative = np.cumsum(mag, axis=1)
    threshold = cumulative[:, -1:] * F32(0.85)
    return bin_freqs(mag.shape[1])[np.argmax(cumulative >= threshold, axis=1)].tolist()


def peer_flatness(inp):
    mag = frame_matrix(inp)
    mean = mag.mean(axis=1)
    geometric = np.exp(np.log(mag.astype(np.float64) + 1e-10).mean(axis=1)).astype(F32)
    return np.where(mean < F32(1e-10), F32(0), geometric / mean).tolist()


def peer_onset(inp):
    mag = frame_matrix(inp)
    flux = np.zeros(mag.shape[0], F32)
    flux[1:] = np.maximum(np.diff(mag, axis=0), 0).sum(axis=1)
    return flux.tolist()


def peer_yin(inp, fmin=65.0, fmax=2093.0, frame_length=2048, hop=512, threshold=0.1):
    x = np.asarray(inp["signal"], F32)
    frames = sliding_window_view(x, frame_length)[::hop].astype(np.float64)
    min_period = int(np.floor(SR / fmax))
    max_period = min(frame_length // 2, int(np.ceil(SR / fmin)))
    # Difference function through the FFT: d(tau) = E(0..W-tau) + E(tau..W) - 2 r(tau).
    n = 1 << (2 * frame_length - 1).bit_length()
    spectrum = scipy.fft.rfft(frames, n, axis=1)
    r = scipy.fft.irfft(spectrum * spectrum.conj(), n, axis=1)[:, :max_period + 1]
    energy = np.concatenate([np.zeros((frames.shape[0], 1)), np.cumsum(frames**2, axis=1)], axis=1)
    taus = np.arange(max_period + 1)
    head = energy[:, frame_length - taus]
    tail = energy[:, -1:] - energy[:, taus]
    d = head + tail - 2 * r
    d[:, 0] = 0
    cumulative = np.cumsum(d[:, 1:], axis=1)
    c = np.ones_like(d)
    c[:, 1:] = np.where(cumulative < 1e-10, 0, d[:, 1:] * taus[1:] / np.maximum(cumulative, 1e-10))
    inner = c[:, min_period:max_period]
    is_trough = (inner < threshold) & (inner <= c[:, min_period + 1:max_period + 1])
    is_trough[:, 1:] &= inner[:, 1:] <= c[:, min_period:max_period - 1]
    found = is_trough.any(axis=1)
    lag = np.where(found, np.argmax(is_trough, axis=1) + min_period, np.argmin(c[:, min_period:], axis=1) + min_period)
    voiced = found | (c[np.arange(c.shape[0]), lag] < threshold)
    return np.where(voiced, F32(SR) / lag.astype(F32), F32(0)).astype(F32).tolist()


def peer_hz_to_mel(inp):
    f = np.asarray(inp["hz"], np.float64)
    with np.errstate(divide="ignore", invalid="ignore"):
        return np.where(f < 1000, f / (200 / 3), np.log(f / 1000) / (math.log(6.4) / 27) + 15).tolist()


def peer_mel_to_hz(inp):
    m = np.asarray(inp["mels"], np.float64)
    return np.where(m < 15, m * (200 / 3), np.exp((m - 15) * (math.log(6.4) / 27)) * 1000).tolist()


CASES = [
    # (name, ours, peer, input keys that the interface floor converts)
    ("stft", lambda i: _core.stft(i["signal"], n_fft=N_FFT, hop_length=HOP), peer_stft, ("signal",)),
    ("istft", lambda i: _core.istft(i["re"], i["im"], i["n_frames"], i["n_bins"]), peer_istft, ("re", "im")),
    ("amplitude_to_db", lambda i: _core.amplitude_to_db(i["mag"], top_db=80.0), peer_to_db(20, 1e-5), ("mag",)),
    ("power_to_db", lambda i: _core.power_to_db(i["power"], top_db=80.0), peer_to_db(10, 1e-10), ("power",)),
    ("db_to_amplitude", lambda i: _core.db_to_amplitude(i["db"]), peer_from_db(20), ("db",)),
    ("db_to_power", lambda i: _core.db_to_power(i["db"]), peer_from_db(10), ("db",)),
    ("zero_crossings", lambda i: _core.zero_crossings(i["signal"]), peer_zero_crossings, ("signal",)),
    ("autocorrelate", lambda i: _core.autocorrelate(i["signal"]), peer_autocorrelate, ("signal",)),
    ("mu_compress", lambda i: _core.mu_compress(i["signal"]), peer_mu_compress, ("signal",)),
    ("mu_expand", lambda i: _core.mu_expand(i["signal"]), peer_mu_expand, ("signal",)),
    ("to_mono", lambda i: _core.to_mono(i["stereo"], 2), peer_to_mono, ("stereo",)),
    ("resample", lambda i: _core.resample(i["signal"], 44100.0, 22050.0), peer_resample, ("signal",)),
    ("get_rms", lambda i: _core.get_rms(i["signal"]), peer_get_rms, ("signal",)),
    ("mel_filterbank", lambda i: _core.mel_filterbank(SR, N_FFT, N_MELS), peer_mel_filterbank, ()),
    ("melspectrogram", lambda i: _core.melspectrogram(i["mag"], i["mel_fb"], i["n_frames"], i["n_bins"], N_MELS),
     peer_melspectrogram, ("mag", "mel_fb")),
    ("mfcc", lambda i: _core.mfcc(i["log_mel"], N_MELS, i["n_frames"], N_MFCC), peer_mfcc, ("log_mel",)),
    ("chroma_stft", lambda i: _core.chroma_stft(i["mag"], SR, N_FFT, i["n_frames"], i["n_bins"]), peer_chroma,
     ("mag",)),
    ("spectral_centroid", lambda i: _core.spectral_centroid(i["mag"], SR, N_FFT, i["n_frames"], i["n_bins"]),
     peer_centroid, ("mag",)),
    ("spectral_bandwidth", lambda i: _core.spectral_bandwidth(i["mag"], SR, N_FFT, i["n_frames"], i["n_bins"]),
     peer_bandwidth, ("mag",)),
    ("spectral_rolloff", lambda i: _core.spectral_rolloff(i["mag"], SR, N_FFT, i["n_frames"], i["n_bins"]),
     peer_rolloff, ("mag",)),
    ("spectral_flatness", lambda i: _core.spectral_flatness(i["mag"], i["n_frames"], i["n_bins"]), peer_flatness,
     ("mag",)),
    ("onset_strength", lambda i: _core.onset_strength(i["mag"], i["n_frames"], i["n_bins"]), peer_onset, ("mag",)),
    ("yin", lambda i: _core.yin(i["signal"], 65.0, 2093.0, sr=SR), peer_yin, ("signal",)),
    ("hz_to_mel", lambda i: _core.hz_to_mel(i["hz"]), peer_hz_to_mel, ("hz",)),
    ("mel_to_hz", lambda i: _core.mel_to_hz(i["mels"]), peer_mel_to_hz, ("mels",)),
    ("hz_to_midi", lambda i: _core.hz_to_midi(i["hz"]),
     lambda i: (np.log2(np.asarray(i["hz"]) / 440.0) * 12 + 69).tolist(), ("hz",)),
    ("midi_to_hz", lambda i: _core.midi_to_hz(i["notes"]),
     lambda i: (np.exp2((np.asarray(i["notes"]) - 69) / 12) * 440).tolist(), ("notes",)),
    ("frames_to_samples", lambda i: _core.frames_to_samples(i["frames"], n_fft=N_FFT),
     lambda i: (np.asarray(i["frames"], np.int64) * HOP + N_FFT // 2).tolist(), ("frames",)),
    ("frames_to_time", lambda i: _core.frames_to_time(i["frames"]),
     lambda i: ((np.asarray(i["frames"], np.int64) * HOP) / SR).tolist(), ("frames",)),
    ("samples_to_frames", lambda i: _core.samples_to_frames(i["frames"], n_fft=N_FFT),
     lambda i: np.trunc((np.asarray(i["frames"], np.int64) - N_FFT // 2) / HOP).astype(np.int64).tolist(),
     ("frames",)),
    ("samples_to_time", lambda i: _core.samples_to_time(i["frames"]),
     lambda i: (np.asarray(i["frames"], np.int64) / SR).tolist(), ("frames",)),
    ("time_to_frames", lambda i: _core.time_to_frames(i["times"]),
     lambda i: (np.round(np.asarray(i["times"]) * SR).astype(np.int64) // HOP).tolist(), ("times",)),
    ("time_to_samples", lambda i: _core.time_to_samples(i["times"]),
     lambda i: np.round(np.asarray(i["times"]) * SR).astype(np.int64).tolist(), ("times",)),
]
