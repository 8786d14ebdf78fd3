#!/usr/bin/env bash
# Creates bench/.venv with the peer libraries and this package, so that every
# benchmark measures us and the peers in one run on one input.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
venv="$root/bench/.venv"
stamp="$venv/.peers-stamp"
if [ ! -f "$stamp" ] || [ "$root/bench/requirements.txt" -nt "$stamp" ]; then
  test -x "$venv/bin/python" || python3 -m venv "$venv"
  "$venv/bin/python" -m pip install -q --upgrade pip
  "$venv/bin/python" -m pip install -q -r "$root/bench/requirements.txt"
  touch "$stamp"
fi
# Reuses the main build folder: nothing is compiled twice.
"$venv/bin/python" -m pip install -q --no-build-isolation --no-deps \
  -Cbuild-dir="$root/build/py" -Ccmake.define.NIMBREL_TESTS=ON -Ccmake.define.NIMBREL_BENCH=ON "$root"
