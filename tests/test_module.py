"""The module as the interpreter sees it: table, signatures, docstrings, import behaviour."""

import importlib
import inspect
import os
import sys
import tempfile

import pytest

from sonavera import _core

SIGNATURES = [
    "stft(y, n_fft=2048, hop_length=None, win_length=None, center=True)",
    "istft(stft_re, stft_im, n_frames, n_bins, hop_length=512, win_length=2048, center=True)",
    "amplitude_to_db(s, ref_val=1.0, amin=1e-5, top_db=None)",
    "power_to_db(s, ref_val=1.0, amin=1e-10, top_db=None)",
    "db_to_amplitude(s_db, ref_val=1.0)",
    "db_to_power(s_db, ref_val=1.0)",
    "zero_crossings(y, threshold=1e-10, pad=True)",
    "autocorrelate(y, max_size=None)",
    "mu_compress(x, mu=255.0, quantize=False)",
    "mu_expand(x, mu=255.0, quantize=False)",
    "to_mono(y_flat, n_channels)",
    "resample(y, orig_sr, target_sr)",
    "get_rms(y, frame_length=2048, hop_length=512)",
    "mel_filterbank(sr, n_fft, n_mels=128, fmin=0.0, fmax=None, htk=False)",
    "melspectrogram(stft_mag, mel_fb, n_frames, n_bins, n_mels)",
    "mfcc(log_mel, n_mels, n_frames, n_mfcc)",
    "chroma_stft(stft_mag, sr, n_fft, n_frames, n_bins, tuning=0.0)",
    "spectral_centroid(stft_mag, sr, n_fft, n_frames, n_bins)",
    "spectral_bandwidth(stft_mag, sr, n_fft, n_frames, n_bins, p=2.0)",
    "spectral_rolloff(stft_mag, sr, n_fft, n_frames, n_bins, roll_percent=0.85)",
    "spectral_flatness(stft_mag, n_frames, n_bins)",
    "onset_strength(stft_mag, n_frames, n_bins)",
    "yin(y, fmin, fmax, sr=22050.0, frame_length=2048, hop_length=None, trough_threshold=0.1)",
    "hz_to_mel(frequencies, htk=False)",
    "mel_to_hz(mels, htk=False)",
    "hz_to_midi(frequencies)",
    "midi_to_hz(notes)",
    "frames_to_samples(frames, hop_length=512, n_fft=None)",
    "frames_to_time(frames, sr=22050.0, hop_length=512, n_fft=None)",
    "samples_to_frames(samples, hop_length=512, n_fft=None)",
    "samples_to_time(samples, sr=22050.0)",
    "time_to_frames(times, sr=22050.0, hop_length=512, n_fft=None)",
    "time_to_samples(times, sr=22050.0)",
]

SUMMARIES = {
    "stft": "Short-time Fourier transform (STFT).",
    "istft": "Inverse short-time Fourier transform (ISTFT).",
    "amplitude_to_db": "Convert amplitude spectrogram to dB",
    "power_to_db": "Convert power spectrogram to dB",
    "db_to_amplitude": "Convert dB-scaled spectrogram to amplitude",
    "db_to_power": "Convert dB-scale to power",
    "zero_crossings": "Find the zero-crossings of a signal",
    "autocorrelate": "Bounded-lag auto-correlation",
    "mu_compress": "mu-law compression",
    "mu_expand": "mu-law expansion",
    "to_mono": "Convert multi-channel audio to mono by averaging channels.",
    "resample": "Linear resample using simple linear interpolation.",
    "get_rms": "Root mean square energy",
    "mel_filterbank": "Build a triangular mel filterbank.",
    "melspectrogram": "Compute a mel spectrogram from an STFT magnitude.",
    "mfcc": "Compute MFCCs from log mel spectrogram using DCT-II.",
    "chroma_stft": "Compute chromagram from STFT magnitude.",
    "spectral_centroid": "Spectral centroid",
    "spectral_bandwidth": "Spectral bandwidth",
    "spectral_rolloff": "Spectral rolloff",
    "spectral_flatness": "Spectral flatness",
    "onset_strength": "Simple onset strength (spectral flux)",
    "yin": "YIN fundamental frequency estimation.",
    "hz_to_mel": "Convert Hz to Mels",
    "mel_to_hz": "Convert Mels to Hz",
    "hz_to_midi": "Convert Hz to MIDI note numbers",
    "midi_to_hz": "Convert MIDI note numbers to Hz",
    "frames_to_samples": "Convert frame indices to audio sample indices",
    "frames_to_time": "Convert frame counts to time in seconds",
    "samples_to_frames": "Convert sample indices to STFT frames",
    "samples_to_time": "Convert sample indices to time in seconds",
    "time_to_frames": "Convert timestamps (seconds) to STFT frames",
    "time_to_samples": "Convert timestamps (seconds) to sample indices",
}

