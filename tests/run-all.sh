#!/usr/bin/env bash
# The whole test job on a fresh Debian machine: installs what is missing,
# then builds and runs every suite — the Linux tests under the linux,
# linux-asan and linux-tsan presets, after the linux preset a build under
# clang's thread-safety analysis (linux-tsa, built only), the DNS reply fuzzer
# for a bounded time, and the Windows program under Wine. Everything that
# touches the network runs inside a private network namespace that holds only
# loopback.
set -euo pipefail
cd "$(dirname "$0")/.."

FUZZ_SECONDS="${FUZZ_SECONDS:-60}"

packages=(
  cmake ninja-build g++ googletest libgtest-dev libgmock-dev
  clang libclang-rt-14-dev
  iproute2 util-linux netbase procps
  g++-mingw-w64-x86-64-posix wine64 wine fonts-wine xvfb xauth xdotool imagemagick
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "== installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

jobs="$(nproc)"
step() { echo; echo "== $* ($(date -u +%H:%M:%S))"; }
logs="$(mktemp -d)"
trap 'rm -rf "$logs"' EXIT
passed=0

build_and_test() {
  local preset=$1
  step "build and test: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  tests/run-in-netns.sh ctest --preset "$preset" | tee "$logs/$preset.txt"
  count="$(sed -n 's/.* tests failed out of \([0-9]*\)$/\1/p' "$logs/$preset.txt" | tail -n 1)"
  passed=$((passed + ${count:-0}))
}

build_and_test linux
# A compile check: a guarded member touched without its lock does not build.
step "build with clang's thread-safety analysis: linux-tsa"
cmake --preset linux-tsa >/dev/null
cmake --build --preset linux-tsa -j "$jobs"
build_and_test linux-asan
build_and_test linux-tsan

if [ -x tests/fuzz/run-fuzzer.sh ]; then
  step "fuzz the DNS reply reader for ${FUZZ_SECONDS}s"
  tests/fuzz/run-fuzzer.sh "$FUZZ_SECONDS"
fi

if [ -x tests/wine/run-wine-tests.sh ]; then
  step "Windows build under Wine"
  tests/wine/run-wine-tests.sh | tee "$logs/wine.txt"
  count="$(sed -n 's/^\([0-9]*\) of [0-9]* scenarios passed$/\1/p' "$logs/wine.txt" | tail -n 1)"
  passed=$((passed + ${count:-0}))
else
  step "Windows build (mingw preset)"
  cmake --preset mingw >/dev/null
  cmake --build --preset mingw -j "$jobs"
fi

step "all test stages passed"
echo "run-all: $passed passed, 0 failed"
