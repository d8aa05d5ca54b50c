"""Reading integer PCM WAV files into one mono channel of 32-bit floats.

The header is checked by hand first, so that every file the reader refuses gets a message that
says what is wrong with it; the stdlib ``wave`` module then reads the samples.
"""

from __future__ import annotations

import array
import struct
import sys
import wave
from dataclasses import dataclass

from sonavera import _core

SUPPORTED = "supported: uncompressed PCM WAV with 8, 16, 24 or 32-bit integer samples, any number of channels"

# Format tags seen in the wild that this reader declines, by name, so the message can say which.
_FORMAT_NAMES = {
    0x0002: "Microsoft ADPCM",
    0x0003: "32/64-bit IEEE float",
    0x0006: "A-law",
    0x0007: "mu-law",
    0x0011: "IMA ADPCM",
    0x0031: "GSM 6.10",
    0x0050: "MPEG",
    0x0055: "MPEG layer III",
    0x00FF: "AAC",
    0x1610: "AAC",
    0xF1AC: "FLAC",
}
_PCM = 0x0001
_EXTENSIBLE = 0xFFFE

# Frames decoded per read: bounds the temporary lists, whatever the file's length.
_BLOCK_FRAMES = 1 << 16


class AudioInputError(Exception):
    """A file that cannot be analysed; the message is one line for the user."""


@dataclass(frozen=True)
class Audio:
    """A decoded signal, mixed down to one channel."""

    samples: array.array  # 'f': 32-bit floats, full scale at +/-1.0
    sample_rate: int
    channels: int
    sample_format: str  # for the summary, e.g. "16-bit PCM"


@dataclass(frozen=True)
class _Format:
    tag: int
    channels: int
    sample_rate: int
    bits: int


def _check_header(path: str) -> None:
    """Raises AudioInputError naming the first reason the file is not a readable PCM WAV."""
    try:
        with open(path, "rb") as f:
            _check_stream(f, path)
    except OSError as e:
        raise AudioInputError(f"cannot read '{path}': {e.strerror or e}") from None


def _check_stream(f, path: str) -> None:
    head = f.read(12)
    if not head:
        raise AudioInputError(f"'{path}' is empty; {SUPPORTED}")
    if head[:4] in (b"RF64", b"RIFX", b"BW64"):
        raise AudioInputError(f"'{path}' is a {head[:4].decode()} file, not a RIFF WAV file; {SUPPORTED}")
    if len(head) < 12 or head[:4] != b"RIFF" or head[8:12] != b"WAVE":
        raise AudioInputError(f"'{path}' is not a WAV file; {SUPPORTED}")
    fmt = None
    while True:
        chunk = f.read(8)
        if len(chunk) < 8:
            break
        name, size = chunk[:4], struct.unpack("<I", chunk[4:])[0]
        if name == b"fmt ":
            fmt = _parse_format(f.read(size), path)
            f.seek(size & 1, 1)
        elif name == b"data":
            if fmt is None:
                raise AudioInputError(f"'{path}' is a damaged WAV file: its audio data comes before its format")
            _check_format(fmt, path)
            return
        else:
            f.seek(size + (size & 1), 1)  # chunks are padded to an even size
    if fmt is None:
        raise AudioInputError(f"'{path}' is a damaged WAV file: it has no format chunk")
    _check_format(fmt, path)
    raise AudioInputError(f"'{path}' is a damaged WAV file: it has no audio data chunk")


def _parse_format(body: bytes, path: str) -> _Format:
    if len(body) < 16:
        raise AudioInputError(f"'{path}' is a damaged WAV file: its format chunk is too short")
    tag, channels, rate, _, _, bits = struct.unpack("<HHIIHH", body[:16])
    if tag == _EXTENSIBLE:
        if len(body) < 40:
            raise AudioInputError(f"'{path}' is a damaged WAV file: its extended format chunk is too short")
        # The sub-format GUID begins with the plain format tag it stands for.
        tag = struct.unpack("<H", body[24:26])[0]
    return _Format(tag, channels, rate, bits)


def _check_format(fmt: _Format, path: str) -> None:
    if fmt.tag != _PCM:
        name = _FORMAT_NAMES.get(fmt.tag, f"compressed format 0x{fmt.tag:04X}")
        raise AudioInputError(f"'{path}' holds {name} samples, which are not supported; {SUPPORTED}")
    if fmt.channels == 0:
        raise AudioInputError(f"'{path}' declares 0 channels; {SUPPORTED}")
    if not 1 <= fmt.bits <= 32:
        raise AudioInputError(f"'{path}' has {fmt.bits}-bit samples, which are not supported; {SUPPORTED}")
    if fmt.sample_rate == 0:
        raise AudioInputError(f"'{path}' declares a sample rate of 0 Hz")


def _decode(data: bytes, width: int) -> tuple[array.array, float, int]:
    """Integer samples of a block of little-endian PCM bytes, the scale to full scale 1.0, and the offset."""
    if width == 1:  # 8-bit WAV samples are unsigned, centred on 128
        return array.array("B", data), 1.0 / 128.0, 128
    if width == 3:
        # Widen each 24-bit sample to 32 bits by putting a zero byte below it; the scale then
        # treats it as a 32-bit sample.
        wide = bytearray(len(data) // 3 * 4)
        wide[1::4] = data[0::3]
        wide[2::4] = data[1::3]
        wide[3::4] = data[2::3]
        data, width = bytes(wide), 4
    ints = array.array("h" if width == 2 else "i", data)
    if sys.byteorder == "big":
        ints.byteswap()
    return ints, 1.0 / float(1 << (8 * width - 1)), 0


def read_wav(path: str) -> Audio:
    """Reads an integer PCM WAV file and mixes its channels down to one with ``to_mono``."""
    _check_header(path)
    try:
        with wave.open(path, "rb") as w:
            channels, width, rate = w.getnchannels(), w.getsampwidth(), w.getframerate()
            frame_bytes = channels * width
            mono = array.array("f")
            while True:
                data = w.readframes(_BLOCK_FRAMES)
                data = data[: len(data) - len(data) % frame_bytes]  # a cut-off last frame is dropped
                if not data:
                    break
                ints, scale, offset = _decode(data, width)
                # to_mono wants the channels one after another, not interleaved as in the file.
                channel_major = [(v - offset) * scale for c in range(channels) for v in ints[c::channels]]
                mono.extend(_core.to_mono(channel_major, channels))
    except (wave.Error, EOFError) as e:
        raise AudioInputError(f"'{path}' cannot be read as a PCM WAV file ({e}); {SUPPORTED}") from None
    except OSError as e:
        raise AudioInputError(f"cannot read '{path}': {e.strerror or e}") from None
    if not mono:
        raise AudioInputError(f"'{path}' holds no audio samples")
    return Audio(mono, rate, channels, f"{8 * width}-bit PCM")
