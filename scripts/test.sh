#!/usr/bin/env bash
# Sets everything up (see setup.sh) and runs the test suite. Extra arguments go to pytest.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --test
exec .venv/bin/python -m pytest "$@"
