# Sourced by .ci/run: timed stages and test runs that may not skip.

ci_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
ci_logs="$ci_root/build-ci-logs"
mkdir -p "$ci_logs"
ci_stage=""
ci_stage_start=0
ci_run_start=$SECONDS

# Says which stage failed, and after how long, when the run ends early.
ci_report_end() {
  local status=$?
  if [ -n "$ci_stage" ]; then
    echo "== $ci_stage: FAILED after $((SECONDS - ci_stage_start)) s" >&2
  fi
  echo "== CI $([ $status -eq 0 ] && echo passed || echo failed) in $((SECONDS - ci_run_start)) s"
  return $status
}
trap ci_report_end EXIT

# stage NAME COMMAND...: runs one stage and prints its duration.
stage() {
  ci_stage="$1"
  shift
  ci_stage_start=$SECONDS
  echo "== $ci_stage"
  "$@"
  echo "== $ci_stage: $((SECONDS - ci_stage_start)) s"
  ci_stage=""
}

# Fails for every test ctest reports as not run (skipped or disabled) that
# .ci/allowed-skips does not name with a reason.
check_skips() {
  local log="$1" name reason found=0
  while read -r name; do
    reason="$(awk -v test="$name" '$1 == test { $1 = ""; sub(/^ +/, ""); print; exit }' "$ci_root/.ci/allowed-skips")"
    if [ -n "$reason" ]; then
      echo "Allowed to skip: $name ($reason)"
    else
      echo "Skipped without an entry in .ci/allowed-skips: $name" >&2
      found=1
    fi
  done < <(sed -n '/^The following tests did not run:/,/^$/p' "$log" |
             sed -n 's/^[[:space:]]*[0-9]\+ - \(.*\) (\(Skipped\|Disabled\|Not Run\)[^)]*)$/\1/p')
  return $found
}

# tests LOG_NAME COMMAND...: runs a test command, keeps its output in a log
# and fails on a skip that is not allowed.
tests() {
  local log="$ci_logs/$1.log" status=0
  shift
  # Statuses kept by hand: this may run where errexit is off (after || or in if).
  "$@" 2>&1 | tee "$log"
  status=${PIPESTATUS[0]}
  check_skips "$log" || status=1
  return $status
}

# sanitized_ctest BUILD_DIR: all tests of a sanitizer build, as many at once as there are cores.
sanitized_ctest() {
  QT_QPA_PLATFORM=offscreen ctest --test-dir "$1" --output-on-failure -j "$(nproc)" --timeout 900
}
