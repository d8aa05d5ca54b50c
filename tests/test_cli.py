"""The `sonavera analyze` command: WAV reading, the built-in signal, the summary, JSON, the plot,
and the one-line errors for input it cannot analyse."""

import json
import math
import os
import re
import struct
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest

from sonavera import analysis, cli, testsignal, wavfile

SEMITONE = 2.0 ** (1.0 / 12.0)
PCM, FLOAT, ALAW, EXTENSIBLE = 0x0001, 0x0003, 0x0006, 0xFFFE


def wav_bytes(tag, channels, rate, bits, data, *, sub_tag=None):
    """A RIFF WAVE file built by hand, so that any header can be written, valid or not."""
    block = channels * ((bits + 7) // 8)
    fmt = struct.pack("<HHIIHH", tag, channels, rate, rate * block, block, bits)
    if sub_tag is not None:
        # cbSize, valid bits, channel mask, then the sub-format GUID, which starts with the plain tag.
        guid = struct.pack("<I", sub_tag) + bytes.fromhex("000010008000 00aa00389b71".replace(" ", ""))
        fmt += struct.pack("<HHI", 22, bits, 0) + guid
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt
    body += b"data" + struct.pack("<I", len(data)) + data + b"\0" * (len(data) % 2)
    return b"RIFF" + struct.pack("<I", len(body)) + body


def pcm_bytes(channels, bits):
    """Interleaved little-endian PCM of per-channel integer sample lists (8-bit is unsigned)."""
    width = bits // 8
    out = bytearray()
    for frame in zip(*channels):
        for v in frame:
            out += (v + 128).to_bytes(1, "little") if width == 1 else v.to_bytes(width, "little", signed=True)
    return bytes(out)


def write_pcm(path, channels, bits, rate=22050, sub_tag=None):
    tag = EXTENSIBLE if sub_tag is not None else PCM
    path.write_bytes(wav_bytes(tag, len(channels), rate, bits, pcm_bytes(channels, bits), sub_tag=sub_tag))
    return path


def tone(freq, amplitude, bits, seconds=0.5, rate=22050):
    full = 2 ** (bits - 1)
    return [round(amplitude * full * math.sin(2 * math.pi * freq * n / rate)) for n in range(round(seconds * rate))]


def run(capsys, *args):
    status = cli.main(["analyze", *map(str, args)])
    out, err = capsys.readouterr()
    return status, out, err


def run_json(capsys, *args):
    status, out, err = run(capsys, "--json", *args)
    assert status == 0, err
    return json.loads(out)


def within_semitone(measured, expected):
    return expected / SEMITONE < measured < expected * SEMITONE


# ----------------------------------------------------------------------------------------------
# The built-in signal


@pytest.fixture(scope="module")
def builtin_text():
    import io
    from contextlib import redirect_stdout

    out = io.StringIO()
    with redirect_stdout(out):
        assert cli.main(["analyze"]) == 0
    return out.getvalue()


def test_builtin_signal_summary_names_the_tone_key_and_clicks(builtin_text):
    assert "built-in test signal" in builtin_text
    median = float(re.search(r"median ([\d.]+) Hz \((\w#?\d)\)", builtin_text).group(1))
    assert within_semitone(median, testsignal.TONE_HZ)
    assert re.search(r"^pitch class +A ", builtin_text, re.M)
    onsets = [float(t) for t in re.findall(r"([\d.]+) s", re.search(r"^onsets +(.*)$", builtin_text, re.M).group(1))]
    hop_s = analysis.HOP / testsignal.SAMPLE_RATE
    for click in testsignal.CLICK_TIMES:
        assert any(abs(t - click) <= 2 * hop_s for t in onsets), (click, onsets)


def test_builtin_signal_level_matches_its_samples(builtin_text):
    y = np.asarray(testsignal.generate(), dtype=np.float64)
    rms_db = 20 * math.log10(math.sqrt(np.mean(y * y)))
    peak_db = 20 * math.log10(np.max(np.abs(y)))
    rms, peak = map(float, re.search(r"^level +(\S+) dBFS RMS, (\S+) dBFS peak", builtin_text, re.M).groups())
    assert rms == pytest.approx(rms_db, abs=0.06)
    assert peak == pytest.approx(peak_db, abs=0.06)


def test_builtin_signal_json_parses_and_agrees_with_the_text(capsys, builtin_text):
    summary = run_json(capsys)
    assert summary["sample_rate_hz"] == testsignal.SAMPLE_RATE
    assert summary["samples"] == round(testsignal.DURATION * testsignal.SAMPLE_RATE)
    assert summary["channels"] == 1
    assert f"median {summary['pitch']['median_hz']:.1f} Hz" in builtin_text
    assert summary["chroma"]["strongest_pitch_class"] == "A"
    assert len(summary["mfcc_means"]) == analysis.N_MFCC
    assert 0.0 < summary["pitch"]["voiced_fraction"] < 1.0
    assert set(summary["spectral_means"]) == {"centroid_hz", "bandwidth_hz", "rolloff_hz", "flatness"}


# ----------------------------------------------------------------------------------------------
# WAV files the test writes itself


@pytest.mark.parametrize(
    "bits, layout",
    [
        (16, "stereo"),  # the tone in the left channel, silence in the right
        (24, "mono"),
        (8, "mono"),
        (32, "stereo"),
    ],
)
def test_wav_file_summary(capsys, tmp_path, bits, layout):
    left = tone(440.0, 0.5, bits)
    channels = [left, [0] * len(left)] if layout == "stereo" else [left]
    path = write_pcm(tmp_path / "tone.wav", channels, bits)
    summary = run_json(capsys, path)
    amplitude = 0.5 / len(channels)  # the mixdown halves a tone that only one channel holds
    assert summary["channels"] == len(channels)
    assert summary["sample_format"] == f"{bits}-bit PCM"
    assert summary["duration_s"] == pytest.approx(0.5)
    assert within_semitone(summary["pitch"]["median_hz"], 440.0)
    assert summary["chroma"]["strongest_pitch_class"] == "A"
    assert summary["level_dbfs"]["peak"] == pytest.approx(20 * math.log10(amplitude), abs=0.1)
    assert summary["level_dbfs"]["rms"] == pytest.approx(20 * math.log10(amplitude / math.sqrt(2)), abs=0.1)


@pytest.mark.parametrize(
    "bits, channels, sub_tag",
    [
        (8, [[-128, 0, 127, 5]], None),
        (16, [[-32768, 1000, 32767], [32767, -3000, 1]], None),  # interleaved in the file
        (24, [[-(2**23), 2**23 - 1, 12345]], None),
        (32, [[-(2**31), 2**31 - 1, 7], [0, 1, -7], [99, -99, 2**30]], None),
        (16, [[1, 2, 3], [4, 5, 6], [-7, -8, -9]], PCM),  # extensible header, PCM sub-format
    ],
)
def test_reader_decodes_and_mixes_channels(tmp_path, bits, channels, sub_tag):
    audio = wavfile.read_wav(str(write_pcm(tmp_path / "x.wav", channels, bits, rate=8000, sub_tag=sub_tag)))
    f32 = np.float32
    scale = 2.0 ** (bits - 1)
    expected = []
    for frame in zip(*channels):
        total = f32(-0.0)
        for v in frame:  # the channels' float32 sum in channel order, times the rounded reciprocal
            total = f32(total + f32(v / scale))
        expected.append(f32(total * (f32(1.0) / f32(len(frame)))))
    assert list(audio.samples) == expected
    assert (audio.sample_rate, audio.channels, audio.sample_format) == (8000, len(channels), f"{bits}-bit PCM")


def test_a_cut_off_last_frame_is_dropped(tmp_path):
    data = pcm_bytes([[100, 200], [300, 400]], 16) + b"\x01"  # one byte of a third frame
    path = tmp_path / "cut.wav"
    path.write_bytes(wav_bytes(PCM, 2, 8000, 16, data))
    assert len(wavfile.read_wav(str(path)).samples) == 2


# ----------------------------------------------------------------------------------------------
# Input the command refuses: exit status 2 and one line, never a traceback


def _raw(content):
    return lambda path: path.write_bytes(content)


BAD_INPUTS = {
    "missing": (None, "cannot read", "No such file or directory"),
    "directory": (lambda path: path.mkdir(), "cannot read", "Is a directory"),
    "empty": (_raw(b""), "is empty", "supported: uncompressed PCM"),
    "text": (_raw(b"this is not audio at all\n" * 4), "is not a WAV file", "supported: uncompressed PCM"),
    "short": (_raw(b"RIFF"), "is not a WAV file", "supported"),
    "rf64": (_raw(b"RF64" + bytes(40)), "RF64", "supported"),
    "float": (_raw(wav_bytes(FLOAT, 1, 8000, 32, bytes(16))), "IEEE float samples", "supported: uncompressed PCM"),
    "extensible float": (
        _raw(wav_bytes(EXTENSIBLE, 2, 8000, 32, bytes(16), sub_tag=FLOAT)),
        "IEEE float samples",
        "supported",
    ),
    "a-law": (_raw(wav_bytes(ALAW, 1, 8000, 8, bytes(16))), "A-law samples", "supported: uncompressed PCM"),
    "unknown codec": (_raw(wav_bytes(0x1234, 1, 8000, 4, bytes(16))), "compressed format 0x1234", "supported"),
    "zero channels": (_raw(wav_bytes(PCM, 0, 8000, 16, bytes(16))), "declares 0 channels", "supported"),
    "64-bit": (_raw(wav_bytes(PCM, 1, 8000, 64, bytes(16))), "64-bit samples", "supported"),
    "zero rate": (_raw(wav_bytes(PCM, 1, 0, 16, bytes(16))), "sample rate of 0 Hz", ""),
    "no samples": (_raw(wav_bytes(PCM, 1, 8000, 16, b"")), "holds no audio samples", ""),
    "no format chunk": (_raw(b"RIFF" + struct.pack("<I", 4) + b"WAVE"), "no format chunk", ""),
    "no data chunk": (_raw(wav_bytes(PCM, 1, 8000, 16, b"")[:-8]), "no audio data chunk", ""),
}


@pytest.mark.parametrize("case", BAD_INPUTS)
def test_bad_input_is_one_line_and_status_2(capsys, tmp_path, case):
    make, *fragments = BAD_INPUTS[case]
    path = tmp_path / "input.wav"
    if make is not None:
        make(path)
    status, out, err = run(capsys, path)
    assert status == 2
    assert out == ""
    assert err.count("\n") == 1 and err.startswith("sonavera: error: ")
    assert str(path) in err
    for fragment in fragments:
        assert fragment in err


@pytest.mark.skipif(os.geteuid() == 0, reason="root reads files whatever their permissions")
def test_unreadable_file(capsys, tmp_path):
    path = write_pcm(tmp_path / "locked.wav", [tone(440.0, 0.5, 16, seconds=0.1)], 16)
    path.chmod(0)
    status, _, err = run(capsys, path)
    assert status == 2 and "Permission denied" in err


def test_python_dash_m_reports_bad_input_without_traceback(tmp_path):
    proc = subprocess.run(
        [sys.executable, "-m", "sonavera", "analyze", str(tmp_path / "absent.wav")],
        capture_output=True,
        text=True,
        timeout=60,
    )
    assert proc.returncode == 2
    assert proc.stdout == ""
    assert proc.stderr.startswith("sonavera: error: cannot read") and "Traceback" not in proc.stderr


def test_console_script_is_installed():
    script = Path(sys.executable).with_name("sonavera")
    proc = subprocess.run([str(script), "--version"], capture_output=True, text=True, timeout=60)
    assert proc.returncode == 0 and proc.stdout.startswith("sonavera ")


def test_importing_the_package_loads_neither_the_command_nor_matplotlib():
    code = "import sys, sonavera; print(sorted(m for m in sys.modules if m.startswith(('sonavera.', 'matplotlib'))))"
    proc = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=60)
    assert proc.stdout.strip() == "['sonavera._core']"


