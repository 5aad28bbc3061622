#!/usr/bin/env bash
# Builds the DNS reply fuzzer (fuzz preset: clang, libFuzzer, ASan, UBSan) and
# runs it for the given number of seconds, starting from the seed corpus.
# New inputs go to a scratch folder that is removed afterwards; the seeds are
# only read. It runs in a private network namespace like every other test.
#   tests/fuzz/run-fuzzer.sh SECONDS
set -euo pipefail
seconds="${1:-60}"
cd "$(dirname "$0")/../.."

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target dns_reply_fuzzer

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
tests/run-in-netns.sh build/fuzz/tests/fuzz/dns_reply_fuzzer \
  -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  "$scratch" tests/fuzz/corpus/dns_reply
