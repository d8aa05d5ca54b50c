"""The ``sonavera`` command (also ``python -m sonavera``).

``sonavera analyze [FILE] [--json] [--plot OUT.png]`` analyses a WAV file, or the built-in test
signal when no file is given, and prints a summary. Every error it reports is one line on
stderr and exit status 2.
"""

from __future__ import annotations

import argparse
import json
import math
import os
import sys
from collections.abc import Sequence

from sonavera import analysis, testsignal, wavfile

EXIT_ERROR = 2
# Files longer than this get a progress line on stderr.
PROGRESS_AFTER_S = 60.0


class CommandError(Exception):
    """A failure to report to the user as one line."""


def _version() -> str:
    from importlib.metadata import PackageNotFoundError, version

    try:
        return version("sonavera")
    except PackageNotFoundError:
        return "unknown"


def _parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(prog="sonavera", description="Audio analysis with an exact, fast native core.")
    parser.add_argument("--version", action="version", version=f"%(prog)s {_version()}")
    commands = parser.add_subparsers(dest="command", metavar="COMMAND")
    command = commands.add_parser(
        "analyze",
        help="summarise a WAV file (or the built-in test signal)",
        description=(
            "Analyse a WAV file (uncompressed PCM, 8, 16, 24 or 32-bit, any number of channels, "
            "mixed down to mono) and print a summary: level, pitch, spectral descriptors, chroma, "
            "onsets and MFCC means. Without FILE, a built-in 5-second test signal is analysed."
        ),
    )
    command.add_argument(
        "file", nargs="?", metavar="FILE", help="WAV file to analyse (default: the built-in test signal)"
    )
    command.add_argument("--json", action="store_true", help="print the summary as JSON")
    command.add_argument(
        "--plot",
        metavar="OUT.png",
        help="also draw waveform, log-mel spectrogram, chroma, onsets and pitch into this image "
        "(needs the extra sonavera[plot])",
    )
    return parser


def _clock(seconds: float) -> str:
    minutes, rest = divmod(int(seconds), 60)
    return f"{minutes}:{rest:02d}"


class _ProgressLine:
    """Rewrites one line on a terminal; elsewhere prints a line every tenth of the way."""

    def __init__(self, name: str, duration: float) -> None:
        self.name, self.duration = name, duration
        self.tty = sys.stderr.isatty()
        self.shown = -1

    def __call__(self, done: int, total: int) -> None:
        percent = 100 * done // total
        if not self.tty and percent // 10 == self.shown // 10:
            return
        self.shown = percent
        position = f"{_clock(self.duration * done / total)} of {_clock(self.duration)}"
        text = f"analysing {self.name}: {percent:3d}% ({position})"
        if self.tty:
            sys.stderr.write("\r" + text + ("\n" if done == total else ""))
        else:
            sys.stderr.write(text + "\n")
        sys.stderr.flush()


def _check_plot_target(path: str) -> None:
    """Fails before any analysis if the plot cannot be written: matplotlib, directory, file type."""
    from sonavera import plot

    try:
        figure_class = plot.figure_class()
    except plot.PlotUnavailable as e:
        raise CommandError(str(e)) from None
    folder = os.path.dirname(path) or "."
    if not os.path.isdir(folder):
        raise CommandError(f"cannot write the plot to '{path}': no directory '{folder}'")
    extension = os.path.splitext(path)[1][1:].lower()
    supported = figure_class().canvas.get_supported_filetypes()
    if extension not in supported:
        raise CommandError(
            f"cannot write the plot to '{path}': unknown image type '.{extension}' "
            f"(use one of {', '.join('.' + k for k in sorted(supported))})"
        )


def _finite(value):
    """The summary with every non-finite float replaced by None, so that it is valid JSON."""
    if isinstance(value, float):
        return value if math.isfinite(value) else None
    if isinstance(value, dict):
        return {k: _finite(v) for k, v in value.items()}
    if isinstance(value, list):
        return [_finite(v) for v in value]
    return value


def _fixed(value: float, spec: str) -> str:
    """The value formatted, without the minus sign of a value that rounds to zero."""
    text = f"{value:{spec}}"
    return text[1:] if text.startswith("-") and not text.strip("-0.") else text


