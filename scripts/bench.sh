#!/usr/bin/env bash
# Sets everything up (see setup.sh), adds the NumPy/SciPy peers, and runs the benchmark.
# Extra arguments go to bench/run.py (for example --repeat 11 or --only stft,yin).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
.venv/bin/python -m pip install -q ".[bench]"
exec .venv/bin/python bench/run.py "$@"
