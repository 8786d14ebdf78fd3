#!/usr/bin/env bash
# Runs each libFuzzer binary of a build folder for a short time on a copy of
# its committed seed corpus; new findings land in fuzz/artifacts/.
set -euo pipefail
build=${1:?build folder}
seconds=${2:-30}
root=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$root/artifacts"
for bin in "$build"/fuzz/fuzz_*; do
  name=$(basename "$bin")
  work=$(mktemp -d)
  cp -r "$root/corpus/$name/." "$work/" 2>/dev/null || true
  echo "== $name ($seconds s)"
  "$bin" -max_total_time="$seconds" -artifact_prefix="$root/artifacts/$name-" "$work"
  rm -rf "$work"
done
