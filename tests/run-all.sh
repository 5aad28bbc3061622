#!/usr/bin/env bash
# The whole test job on a fresh Debian machine: installs what is missing,
# then builds and runs every suite — the Linux tests under the linux,
# linux-asan and linux-tsan presets, after the linux preset a build under
# clang's thread-safety analysis (linux-tsa, built only), the console program
# against real DNS and mail servers (dnsmasq, Postfix), the fuzzers for a
# bounded time each, the Windows program under Wine, then the install and the .deb
# and zip packages. Everything that touches the network runs inside a private
# network namespace that holds only loopback.
set -euo pipefail
cd "$(dirname "$0")/.."

# Seconds per fuzz target; six targets run one after another.
FUZZ_SECONDS="${FUZZ_SECONDS:-30}"

packages=(
  cmake ninja-build g++ googletest libgtest-dev libgmock-dev
  clang libclang-rt-14-dev
  iproute2 util-linux netbase procps
  dpkg-dev man-db groff-base
  g++-mingw-w64-x86-64-posix wine64 wine fonts-wine xvfb xauth xdotool imagemagick icoutils
  postfix dnsmasq-base microsocks
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
  # The real-server stage runs Postfix as a private instance in a namespace.
  # The package must not set up or start the machine's own mail system: with
  # no configuration chosen it writes no /etc/postfix/main.cf (and its unit
  # starts nothing without one), and a policy-rc.d that refuses every service
  # start stands while apt-get runs (an existing one is left as it is).
  echo "postfix postfix/main_mailer_type select No configuration" | $sudo debconf-set-selections
  policy=/usr/sbin/policy-rc.d
  added_policy=""
  if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\n# tests/run-all.sh: no service starts while it installs packages\nexit 101\n' \
      | $sudo tee "$policy" >/dev/null
    $sudo chmod 755 "$policy"
    added_policy=yes
    trap '$sudo rm -f "$policy"' EXIT
  fi
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
  if [ -n "$added_policy" ]; then
    $sudo rm -f "$policy"
    trap - EXIT
  fi
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

if [ -x tests/real/run-real-servers.sh ]; then
  step "real servers: dnsmasq and Postfix on loopback"
  tests/real/run-real-servers.sh | tee "$logs/real.txt"
  count="$(sed -n 's/^\([0-9]*\) of [0-9]* real-server scenarios passed$/\1/p' "$logs/real.txt" | tail -n 1)"
  passed=$((passed + ${count:-0}))
fi

if [ -x tests/fuzz/run-fuzzer.sh ]; then
  step "fuzz every reader of untrusted input, ${FUZZ_SECONDS}s each"
  tests/fuzz/run-fuzzer.sh "$FUZZ_SECONDS" | tee "$logs/fuzz.txt"
  count="$(sed -n 's/^\([0-9]*\) of [0-9]* fuzz targets ran clean$/\1/p' "$logs/fuzz.txt" | tail -n 1)"
  passed=$((passed + ${count:-0}))
fi

if [ -x tests/wine/run-wine-tests.sh ]; then
  step "Windows build under Wine"
  tests/wine/run-wine-tests.sh | tee "$logs/wine.txt"
  # The driver is a Windows program: its lines end in CR LF. It runs twice
  # (96 and 144 DPI), so its counts are added up.
  count="$(tr -d '\r' <"$logs/wine.txt" | sed -n 's/^\([0-9]*\) of [0-9]* scenarios passed$/\1/p' |
    awk '{ n += $1 } END { print n + 0 }')"
  passed=$((passed + ${count:-0}))
else
  step "Windows build (mingw preset)"
  cmake --preset mingw >/dev/null
  cmake --build --preset mingw -j "$jobs"
fi

step "install, .deb and zip"
tests/package/check-packages.sh linux mingw | tee "$logs/packages.txt"
count="$(sed -n 's/^\([0-9]*\) of [0-9]* package checks passed$/\1/p' "$logs/packages.txt" | tail -n 1)"
passed=$((passed + ${count:-0}))

step "all test stages passed"
echo "run-all: $passed passed, 0 failed"
