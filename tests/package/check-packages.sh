#!/usr/bin/env bash
# Checks what the install rules and the packages deliver, without changing
# the machine: an install into a scratch folder (DESTDIR) whose program and
# manual page must work, the .deb's file list and control fields, and the
# Windows zip's contents. Builds the package target of each preset; the
# presets' builds are expected to be there already (run-all makes them).
#
#   tests/package/check-packages.sh [linux] [mingw]     (both when none named)
#
# Needs: cmake, dpkg-dev (dpkg-shlibdeps), man-db and groff-base, and for
# mingw the MinGW-w64 binutils (objdump) and icoutils (wrestool, icotool).
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
version=1.2
deb=$root/build/linux/vantrel_${version}_amd64.deb
zip=$root/build/mingw/Vantrel-${version}-win64.zip
scratch=$(mktemp -d /tmp/vantrel-packages.XXXXXX)
trap 'rm -rf "$scratch"' EXIT

passed=0
total=0
check() {  # description, command...: one counted check; its output shown only when it fails
  local description=$1
  shift
  total=$((total + 1))
  if "$@" >"$scratch/output" 2>&1; then
    passed=$((passed + 1))
    echo "ok: $description"
  else
    echo "FAILED: $description"
    sed 's/^/    /' "$scratch/output"
  fi
}
same() {  # what, expected, actual
  [ "$2" = "$3" ] && return 0
  printf '%s: expected\n%s\nbut got\n%s\n' "$1" "$2" "$3"
  return 1
}