# ----------------------------------------------------------------------------------------------
# The plot


@pytest.fixture
def short_wav(tmp_path):
    samples = tone(330.0, 0.4, 16, seconds=0.4)
    samples[4000:4040] = [20000, -20000] * 20  # a click, so the onset track has a peak
    return write_pcm(tmp_path / "short.wav", [samples], 16)


def test_plot_is_written(capsys, tmp_path, short_wav):
    pytest.importorskip("matplotlib")
    out_png = tmp_path / "analysis.png"
    summary = run_json(capsys, short_wav, "--plot", out_png)
    assert summary["plot"] == str(out_png)
    data = out_png.read_bytes()
    assert data.startswith(b"\x89PNG\r\n\x1a\n")
    width, height = struct.unpack(">II", data[16:24])
    assert width > 500 and height > 500


@pytest.mark.parametrize(
    "target, message",
    [
        ("missing-dir/out.png", "no directory"),
        ("out.xyz", "unknown image type '.xyz'"),
    ],
)
def test_unwritable_plot_fails_before_analysis(capsys, tmp_path, short_wav, target, message):
    pytest.importorskip("matplotlib")
    status, out, err = run(capsys, short_wav, "--plot", tmp_path / target)
    assert status == 2 and out == ""
    assert err.startswith("sonavera: error: cannot write the plot") and message in err


