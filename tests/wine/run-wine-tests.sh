#!/usr/bin/env bash
# Builds Vantrel.exe and its test driver with the mingw preset, then runs the
# driver under Wine and Xvfb inside a private network namespace, next to the
# loopback DNS and mail servers. Nothing here can reach another machine: the
# namespace has only its own loopback interface.
#
#   tests/wine/run-wine-tests.sh [scenario name part]
#
# Needs: g++-mingw-w64-x86-64-posix g++ cmake ninja-build wine64 wine
# fonts-wine xvfb xauth imagemagick, and unshare (util-linux) with iproute2.
# The driver runs every scenario at 96 DPI, then the DPI scenario again at 144.
# VANTREL_SHOTS=<folder> keeps the screenshots as PNG there; VANTREL_SHOTS=docs
# renews docs/vantrel-during-run.png, docs/vantrel-after-run.png,
# docs/vantrel-96dpi.png and docs/vantrel-144dpi.png.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=$root/build/wine-tests

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
report_time() { local ms=$(( $(now_ms) - $2 )); printf '%s: %d.%01d s\n' "$1" $(( ms / 1000 )) $(( ms % 1000 / 100 )); }

if [ -z "${VANTREL_WINE_INSIDE:-}" ]; then
  started=$(now_ms)
  cmake --preset mingw >/dev/null
  cmake --build --preset mingw --target Vantrel vantrel_wine_driver
  mkdir -p "$build"
  g++ -std=c++17 -O1 -Wall -Wextra -Werror -I"$root" "$root/tests/wine/fake_mail_servers.cpp" \
    "$root/tests/support/loopback.cpp" -pthread -o "$build/fake_mail_servers"
  report_time build "$started"
  exec env VANTREL_WINE_INSIDE=1 "$root/tests/run-in-netns.sh" "$0" "$@"
fi

# From here on we are inside the namespace.
scratch=$(mktemp -d /tmp/vantrel-wine.XXXXXX)
export WINEPREFIX=$scratch/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export HOME=$scratch  # nothing of the user's own Wine or X settings
fake_pid=
xvfb_pid=
cleanup() {
  wineserver -k 2>/dev/null || true
  [ -n "$fake_pid" ] && kill "$fake_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT

# Waits for a condition with a bound, instead of guessing a sleep; past the
# bound it says what did not happen and fails the script.
wait_for() {
  local bound=$1 what=$2
  shift 2
  local start=$SECONDS
  until "$@"; do
    if (( SECONDS - start > bound )); then
      echo "FAILED: $what within $bound s"
      exit 1
    fi
    sleep 0.05
  done
}

# Runs a step with a bound, so that a Wine that hangs fails the script. The
# message goes to the script's own stderr (fd 4), past the step's redirection.
exec 4>&2
bounded() {
  local bound=$1 what=$2
  shift 2
  local status=0
  timeout --kill-after=10 "$bound" "$@" || status=$?
  if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
    echo "FAILED: $what did not finish within $bound s" >&4
    exit 1
  fi
  return "$status"
}

started=$(now_ms)
bounded 300 "creating the Wine prefix" wine wineboot -i >/dev/null 2>&1
bounded 120 "wineserver after wineboot" wineserver -w
mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
# Without a window manager, Wine waits on each window that hides or closes.
bounded 120 "wine reg add" wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
bounded 120 "wineserver after reg add" wineserver -w
report_time prefix "$started"

# Xvfb picks a free display itself and names it once it is ready.
Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$scratch/display" >/dev/null 2>&1 &
xvfb_pid=$!
wait_for 20 "Xvfb named its display" test -s "$scratch/display"
export DISPLAY=:$(head -n1 "$scratch/display")

servers=$scratch/servers
mkdir -p "$servers"
"$build/fake_mail_servers" "$servers" &
fake_pid=$!
wait_for 20 "the fake mail servers listened" test -e "$servers/ready"

work=$scratch/work
shots=$scratch/shots
mkdir -p "$work" "$shots"
started=$(now_ms)
status=0
# Every wait of the driver has its own bound; this one only catches a Wine
# that hangs outside them.
bounded 600 "the Wine test driver" wine "$root/build/mingw/tests/wine/vantrel_wine_driver.exe" \
  "$root/build/mingw/shell/win32/Vantrel.exe" "$(winepath -w "$work")" "$(winepath -w "$shots")" "${1:-}" ||
  status=$?
report_time run "$started"
wineserver -k 2>/dev/null || true

# The dialog once more at 150 % (144 DPI, Wine's LogPixels, read as Wine
# starts up again): its DPI scenario only, unless another one was asked for.
if [ -z "${1:-}" ] || [[ "the window at the system DPI" == *"$1"* ]]; then
  bounded 120 "wine reg add LogPixels" wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f \
    >/dev/null 2>&1
  bounded 120 "wineserver after LogPixels" wineserver -w
  bounded 600 "the Wine test driver at 144 DPI" wine "$root/build/mingw/tests/wine/vantrel_wine_driver.exe" \
    "$root/build/mingw/shell/win32/Vantrel.exe" "$(winepath -w "$work")" "$(winepath -w "$shots")" \
    "the window at the system DPI" || status=$?
  wineserver -k 2>/dev/null || true
fi

# Whatever the driver saw, no mail server may have been told more than the
# four commands of a probe.
kill "$fake_pid"
wait "$fake_pid" || true
fake_pid=
for transcript in "$servers"/smtp-*.txt; do
  if grep -a -v -E '^(HELO |MAIL FROM: ?<|RCPT TO: ?<|QUIT)' "$transcript" | grep -a -q .; then
    echo "FAILED: a mail server got more than HELO, MAIL FROM, RCPT TO and QUIT: $transcript"
    cat -A "$transcript"
    status=1
  fi
done

if [ -n "${VANTREL_SHOTS:-}" ]; then
  mkdir -p "$VANTREL_SHOTS"
  for shot in "$shots"/*.bmp; do
    [ -e "$shot" ] && convert "$shot" "$VANTREL_SHOTS/$(basename "${shot%.bmp}").png"
  done
fi
exit "$status"
