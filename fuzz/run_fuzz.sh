#!/usr/bin/env bash
# Runs every fuzz target of a build tree for a bounded time on its corpus and
# prints the executions per target:
#   run_fuzz.sh BUILD-DIR [SECONDS-PER-TARGET]
# Fails when a target finds an input that breaks a property or crashes; the
# input is kept as BUILD-DIR/fuzz-artifacts/TARGET-crash-*.
set -uo pipefail
build=$1 seconds=${2:-15}
targets="filter extract_field collect_parenthesised org_merge server_table window_pos decode_string"
targets="$targets rdap_text rdap_bootstrap"
mkdir -p "$build/fuzz-artifacts" "$build/fuzz-logs"
failed=0
printf '%-24s %12s %10s %8s\n' target executions exec/s status
for t in $targets; do
  exe=$build/bin/fuzz_$t
  log=$build/fuzz-logs/$t.log
  [ -x "$exe" ] || { echo "run_fuzz.sh: $exe is missing" >&2; exit 1; }
  timeout $((seconds + 60)) "$exe" -max_total_time="$seconds" -rss_limit_mb=2048 -max_len=65536 \
    -timeout=10 -print_final_stats=1 -artifact_prefix="$build/fuzz-artifacts/$t-" \
    "$build/fuzz-corpus/$t" > "$log" 2>&1
  status=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  result=ok
  if [ $status -ne 0 ]; then
    result="FAILED($status)"
    failed=1
  fi
  printf '%-24s %12s %10s %8s\n' "$t" "${execs:-?}" "${rate:-?}" "$result"
  [ $status -ne 0 ] && tail -n 40 "$log"
done
exit $failed