def test_plot_without_matplotlib_says_how_to_install_it(capsys, monkeypatch, short_wav, tmp_path):
    for name in [m for m in sys.modules if m == "matplotlib" or m.startswith("matplotlib.")]:
        monkeypatch.delitem(sys.modules, name)
    monkeypatch.setitem(sys.modules, "matplotlib", None)  # makes every import of it fail
    status, out, err = run(capsys, short_wav, "--plot", tmp_path / "out.png")
    assert status == 2 and out == ""
    assert err.count("\n") == 1
    assert "pip install 'sonavera[plot]'" in err
    assert not (tmp_path / "out.png").exists()


# ----------------------------------------------------------------------------------------------
# Long files: block-wise analysis and the progress line


def test_blockwise_analysis_equals_one_block(monkeypatch):
    y = testsignal.generate()[: 2 * testsignal.SAMPLE_RATE]
    y[30000] = 0.9  # something for the onset envelope across block boundaries
    whole = analysis.analyze(y, testsignal.SAMPLE_RATE, keep_matrices=True)
    assert whole.summary["analysis"]["frames"] <= analysis.BLOCK_FRAMES  # one block
    monkeypatch.setattr(analysis, "BLOCK_FRAMES", 7)
    monkeypatch.setattr(analysis, "PLOT_COLUMNS", 20)  # every 5th column
    pieces = analysis.analyze(y, testsignal.SAMPLE_RATE, keep_matrices=True)
    for track in ("rms", "pitch", "onset", "onset_peaks", "frame_times"):
        assert list(getattr(pieces, track)) == list(getattr(whole, track)), track
    assert pieces.column_stride == 5
    assert [list(row) for row in pieces.log_mel] == [list(row)[::5] for row in whole.log_mel]
    assert [list(row) for row in pieces.chroma] == [list(row)[::5] for row in whole.chroma]
    a, b = pieces.summary, whole.summary
    assert a["zero_crossing_rate"] == b["zero_crossing_rate"]
    assert a["level_dbfs"]["peak"] == b["level_dbfs"]["peak"]
    assert a["level_dbfs"]["rms"] == pytest.approx(b["level_dbfs"]["rms"], abs=1e-4)
    assert a["mfcc_means"] == pytest.approx(b["mfcc_means"], rel=1e-9)
    assert a["spectral_means"] == pytest.approx(b["spectral_means"], rel=1e-9)


