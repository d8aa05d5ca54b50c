#!/usr/bin/env bash
# Sets everything up (see setup.sh) and runs the demonstration.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
exec .venv/bin/python examples/stft_tone.py
