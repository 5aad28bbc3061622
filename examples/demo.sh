#!/usr/bin/env bash
# The whole job on one machine, without internet: builds Vantrel, starts a
# small mail world (a DNS server on 127.0.0.1, SMTP servers on 127.0.0.x)
# inside a private network namespace, checks examples/members.lst against it
# and shows what came out. Nothing leaves the loopback interface.
#
#   bash examples/demo.sh
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/linux"

if [ "${1:-}" = "--inside" ]; then
  # Second half, inside the namespace: $2 is the work folder.
  cd "$2"
  "$build/examples/demo_world" >world.txt &
  world=$!
  trap 'kill "$world" 2>/dev/null || true' EXIT
  for _ in $(seq 200); do
    grep -q '^ready$' world.txt && break
    kill -0 "$world" 2>/dev/null || break
    sleep 0.05
  done
  if ! grep -q '^ready$' world.txt; then
    echo "The demo world did not start." >&2
    exit 1
  fi

  echo "\$ vantrel --from \"<demo@vantrel.example>\" --list members.lst --dns 127.0.0.1 --errors file"
  set +e
  "$build/shell/console/vantrel" --from "<demo@vantrel.example>" --list members.lst --dns 127.0.0.1 --errors file
  status=$?
  set -e
  echo "(exit status $status)"

  kill -TERM "$world"
  wait "$world" || true
  trap - EXIT

  show() {  # title, file: the file as the program wrote it, CR LF shown as line ends
    echo
    echo "=== $1"
    if [ -f "$2" ]; then tr -d '\r' <"$2"; else echo "(no such file)"; fi
  }
  show "members.lst, the member list (never changed)" members.lst
  show "members.lst.OK, the result list: \"++\" marks an address that could not be checked now, retried next run" members.lst.OK
  show "members.lst.BAD, the bad addresses (--errors file)" members.lst.BAD
  echo
  echo "=== vantrel.log, the run log (last 25 lines)"
  tr -d '\r' <vantrel.log | tail -n 25
  show "Vantrel.INI, the settings saved at exit" Vantrel.INI
  echo
  sed '/^ready$/d' world.txt
  exit "$status"
fi

# First half: what the demo needs, the build, a fresh work folder.
need=()
command -v cmake >/dev/null || need+=(cmake)
command -v ninja >/dev/null || need+=(ninja-build)
command -v g++ >/dev/null || need+=(g++)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest libgtest-dev)
command -v ip >/dev/null || need+=(iproute2)
command -v unshare >/dev/null || need+=(util-linux)
grep -qw '^smtp' /etc/services 2>/dev/null || need+=(netbase)
if [ "${#need[@]}" -gt 0 ]; then
  echo "Installing ${need[*]} ..."
  sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

cd "$root"
echo "Building Vantrel (preset linux) ..."
cmake --preset linux >/dev/null
cmake --build --preset linux --target vantrel demo_world

work="$(mktemp -d "${TMPDIR:-/tmp}/vantrel-demo.XXXXXX")"
cp examples/members.lst "$work/"
echo
echo "Work folder: $work"
echo
status=0
tests/run-in-netns.sh bash "$root/examples/demo.sh" --inside "$work" || status=$?
echo
echo "The files are in $work."
exit "$status"
