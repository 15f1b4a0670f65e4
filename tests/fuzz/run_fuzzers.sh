#!/usr/bin/env bash
# Usage: run_fuzzers.sh BUILD_FOLDER SECONDS [TARGET...]
# Runs every fuzz target of a fuzz build (or the ones named) for a set time each, from seed corpora
# made by the project's own writers (and sox/oggenc for Ogg). Corpora grow inside the build folder,
# never in the repository; the crash inputs of tests/fuzz/regressions are replayed first. Fails on
# any crash, leak, time-out or memory blow-up, and prints each target's executions and coverage.
set -euo pipefail
build="$1"
seconds="${2:-60}"
shift 2 || shift $#
source_dir="$(cd "$(dirname "$0")" && pwd)"
fuzzers="$build/tests/fuzz"
work="$build/fuzz-work"
mkdir -p "$work"

seeds="$(mktemp -d)"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp" "$seeds"' EXIT
export TMPDIR="$tmp"  # the targets' own input folders go with it
"$fuzzers/loomwork-fuzz-seeds" "$seeds" "$source_dir/../../data/script/sculpt.lua"
mkdir -p "$seeds/ogg"
sox -D -n -r 22050 -c 1 -b 16 -e signed-integer "$tmp/a.wav" synth 0.2 sine 440 2>/dev/null
sox -D -n -r 44100 -c 2 -b 16 -e signed-integer "$tmp/b.wav" synth 0.1 sine 300 sine 500 2>/dev/null
oggenc -Q -q -1 -o "$seeds/ogg/mono.ogg" "$tmp/a.wav"
oggenc -Q -q 2 -o "$seeds/ogg/stereo.ogg" "$tmp/b.wav"

targets=(sculpture chunk_file wave ogg ktx shader_file font script timeline)
[ $# -gt 0 ] && targets=("$@")  # or only the targets named after the time
failed=0
passed=0
for target in "${targets[@]}"; do
  corpus="$work/corpus-$target"
  mkdir -p "$corpus"
  cp -n "$seeds/$target"/* "$corpus"/ 2>/dev/null || true
  regressions="$source_dir/regressions/$target"
  options=(-timeout=10 -rss_limit_mb=2560 -max_len=65536 -print_final_stats=1)
  # The font check and the script host must never be slow: a slow input counts as a failure.
  case "$target" in font|script|ogg) options[0]=-timeout=5 ;; esac
  [ -f "$source_dir/dict/$target.dict" ] && options+=(-dict="$source_dir/dict/$target.dict")
  if [ -d "$regressions" ] && [ -n "$(ls -A "$regressions")" ]; then
    LSAN_OPTIONS="suppressions=$source_dir/../sanitizer/lsan.supp:print_suppressions=0" \
      "$fuzzers/fuzz_$target" "${options[@]}" "$regressions"/* > "$work/$target-regressions.log" 2>&1 ||
      { echo "fuzz_$target: a regression input fails again:"; tail -30 "$work/$target-regressions.log"; failed=1; continue; }
  fi
  if ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS="suppressions=$source_dir/../sanitizer/lsan.supp:print_suppressions=0" \
      "$fuzzers/fuzz_$target" "${options[@]}" -max_total_time="$seconds" \
      -artifact_prefix="$work/$target-" "$corpus" > "$work/$target.log" 2>&1; then
    execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/$target.log" | grep -o '[0-9]*$' || echo "?")
    cov=$(grep -o 'cov: [0-9]*' "$work/$target.log" | tail -1 | grep -o '[0-9]*' || echo "?")
    ft=$(grep -o 'ft: [0-9]*' "$work/$target.log" | tail -1 | grep -o '[0-9]*' || echo "?")
    rss=$(grep -o 'stat::peak_rss_mb: *[0-9]*' "$work/$target.log" | grep -o '[0-9]*$' || echo "?")
    slowest=$(grep -o 'stat::slowest_unit_time_sec: *[0-9]*' "$work/$target.log" | grep -o '[0-9]*$' || echo "?")
    echo "fuzz_$target: ${seconds} s, $execs runs, cov $cov, ft $ft, peak RSS ${rss} MB, slowest input ${slowest} s"
    passed=$((passed + 1))
  else
    echo "fuzz_$target FAILED (log: $work/$target.log):"
    grep -E 'ERROR|SUMMARY|timeout|out-of-memory|Test unit written' "$work/$target.log" | head -20
    failed=1
  fi
done
echo "fuzz: $passed passed, $(( ${#targets[@]} - passed )) failed"
exit $failed