@pytest.mark.parametrize(
    "signal",
    [
        np.tile(np.float32([0.5, -0.5]), 5000),  # a crossing at every sample, block edges included
        np.asarray(testsignal.generate()[:20000]),
    ],
    ids=["alternating", "test signal"],
)
def test_zero_crossing_rate_counts_sign_changes_across_blocks(monkeypatch, signal):
    import array

    monkeypatch.setattr(analysis, "BLOCK_FRAMES", 3)
    rate = analysis.analyze(array.array("f", signal.tobytes()), testsignal.SAMPLE_RATE).summary["zero_crossing_rate"]
    signs = np.signbit(np.where(np.abs(signal) <= np.float32(1e-10), np.float32(0.0), signal))
    assert rate == np.count_nonzero(signs[1:] != signs[:-1]) / (len(signal) - 1)


def test_silent_frames_are_unvoiced():
    y = testsignal.generate()[:22050]
    y[5000:] = type(y)("f", bytes(4 * (len(y) - 5000)))
    result = analysis.analyze(y, testsignal.SAMPLE_RATE)
    last_loud = (5000 + analysis.N_FFT // 2) // analysis.HOP  # the last frame that reaches the tone
    assert all(f == 0.0 for f in result.pitch[last_loud + 1 :])
    assert all(within_semitone(f, testsignal.TONE_HZ) for f in result.pitch[2 : last_loud - 2])


def test_progress_line_only_for_files_over_a_minute(capsys, tmp_path):
    long_file = write_pcm(tmp_path / "long.wav", [tone(200.0, 0.3, 16, seconds=61.0, rate=4000)], 16, rate=4000)
    status, out, err = run(capsys, long_file)
    assert status == 0 and out.startswith("source")
    lines = err.splitlines()
    assert lines and all(line.startswith("analysing long.wav: ") for line in lines)
    assert lines[-1].endswith("100% (1:01 of 1:01)")
    status, _, err = run(capsys, write_pcm(tmp_path / "short.wav", [tone(200.0, 0.3, 16, seconds=1.0)], 16))
    assert status == 0 and err == ""
