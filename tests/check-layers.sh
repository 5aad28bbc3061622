#!/usr/bin/env bash
# Fails when a product file includes a header from a layer it may not use.
# The table is the picture in docs/architecture.md: each folder may include
# its own headers and those of the folders listed for it, nothing above.
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A allowed=(
  [platform]="platform"
  [text]="text platform"
  [dialog]="dialog"
  [dns]="dns text platform"
  [probe]="probe dialog text platform"
  [settings]="settings dialog text platform"
  [run]="run probe dns dialog text platform"
  [shell]="shell run settings probe dns dialog text platform"
)

bad=0
checked=0
for layer in "${!allowed[@]}"; do
  while IFS= read -r -d '' file; do
    checked=$((checked + 1))
    while IFS= read -r include; do
      target="${include%%/*}"
      ok=0
      for permitted in ${allowed[$layer]}; do
        [ "$target" = "$permitted" ] && ok=1
      done
      if [ "$ok" -eq 0 ]; then
        echo "check-layers: $file includes \"$include\", above the $layer layer" >&2
        bad=$((bad + 1))
      fi
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\/[^"]*\)".*/\1/p' "$file")
  done < <(find "$layer" -type f \( -name '*.h' -o -name '*.cpp' \) -print0)
done

if [ "$bad" -gt 0 ]; then
  echo "check-layers: $bad upward includes" >&2
  exit 1
fi
echo "check-layers: $checked files, every include follows the layers"