# --- linux: cmake --install, then the .deb ---------------------------------
destdir=$scratch/destdir
installed_files() {
  DESTDIR=$destdir cmake --install "$root/build/linux" --prefix /usr || return 1
  same "installed files" "$(printf '%s\n' ./usr/bin/vantrel ./usr/share/man/man1/vantrel.1)" \
    "$(cd "$destdir" && find . -type f | sort)"
}
installed_program_runs() {
  same "--version" "Vantrel $version" "$("$destdir/usr/bin/vantrel" --version)"
}
manual_renders() {
  local page=$destdir/usr/share/man/man1/vantrel.1
  LC_ALL=C.UTF-8 MANWIDTH=80 MANPAGER=cat man --warnings -l "$page" >"$scratch/man.txt" 2>"$scratch/man.err" || return 1
  if [ -s "$scratch/man.err" ]; then cat "$scratch/man.err"; return 1; fi
  for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" FILES EXAMPLES; do
    grep -q "^$section\$" "$scratch/man.txt" || { echo "no section $section"; return 1; }
  done
}
# The page is written by hand, so an option added to the program and not
# to the page would otherwise go unnoticed.
manual_has_every_option() {
  local option missing=0
  for option in $("$destdir/usr/bin/vantrel" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    grep -q -F -- "${option//-/\\-}" "$destdir/usr/share/man/man1/vantrel.1" || { echo "not in the page: $option"; missing=1; }
  done
  return "$missing"
}
deb_built() {
  rm -f "$deb"
  cmake --build --preset linux --target package || return 1
  test -f "$deb"
}
deb_files() {
  same "files in the .deb" "$(printf '%s\n' '-rwxr-xr-x ./usr/bin/vantrel' '-rw-r--r-- ./usr/share/man/man1/vantrel.1')" \
    "$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $1, $6}')"
}
deb_control() {
  local field value
  for field in Package:vantrel Version:$version Architecture:amd64 Section:mail; do
    same "${field%%:*}" "${field#*:}" "$(dpkg-deb -f "$deb" "${field%%:*}")" || return 1
  done
  for field in Depends Maintainer Description; do
    value=$(dpkg-deb -f "$deb" "$field")
    [ -n "$value" ] || { echo "no $field"; return 1; }
  done
  dpkg-deb -f "$deb" Depends | grep -q 'libc6' || { echo "Depends lacks libc6"; return 1; }
  dpkg-deb -f "$deb" Depends | grep -q 'libstdc++6' || { echo "Depends lacks libstdc++6"; return 1; }
  dpkg-deb -f "$deb" Depends | grep -q 'netbase' || { echo "Depends lacks netbase"; return 1; }
}
# The .deb's program is the stripped one, so it is run too.
deb_program_runs() {
  dpkg-deb -x "$deb" "$scratch/deb" || return 1
  same "--version of the .deb's program" "Vantrel $version" "$("$scratch/deb/usr/bin/vantrel" --version)" || return 1
  cmp "$root/docs/vantrel.1" "$scratch/deb/usr/share/man/man1/vantrel.1"
}

# --- mingw: the zip -----------------------------------------------------------
zip_built() {
  rm -f "$zip"
  cmake --build --preset mingw --target package || return 1
  test -f "$zip"
}
zip_files() {
  same "files in the zip" "$(printf '%s\n' README.txt Vantrel.exe)" "$(cmake -E tar tf "$zip" | sort)" || return 1
  mkdir -p "$scratch/zip" && (cd "$scratch/zip" && cmake -E tar xf "$zip")
}
zip_readme_has_crlf_lines() {
  local readme=$scratch/zip/README.txt lf cr crlf
  lf=$(tr -cd '\n' <"$readme" | wc -c)
  cr=$(tr -cd '\r' <"$readme" | wc -c)
  crlf=$(grep -c $'\r$' "$readme")
  [ "$lf" -gt 0 ] && [ "$lf" -eq "$cr" ] && [ "$lf" -eq "$crlf" ] && [ -z "$(tail -c 1 "$readme" | tr -d '\n')" ] \
    || { echo "README.txt: $lf LF, $cr CR, $crlf lines ending in CR LF"; return 1; }
}
# It must run from the zip alone: no MinGW runtime DLL beside it.
zip_exe_stands_alone() {
  local exe=$scratch/zip/Vantrel.exe
  same "first bytes of Vantrel.exe" MZ "$(head -c 2 "$exe")" || return 1
  x86_64-w64-mingw32-objdump -p "$exe" | grep 'DLL Name' >"$scratch/dlls" || return 1
  if grep -i -E 'libstdc|libgcc|libwinpthread' "$scratch/dlls"; then return 1; fi
}

# Its resources, read back with icoutils' wrestool: the manifest as the
# build wrote it, the strings File properties show, and the repository's icon
# in all four sizes.
zip_exe_carries_its_resources() {
  local exe=$scratch/zip/Vantrel.exe
  wrestool -x --raw -t 24 "$exe" >"$scratch/manifest" || return 1
  cmp "$scratch/manifest" "$root/build/mingw/shell/win32/Vantrel.manifest" || return 1
  local strings
  strings=$(wrestool -x --raw -t 16 "$exe" | strings -el -n 3 | paste -sd ' ')
  [[ $strings == *"FileDescription E-mail list verifier FileVersion $version InternalName Vantrel OriginalFilename \
Vantrel.exe ProductName Vantrel ProductVersion $version "* ]] || { echo "version resource: $strings"; return 1; }
  wrestool -x -t 14 -o "$scratch/icon.ico" "$exe" || return 1
  same "icon sizes" "$(icotool -l "$root/shell/win32/icon/Vantrel.ico")" "$(icotool -l "$scratch/icon.ico")"
}

presets=("$@")
[ "${#presets[@]}" -gt 0 ] || presets=(linux mingw)
for preset in "${presets[@]}"; do
  case $preset in
    linux)
      check "cmake --install puts bin/vantrel and share/man/man1/vantrel.1 into DESTDIR" installed_files
      check "the installed vantrel --version says Vantrel $version" installed_program_runs
      check "man -l renders the installed page without warnings" manual_renders
      check "the page names every option of vantrel --help" manual_has_every_option
      check "the package target builds $(basename "$deb")" deb_built
      check "the .deb holds bin/vantrel and the page, nothing else" deb_files
      check "the .deb's control fields (Package, Version, Architecture, Section, Depends with netbase)" deb_control
      check "the .deb's program runs and its page is docs/vantrel.1" deb_program_runs
      ;;
    mingw)
      check "the package target builds $(basename "$zip")" zip_built
      check "the zip holds Vantrel.exe and README.txt at its top" zip_files
      check "README.txt in the zip has CR LF line ends" zip_readme_has_crlf_lines
      check "Vantrel.exe in the zip needs no MinGW DLL" zip_exe_stands_alone
      check "Vantrel.exe in the zip carries its manifest, version and icon" zip_exe_carries_its_resources
      ;;
    *) echo "unknown preset: $preset (linux or mingw)" >&2; exit 2 ;;
  esac
done

echo "$passed of $total package checks passed"
[ "$passed" -eq "$total" ]
