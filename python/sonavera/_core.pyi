"""Type stubs of the native core: flat sequences in, new lists out.

Matrices travel as one flat row-major sequence plus their dimensions. Spectrograms go in
frame-major (n_frames x n_bins); feature matrices come out feature-major (n_mels x n_frames,
12 x n_frames, ...). Any sequence of numbers is accepted except ``str``; a NumPy array or an
``array.array`` is read through the buffer protocol.
"""

from collections.abc import Buffer, Sequence

__all__ = [
    "stft",
    "istft",
    "amplitude_to_db",
    "power_to_db",
    "db_to_amplitude",
    "db_to_power",
    "zero_crossings",
    "autocorrelate",
    "mu_compress",
    "mu_expand",
    "to_mono",
    "resample",
    "get_rms",
    "mel_filterbank",
    "melspectrogram",
    "mfcc",
    "chroma_stft",
    "spectral_centroid",
    "spectral_bandwidth",
    "spectral_rolloff",
    "spectral_flatness",
    "onset_strength",
    "yin",
    "hz_to_mel",
    "mel_to_hz",
    "hz_to_midi",
    "midi_to_hz",
    "frames_to_samples",
    "frames_to_time",
    "samples_to_frames",
    "samples_to_time",
    "time_to_frames",
    "time_to_samples",
]

# Spectral analysis

def stft(
    y: Sequence[float] | Buffer,
    n_fft: int = 2048,
    hop_length: int | None = None,
    win_length: int | None = None,
    center: bool = True,
) -> tuple[list[float], int, int]:
    """Short-time Fourier transform with a symmetric Hann window.

    Returns (values, n_frames, n_bins) with n_bins = n_fft // 2 + 1; values interleaves real and
    imaginary parts frame-major, shape (n_frames, n_bins, 2). hop_length defaults to n_fft // 4,
    win_length to n_fft; center pads n_fft // 2 zeros at both ends.
    """

def istft(
    stft_re: Sequence[float] | Buffer,
    stft_im: Sequence[float] | Buffer,
    n_frames: int,
    n_bins: int,
    hop_length: int = 512,
    win_length: int = 2048,
    center: bool = True,
) -> list[float]:
    """Inverse STFT of real and imaginary parts, each frame-major (n_frames, n_bins)."""

# Level and sample transforms

def amplitude_to_db(
    s: Sequence[float] | Buffer, ref_val: float = 1.0, amin: float = 1e-05, top_db: float | None = None
) -> list[float]:
    """20 * log10(max(|s|, amin)) - 20 * log10(|ref_val|), element-wise; top_db raises everything
    more than top_db below the maximum to that level."""

def power_to_db(
    s: Sequence[float] | Buffer, ref_val: float = 1.0, amin: float = 1e-10, top_db: float | None = None
) -> list[float]:
    """10 * log10(max(|s|, amin)) - 10 * log10(|ref_val|), element-wise; top_db as in
    amplitude_to_db."""

def db_to_amplitude(s_db: Sequence[float] | Buffer, ref_val: float = 1.0) -> list[float]:
    """10 ** (s_db / 20) * ref_val, element-wise."""

def db_to_power(s_db: Sequence[float] | Buffer, ref_val: float = 1.0) -> list[float]:
    """10 ** (s_db / 10) * ref_val, element-wise."""

def mu_compress(x: Sequence[float] | Buffer, mu: float = 255.0, quantize: bool = False) -> list[float]:
    """mu-law compression; with quantize, integer steps (-128 to 128 for mu 255) as floats."""

def mu_expand(x: Sequence[float] | Buffer, mu: float = 255.0, quantize: bool = False) -> list[float]:
    """mu-law expansion; with quantize, x holds the steps of mu_compress(quantize=True)."""

def to_mono(y_flat: Sequence[float] | Buffer, n_channels: int) -> list[float]:
    """Mean of the channels. y_flat is channel-major: all of channel 0, then all of channel 1, ...
    (not interleaved)."""

def resample(y: Sequence[float] | Buffer, orig_sr: float, target_sr: float) -> list[float]:
    """Linear interpolation to a new rate, no anti-aliasing; ceil(len(y) * target_sr / orig_sr)
    samples."""

# Time-domain analysis

def zero_crossings(y: Sequence[float] | Buffer, threshold: float = 1e-10, pad: bool = True) -> list[bool]:
    """One flag per sample: element i >= 1 is True where the sign changes between samples i - 1
    and i (|x| <= threshold counts as positive); element 0 is pad."""

def autocorrelate(y: Sequence[float] | Buffer, max_size: int | None = None) -> list[float]:
    """Linear autocorrelation, not normalised, at lags 0 .. min(max_size, len(y)) - 1."""

def get_rms(y: Sequence[float] | Buffer, frame_length: int = 2048, hop_length: int = 512) -> list[float]:
    """RMS of each frame, no padding: (len(y) - frame_length) // hop_length + 1 values."""

