#!/usr/bin/env bash
# Runs every libFuzzer binary of a build folder for a fixed time on a copy of
# its committed seed corpus and reports, per target, how many inputs it ran,
# the edge coverage it reached and what it found. Findings (crash, leak,
# timeout, out-of-memory inputs) are copied into the target's seed corpus, so
# that the corpus replay under ctest keeps them as regression inputs; the run
# then fails. The table goes to stdout and to the report file.
#
#   run_all.sh BUILD_DIR [SECONDS_PER_TARGET] [REPORT_FILE]
set -euo pipefail
build=${1:?build folder}
seconds=${2:-30}
report=${3:-$build/fuzz-report.txt}
root=$(cd "$(dirname "$0")" && pwd)
logs="$build/fuzz-logs"
mkdir -p "$root/artifacts" "$logs" "$(dirname "$report")"

# UBSan findings abort (without this they are printed and the run goes on);
# leaks count as findings.
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:abort_on_error=1:print_stacktrace=1}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}

bins=("$build"/fuzz/fuzz_*)
[ -x "${bins[0]}" ] || { echo "no fuzz targets in $build/fuzz" >&2; exit 2; }

rows=()
total_findings=0
for bin in "${bins[@]}"; do
  name=$(basename "$bin")
  work=$(mktemp -d)
  artifacts=$(mktemp -d)
  cp -r "$root/corpus/$name/." "$work/" 2>/dev/null || true
  echo "== $name ($seconds s)"
  log="$logs/$name.log"
  # A finding stops libFuzzer with a non-zero status; the artifacts tell.
  # One input may take at most 10 s, so that a hang is a finding, not a stall.
  status=0
  "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$work" >"$log" 2>&1 || status=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  # No coverage line when a seed input fails at once.
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2 || true)
  found=()
  for file in "$artifacts"/*; do
    [ -f "$file" ] || continue
    # Named so that .gitignore (crash-* and the like) does not hide them.
    kind=$(basename "$file" | cut -d- -f1)
    keep="$root/corpus/$name/found_${kind}_$(sha1sum "$file" | cut -c1-12)"
    cp "$file" "$keep"
    cp "$file" "$root/artifacts/$name-$(basename "$file")"
    found+=("$kind:$(basename "$keep")")
  done
  if [ "$status" -ne 0 ] && [ ${#found[@]} -eq 0 ]; then
    # Died without leaving an input (e.g. a fault in libFuzzer itself).
    found+=("exit-status-$status")
  fi
  total_findings=$((total_findings + ${#found[@]}))
  rows+=("$(printf '%-24s %14s %8s  %s' "$name" "${execs:-?}" "${cov:-?}" \
    "$([ ${#found[@]} -eq 0 ] && echo none || echo "${found[*]}")")")
  if [ ${#found[@]} -ne 0 ]; then
    echo "   findings: ${found[*]} (log: $log)"
    tail -n 40 "$log"
  fi
  rm -rf "$work" "$artifacts"
done

{
  echo "fuzzing: $seconds s per target, ASan+UBSan, $(date -u '+%Y-%m-%d %H:%M UTC')"
  printf '%-24s %14s %8s  %s\n' target executions "cov:" findings
  printf '%s\n' "${rows[@]}"
} | tee "$report"

if [ "$total_findings" -ne 0 ]; then
  echo "$total_findings finding(s), copied into fuzz/corpus/<target>/ as regression inputs" >&2
  exit 1
fi