NAMES = [line.split("(", 1)[0] for line in SIGNATURES]
MULTI_LINE_BODIES = {"stft", "istft", "to_mono", "resample", "mel_filterbank", "melspectrogram", "mfcc",
                     "chroma_stft", "yin"}


def test_module_contents():
    assert _core.__all__ == NAMES
    assert all(type(name) is str for name in _core.__all__)
    assert _core.__doc__ == ""
    public = {name for name in vars(_core) if not name.startswith("__")}
    assert public == set(NAMES)  # no constants, classes or the internal-error class


@pytest.mark.parametrize("line", SIGNATURES, ids=NAMES)
def test_function_signature_and_docstring(line):
    name = line.split("(", 1)[0]
    function = getattr(_core, name)
    assert function.__text_signature__ == line[len(name):]
    assert f"{name}{inspect.signature(function)}" == line.replace("=1e-5,", "=1e-05,")
    assert function.__name__ == name
    assert function.__self__ is _core
    assert function.__module__ == _core.__name__ == "sonavera._core"
    doc = function.__doc__
    assert doc.splitlines()[0] == SUMMARIES[name]
    assert "--" not in doc.splitlines() and line not in doc
    if name not in MULTI_LINE_BODIES:
        assert doc == SUMMARIES[name]


@pytest.mark.parametrize("name, body", [
    ("istft", ["", "Parameters", "----------",
               "stft_re    : real parts, flat, shape (n_frames, n_bins)",
               "stft_im    : imaginary parts, flat, shape (n_frames, n_bins)",
               "n_frames   : number of frames", "n_bins     : n_fft / 2 + 1",
               "hop_length : samples between frames", "win_length : window length",
               "center     : whether STFT was centered", "", "Returns", "-------",
               "reconstructed time-domain signal"]),
    ("to_mono", ["y_flat: flat array, n_channels interleaved (for 2ch: L0 R0 L1 R1 ...)",
                 "Actually we expect channel-first: first n_samples for ch0, next for ch1...",
                 "n_channels: number of channels"]),
    ("resample", ["For high-quality resampling users should use the Python layer which calls soundfile/soxr."]),
])
def test_docstring_bodies_given_word_for_word(name, body):
    assert getattr(_core, name).__doc__.splitlines()[1:] == body


def test_stft_docstring_lines():
    lines = _core.stft.__doc__.splitlines()
    assert lines[2] == "(n_frames, n_fft/2 + 1, 2)."
    for expected in ["n_fft      : FFT window size (default 2048)",
                     "hop_length : number of samples between frames (default n_fft // 4)",
                     "win_length : window length in samples (default = n_fft)",
                     "center     : if true, pad signal at both ends (default true)"]:
        assert expected in lines
    assert lines[lines.index("Parameters") + 1] == "----------"
    assert lines[lines.index("Returns") + 1] == "-------"


def test_reimport_returns_the_same_module():
    del sys.modules["sonavera._core"]
    again = importlib.import_module("sonavera._core")
    assert again is _core
    assert importlib.reload(_core) is _core
    assert _core.__all__ == NAMES


def test_sub_interpreter_import_is_refused():
    _testcapi = pytest.importorskip("_testcapi")
    with tempfile.TemporaryDirectory() as folder:
        report = os.path.join(folder, "report")
        code = (
            "try:\n"
            "    import sonavera._core\n"
            "    outcome = 'imported'\n"
            "except ImportError as exc:\n"
            "    outcome = 'ImportError: ' + str(exc)\n"
            f"open({report!r}, 'w').write(outcome)\n"
        )
        assert _testcapi.run_in_subinterp(code) == 0
        with open(report) as handle:
            outcome = handle.read()
    assert outcome.startswith("ImportError: ") and "sub-interpreters" in outcome
    assert _core.stft([0.0] * 8, n_fft=4)[1:] == (9, 3)  # the main interpreter's module still works