def yin(
    y: Sequence[float] | Buffer,
    fmin: float,
    fmax: float,
    sr: float = 22050.0,
    frame_length: int = 2048,
    hop_length: int | None = None,
    trough_threshold: float = 0.1,
) -> list[float]:
    """YIN pitch per frame in hertz, 0.0 where unvoiced; frames as in get_rms, hop_length
    defaulting to frame_length // 4."""

# Spectral features

def mel_filterbank(
    sr: float, n_fft: int, n_mels: int = 128, fmin: float = 0.0, fmax: float | None = None, htk: bool = False
) -> list[float]:
    """Triangular mel filters, filter-major: shape (n_mels, n_fft // 2 + 1); fmax defaults to sr / 2."""

def melspectrogram(
    stft_mag: Sequence[float] | Buffer, mel_fb: Sequence[float] | Buffer, n_frames: int, n_bins: int, n_mels: int
) -> list[float]:
    """mel_fb (n_mels, n_bins) times stft_mag (n_frames, n_bins, frame-major); returns
    (n_mels, n_frames), feature-major."""

def mfcc(log_mel: Sequence[float] | Buffer, n_mels: int, n_frames: int, n_mfcc: int) -> list[float]:
    """Unnormalised DCT-II along the mel axis of log_mel (n_mels, n_frames); returns
    (min(n_mfcc, n_mels), n_frames), feature-major."""

def chroma_stft(
    stft_mag: Sequence[float] | Buffer, sr: float, n_fft: int, n_frames: int, n_bins: int, tuning: float = 0.0
) -> list[float]:
    """Pitch-class profile of each frame of stft_mag (n_frames, n_bins, frame-major), scaled to unit
    length; returns (12, n_frames), feature-major, row 0 = C."""

def spectral_centroid(
    stft_mag: Sequence[float] | Buffer, sr: float, n_fft: int, n_frames: int, n_bins: int
) -> list[float]:
    """Magnitude-weighted mean frequency of each frame of stft_mag (n_frames, n_bins); hertz."""

def spectral_bandwidth(
    stft_mag: Sequence[float] | Buffer, sr: float, n_fft: int, n_frames: int, n_bins: int, p: float = 2.0
) -> list[float]:
    """Magnitude-weighted p-th-order spread around the centroid, per frame; hertz."""

def spectral_rolloff(
    stft_mag: Sequence[float] | Buffer, sr: float, n_fft: int, n_frames: int, n_bins: int, roll_percent: float = 0.85
) -> list[float]:
    """Frequency of the first bin at which roll_percent of the frame's magnitude is reached; hertz."""

def spectral_flatness(stft_mag: Sequence[float] | Buffer, n_frames: int, n_bins: int) -> list[float]:
    """Geometric over arithmetic mean of each frame's magnitudes."""

def onset_strength(stft_mag: Sequence[float] | Buffer, n_frames: int, n_bins: int) -> list[float]:
    """Spectral flux per frame: the sum of each bin's rise over the previous frame; frame 0 is 0."""

# Unit conversions (double precision)

def hz_to_mel(frequencies: Sequence[float] | Buffer, htk: bool = False) -> list[float]:
    """Hertz to mels (the linear-then-logarithmic scale, or the HTK formula)."""

def mel_to_hz(mels: Sequence[float] | Buffer, htk: bool = False) -> list[float]:
    """Mels to hertz; the inverse of hz_to_mel."""

def hz_to_midi(frequencies: Sequence[float] | Buffer) -> list[float]:
    """Hertz to MIDI note numbers (A4 = 440 Hz = 69)."""

def midi_to_hz(notes: Sequence[float] | Buffer) -> list[float]:
    """MIDI note numbers to hertz."""

# Frame, sample and time conversions

def frames_to_samples(frames: Sequence[int] | Buffer, hop_length: int = 512, n_fft: int | None = None) -> list[int]:
    """frames * hop_length, plus n_fft // 2 (frame centres) when n_fft is given."""

def frames_to_time(
    frames: Sequence[int] | Buffer, sr: float = 22050.0, hop_length: int = 512, n_fft: int | None = None
) -> list[float]:
    """Frame indices to seconds: frames_to_samples(...) / sr."""

def samples_to_frames(samples: Sequence[int] | Buffer, hop_length: int = 512, n_fft: int | None = None) -> list[int]:
    """(samples - n_fft // 2) / hop_length, truncated toward zero; no offset without n_fft."""

def samples_to_time(samples: Sequence[int] | Buffer, sr: float = 22050.0) -> list[float]:
    """samples / sr."""

def time_to_frames(
    times: Sequence[float] | Buffer, sr: float = 22050.0, hop_length: int = 512, n_fft: int | None = None
) -> list[int]:
    """Seconds to frame indices: samples_to_frames(time_to_samples(times, sr), ...)."""

def time_to_samples(times: Sequence[float] | Buffer, sr: float = 22050.0) -> list[int]:
    """Seconds to sample indices: times * sr rounded to the nearest integer, halves away from zero."""
