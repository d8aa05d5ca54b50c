#!/usr/bin/env bash
# Builds the module with AddressSanitizer and UndefinedBehaviorSanitizer into its own virtual
# environment (.venv-sanitize) and runs the whole test suite under it. Extra arguments go to pytest.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh  # system packages and the interpreter check

if [ ! -x .venv-sanitize/bin/python ]; then
  "$(.venv/bin/python -c 'import sys; print(sys._base_executable)')" -m venv .venv-sanitize
fi
echo "==> building and installing the sanitizer build into .venv-sanitize" >&2
.venv-sanitize/bin/python -m pip install -q ".[test]" \
  -C cmake.define.SONAVERA_SANITIZE=ON -C cmake.build-type=RelWithDebInfo -C build-dir=build/sanitize

# The interpreter itself is not instrumented, so the runtimes are preloaded; Python's small-object
# allocator is replaced by malloc so that every allocation is checked. Leak reports are off here:
# the interpreter keeps objects alive until exit by design (the leak test measures our code).
# The reports go to files and are shown afterwards: a report aborts the process while pytest
# still holds the captured standard error, which would take the report with it.
reports="$(mktemp -d)"
trap 'rm -rf "$reports"' EXIT
runtimes="$(g++ -print-file-name=libasan.so):$(g++ -print-file-name=libubsan.so)"
status=0
LD_PRELOAD="$runtimes" PYTHONMALLOC=malloc \
  ASAN_OPTIONS="detect_leaks=0:abort_on_error=1:halt_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1:log_path=$reports/asan" \
  UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:log_path=$reports/ubsan" \
  .venv-sanitize/bin/python -m pytest -p no:cacheprovider "$@" || status=$?
for report in "$reports"/*; do
  [ -e "$report" ] || continue
  echo "==> sanitizer report $(basename "$report")" >&2
  cat "$report" >&2
  [ "$status" -ne 0 ] || status=1
done
exit "$status"
