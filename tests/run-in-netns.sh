#!/usr/bin/env bash
# Runs a command inside a private network namespace in which only the loopback
# interface exists and is up: fake servers can bind 127.0.0.x:25 and :53, and
# every other address is unreachable, so nothing leaves the machine.
set -euo pipefail
if [ "$(id -u)" -eq 0 ]; then flags=(--net); else flags=(--net --map-root-user); fi
exec unshare "${flags[@]}" -- bash -c 'ip link set lo up && exec "$@"' netns "$@"
