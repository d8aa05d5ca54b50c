"""The README teaches what the module does: its Python example runs, and its function table
lists every function with its real signature, in the module's order."""

import contextlib
import inspect
import io
import re
from pathlib import Path

from sonavera import _core

README = (Path(__file__).resolve().parents[1] / "README.md").read_text()


def test_python_examples_run():
    blocks = re.findall(r"```python\n(.*?)```", README, re.S)
    assert blocks
    for block in blocks:
        with contextlib.redirect_stdout(io.StringIO()) as out:
            exec(compile(block, "README.md", "exec"), {})
        assert "frames; at" in out.getvalue()


def test_function_table_gives_every_signature():
    table = README[README.index("### The 33 functions") :]
    rows = re.findall(r"^\| `(\w+)(\(.*?\))` \|", table, re.M)
    assert [name for name, _ in rows] == _core.__all__
    for name, signature in rows:
        assert signature == str(inspect.signature(getattr(_core, name))), name
