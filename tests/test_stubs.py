"""The type stubs of the native module: they match it, they are installed, and a type checker
uses them to catch wrong calls."""

import re
import subprocess
import sys
import textwrap
from pathlib import Path

import pytest

from sonavera import _core


def test_stub_and_marker_are_installed_beside_the_module():
    folder = Path(_core.__file__).parent
    assert (folder / "_core.pyi").is_file()
    assert (folder / "py.typed").is_file()


@pytest.fixture
def mypy_config(tmp_path):
    """An empty configuration, so that no user or project setting changes the checks."""
    pytest.importorskip("mypy", reason="mypy is not installed (it comes with the test extra)")
    path = tmp_path / "mypy.ini"
    path.write_text("[mypy]\n")
    return str(path)


def test_stubtest_finds_the_stub_consistent_with_the_module(tmp_path, mypy_config):
    proc = subprocess.run(
        [sys.executable, "-m", "mypy.stubtest", "sonavera._core", "--mypy-config-file", mypy_config],
        cwd=tmp_path,
        capture_output=True,
        text=True,
        timeout=300,
    )
    assert proc.returncode == 0, proc.stdout + proc.stderr


# Each line marked "# error: CODE" must be reported with that code, and no other line at all.
USER_CODE = textwrap.dedent(
    """\
    import array

    from sonavera import _core

    values, n_frames, n_bins = _core.stft([0.0] * 4096, n_fft=1024)
    magnitudes: list[float] = [abs(complex(a, b)) for a, b in zip(values[0::2], values[1::2])]
    flux: list[float] = _core.onset_strength(magnitudes, n_frames, n_bins)
    flags: list[bool] = _core.zero_crossings(array.array("f", [0.5, -0.5]), pad=False)
    samples: list[int] = _core.time_to_samples([0.5], sr=8000.0)
    seconds: list[float] = _core.frames_to_time(range(4), hop_length=256, n_fft=None)
    rms = _core.get_rms(memoryview(b"abcd").cast("f"), frame_length=1024)
    mono = _core.to_mono(b"\\x01\\x02", 2)

    _core.stft([0.0], n_fft="1024")  # error: arg-type
    _core.yin([0.0], 65.0)  # error: call-arg
    _core.get_rms([0.0], hop=4)  # error: call-arg
    _core.hz_to_mel(440.0)  # error: arg-type
    count: str = _core.stft([0.0])[1]  # error: assignment
    crossing: float = _core.zero_crossings([1.0])  # error: assignment
    """
)


def test_type_checker_accepts_good_calls_and_flags_wrong_ones(tmp_path, mypy_config):
    source = tmp_path / "user.py"
    source.write_text(USER_CODE)
    proc = subprocess.run(
        [
            sys.executable, "-m", "mypy", "--strict", "--no-error-summary", "--show-error-codes",
            "--cache-dir", str(tmp_path / "cache"), "--config-file", mypy_config, str(source),
        ],
        cwd=tmp_path,
        capture_output=True,
        text=True,
        timeout=300,
    )
    assert proc.stderr == ""
    reported = {}
    for line in proc.stdout.splitlines():
        if ": note: " in line:
            continue
        found = re.match(r".*user\.py:(\d+): error: .*\[([\w-]+)\]$", line)
        assert found, line
        reported.setdefault(int(found.group(1)), set()).add(found.group(2))
    expected = {
        number: {re.search(r"# error: ([\w-]+)", line).group(1)}
        for number, line in enumerate(USER_CODE.splitlines(), start=1)
        if "# error:" in line
    }
    assert reported == expected, proc.stdout
