#!/usr/bin/env bash
# Prepares a fresh Debian machine (as root, or with sudo) to build and run sonavera:
# system packages, a Python 3.13 virtual environment in .venv, and the package built into it.
# With --test it also installs what the tests need (qemu-user, to run the kernels on an emulated
# processor without AVX). Safe to run again: each step is skipped when already done.
set -euo pipefail
cd "$(dirname "$0")/.."

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

packages=()
pkg-config --exists fftw3f 2>/dev/null || packages+=(libfftw3-dev pkg-config)
command -v g++ >/dev/null || packages+=(g++)
if [ "${1:-}" = "--test" ] && [ "$(uname -m)" = x86_64 ] && ! command -v qemu-x86_64 >/dev/null; then
  packages+=(qemu-user)
fi
if [ ${#packages[@]} -gt 0 ]; then
  echo "==> installing system packages: ${packages[*]}" >&2
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${packages[@]}" >/dev/null
fi

find_python() {
  if [ -n "${PYTHON:-}" ]; then echo "$PYTHON"; return; fi
  if command -v pyenv >/dev/null && PYENV_VERSION=3.13.0 pyenv which python3.13 >/dev/null 2>&1; then
    PYENV_VERSION=3.13.0 pyenv which python3.13; return
  fi
  if command -v python3.13 >/dev/null; then command -v python3.13; return; fi
  echo "error: Python 3.13 not found; install it or set PYTHON=/path/to/python3.13" >&2
  exit 1
}

if [ ! -x .venv/bin/python ] || ! .venv/bin/python -c 'import sys; assert sys.version_info[:2] == (3, 13)' 2>/dev/null; then
  echo "==> creating .venv with $(find_python)" >&2
  rm -rf .venv
  "$(find_python)" -m venv .venv
fi

echo "==> building and installing sonavera into .venv" >&2
.venv/bin/python -m pip install -q ".[test]"