def _format_text(s: dict) -> str:
    def number(value, spec: str, unit: str = "") -> str:
        return "n/a" if value is None else _fixed(value, spec) + unit

    pitch, means = s["pitch"], s["spectral_means"]
    if pitch["median_hz"] is None:
        pitch_text = "no voiced frames"
    else:
        pitch_text = f"median {pitch['median_hz']:.1f} Hz ({pitch['median_note']})"
    pitch_text += f", voiced in {100 * pitch['voiced_fraction']:.0f}% of frames"
    onsets = ", ".join(f"{o['time_s']:.2f} s" for o in s["onsets"]) or "none"
    mfcc = s["mfcc_means"]
    channels = f"{s['channels']} ({s['sample_format']}"
    channels += ", mixed down to mono)" if s["channels"] > 1 else ")"
    level = s["level_dbfs"]
    rows = [
        ("source", s["source"]),
        ("duration", f"{s['duration_s']:.2f} s ({s['samples']} samples)"),
        ("sample rate", f"{s['sample_rate_hz']} Hz"),
        ("channels", channels),
        ("level", f"{number(level['rms'], '.1f')} dBFS RMS, {number(level['peak'], '.1f')} dBFS peak"),
        ("pitch", pitch_text),
        ("centroid", number(means["centroid_hz"], ".1f", " Hz") + " (mean over frames)"),
        ("bandwidth", number(means["bandwidth_hz"], ".1f", " Hz")),
        ("roll-off", number(means["rolloff_hz"], ".1f", " Hz") + " (85% of the magnitude)"),
        ("flatness", number(means["flatness"], ".4f")),
        ("zero crossings", number(s["zero_crossing_rate"], ".4f", " per sample")),
        ("pitch class", (s["chroma"]["strongest_pitch_class"] or "none") + " (strongest in the chromagram)"),
        ("onsets", onsets + " (strongest, in time order)"),
        ("MFCC means", "  ".join(number(v, ".1f") for v in mfcc[:7])),
        ("", "  ".join(number(v, ".1f") for v in mfcc[7:])),
    ]
    if "plot" in s:
        rows.append(("plot", s["plot"]))
    return "\n".join(f"{label:<15} {value}".rstrip() for label, value in rows)


def _load(path: str | None) -> tuple[wavfile.Audio, str]:
    if path is None:
        samples = testsignal.generate()
        return wavfile.Audio(samples, testsignal.SAMPLE_RATE, 1, "32-bit float, generated"), testsignal.DESCRIPTION
    try:
        return wavfile.read_wav(path), path
    except wavfile.AudioInputError as e:
        raise CommandError(str(e)) from None


def _analyze(args: argparse.Namespace) -> None:
    if args.plot is not None:
        _check_plot_target(args.plot)
    audio, source = _load(args.file)
    duration = len(audio.samples) / audio.sample_rate
    name = os.path.basename(args.file) if args.file else "test signal"
    progress = _ProgressLine(name, duration) if duration > PROGRESS_AFTER_S else None
    result = analysis.analyze(audio.samples, audio.sample_rate, keep_matrices=args.plot is not None, progress=progress)
    found = result.summary
    summary = {
        "source": source,
        "duration_s": found["duration_s"],
        "sample_rate_hz": found["sample_rate_hz"],
        "channels": audio.channels,
        "sample_format": audio.sample_format,
        **found,
    }
    if args.plot is not None:
        from sonavera import plot

        try:
            plot.write_plot(result, args.plot, title=os.path.basename(source) if args.file else source)
        except (OSError, ValueError) as e:
            raise CommandError(f"cannot write the plot to '{args.plot}': {e}") from None
        summary["plot"] = args.plot
    summary = _finite(summary)
    if args.json:
        print(json.dumps(summary, indent=2, allow_nan=False))
    else:
        print(_format_text(summary))


def main(argv: Sequence[str] | None = None) -> int:
    """Runs the command line; returns the exit status."""
    parser = _parser()
    args = parser.parse_args(argv)
    if args.command is None:
        parser.print_help(sys.stderr)
        return EXIT_ERROR
    try:
        _analyze(args)
    except CommandError as e:
        print(f"sonavera: error: {e}", file=sys.stderr)
        return EXIT_ERROR
    except KeyboardInterrupt:
        print("sonavera: interrupted", file=sys.stderr)
        return 130
    except BrokenPipeError:
        # The reader went away (| head): no traceback, and none at exit when stdout is flushed.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return 1
    return 0
