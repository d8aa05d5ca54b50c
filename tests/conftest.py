import pytest

from sonavera import _core


@pytest.fixture(scope="session")
def internal_error_type():
    """The class of the native core's internal-error exception, obtained by provoking one."""
    try:
        _core.istft([], [], 1, 2)  # one frame of two bins promised, none given
    except BaseException as exc:  # noqa: BLE001 - the class lies outside Exception on purpose
        return type(exc)
    raise AssertionError("a read past an array did not fail")
