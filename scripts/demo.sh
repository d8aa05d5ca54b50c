#!/usr/bin/env bash
# Sets everything up (see setup.sh), adds the plotting extra, and runs the main job: the analyze
# command on the built-in test signal, with its summary on stdout and its plot written to
# demo-analysis.png (or to the path given as the first argument).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

# The plot needs matplotlib, the optional extra sonavera[plot]. setup.sh may already have brought
# it (the test extra includes it); install the extra only when it is missing, since installing
# the project again rebuilds it.
if ! .venv/bin/python -c 'import matplotlib' 2>/dev/null; then
  echo "==> installing the plotting extra (sonavera[plot]) into .venv" >&2
  .venv/bin/python -m pip install -q ".[plot]"
fi

exec .venv/bin/sonavera analyze --plot "${1:-demo-analysis.png}"
