"""Audio analysis with an exact, fast native core.

The numeric work happens in ``sonavera._core``: flat arrays in, new lists out.
"""

from sonavera import _core

__all__ = ["_core"]
