#!/usr/bin/env bash
# Builds the fuzzers (fuzz preset: clang, libFuzzer, ASan, UBSan) and runs
# each for the given number of seconds, starting from its seed corpus in
# tests/fuzz/corpus/<target>. New inputs go to a scratch folder that is
# removed afterwards; the seeds are only read. An input that breaks a target
# is kept in build/fuzz/findings/<target>/ and fails the run, after every
# target has had its turn. It runs in a private network namespace like every
# other test.
#   tests/fuzz/run-fuzzer.sh [SECONDS [TARGET...]]     (default: 30 s, all)
set -euo pipefail
seconds="${1:-30}"
shift || true
cd "$(dirname "$0")/../.."

all=(dns_reply smtp_dialogue member_list settings address_matcher command_line)
targets=("$@")
[ "${#targets[@]}" -gt 0 ] || targets=("${all[@]}")

# The longest input worth trying: a few replies or lines go a long way, and
# the address matcher's reference search is only fair on short texts.
max_len() {
  case "$1" in
    address_matcher) echo 64 ;;
    command_line) echo 512 ;;
    settings) echo 1024 ;;
    *) echo 4096 ;;
  esac
}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "${targets[@]/%/_fuzzer}"

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
findings="build/fuzz/findings"
failed=()
summary=()
for target in "${targets[@]}"; do
  echo "== fuzz $target for ${seconds}s"
  mkdir -p "$scratch/$target" "$findings/$target"
  set +e
  tests/run-in-netns.sh "build/fuzz/tests/fuzz/${target}_fuzzer" \
    -max_total_time="$seconds" -max_len="$(max_len "$target")" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$findings/$target/" \
    "$scratch/$target" "tests/fuzz/corpus/$target" >"$scratch/$target.log" 2>&1
  status=$?
  set -e
  # On a finding, what libFuzzer said about it, without its progress lines
  # and its dictionary advice.
  if [ "$status" -ne 0 ]; then
    sed '/^###### Recommended dictionary/,/^###### End of recommended dictionary/d; /^#[0-9]/d' "$scratch/$target.log"
  fi
  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$scratch/$target.log" | tail -n 1)"
  speed="$(sed -n 's/^stat::average_exec_per_sec: *//p' "$scratch/$target.log" | tail -n 1)"
  if [ "$status" -ne 0 ]; then
    failed+=("$target")
    summary+=("$target: FINDING after ${runs:-?} runs, input kept in $findings/$target/")
  else
    summary+=("$target: ${runs:-?} runs, ${speed:-?} runs/s, clean")
  fi
done

echo
printf '%s\n' "${summary[@]}"
if [ "${#failed[@]}" -gt 0 ]; then
  echo "fuzzing found faults in: ${failed[*]}"
  exit 1
fi
echo "${#targets[@]} of ${#targets[@]} fuzz targets ran clean"
