#!/usr/bin/env bash
# Checks a release zip as a user would get it: what it holds, the exe's version
# resource and manifest, and (given a Wine loader) that the unpacked exe runs
# command K over its empty VN\ and ends without a box.
#
#   tests/release/check.sh <zip> <version> [wine-binary]
#
# Run under an X display (xvfb-run -a) with WINEPREFIX set when Wine is given.
set -u
zip=$(realpath "$1"); version=$2; wine=${3:-}
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d /tmp/vornel-release.XXXXXX)
trap 'rm -rf "$work"' EXIT
PASSED=0; FAILED=0; CURRENT=$(basename "$zip")
check() {
  local what=$1; shift
  if "$@"; then PASSED=$((PASSED + 1)); else FAILED=$((FAILED + 1)); echo "   FAILED: $CURRENT: $what"; fi
}
same() { [ "$1" = "$2" ] || { echo "     expected [$2], got [$1]"; return 1; }; }
has() { grep -qF -- "$1" "$work/resources.rc" || { echo "     missing [$1]"; return 1; }; }

(cd "$work" && mkdir unpacked && cd unpacked && cmake -E tar xf "$zip")
check "holds the exe, its papers and an empty VN" same \
  "$(cd "$work/unpacked" && find . -mindepth 1 | sort | tr '\n' ' ')" \
  "./CHANGELOG.md ./LICENSE ./README.md ./VN ./vornel.exe "
check "VN is an empty folder" same "$(ls -A "$work/unpacked/VN" 2>&1)" ""

# The standard DOS stub, which every DOS host tells a Windows program by: its
# relocation table at 40h and its entry there (vDos), the PE signature it
# points to (vDosPlus), and the code that prints its words by INT 21h AH=09h
# (DOSBox-X without startcmd shows them).
hex() { od -A n -t x1 -j "$1" -N "$2" "$work/unpacked/vornel.exe" | tr -d ' \n'; }
check "the standard DOS stub: relocations and entry at 40h" same "$(hex 20 6)" "000000004000"
check "... its code and words" same "$(hex 64 57)" \
  "0e1fba0e00b409cd21b8014ccd21$(printf 'This program cannot be run in DOS mode.\r\r\n$' | od -A n -t x1 | tr -d ' \n')"
lfanew=$((16#$(od -A n -t x4 -j 60 -N 4 "$work/unpacked/vornel.exe" | tr -d ' ')))
check "... pointing to the PE signature" same "$(hex "$lfanew" 4)" "50450000"

case "$zip" in *win32*) windres=i686-w64-mingw32-windres ;; *) windres=x86_64-w64-mingw32-windres ;; esac
"$windres" -i "$work/unpacked/vornel.exe" -O rc > "$work/resources.rc" 2>/dev/null
IFS=. read -r major minor patch <<< "$version"
check "file version" has " FILEVERSION $major, $minor, $patch, 0"
check "product version" has " PRODUCTVERSION $major, $minor, $patch, 0"
for value in "\"FileDescription\", \"Vornel: numbered snapshots for XyWrite\"" "\"ProductName\", \"Vornel\"" \
             "\"FileVersion\", \"$version\"" "\"ProductVersion\", \"$version\"" \
             "\"OriginalFilename\", \"vornel.exe\"" "\"LegalCopyright\", \"Copyright (c)"; do
  check "version resource: $value" has "VALUE $value"
done
check "one manifest" same "$(grep -c '^1 24 /\* RT_MANIFEST \*/' "$work/resources.rc")" 1
check "runs as invoker" has 'requestedExecutionLevel level=""asInvoker""'
for os in e2011457-1546-43c5-a5fe-008deee3d3f0 35138b9a-5d96-4fbd-8e2d-a2440225f93a \
          4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38 1f676c76-80e1-4239-95bb-83d0f6d0da78 \
          8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a; do
  check "supported OS $os" has "supportedOS Id=\"\"{$os}\"\""
done

if [ -n "$wine" ]; then
  timeout 30 "$wine" "$work/unpacked/vornel.exe" K >/dev/null 2>&1 & pid=$!
  check "K over an empty VN shows no box" same \
    "$(timeout 30 "$wine" "$root/build/windows/tools/dialog.exe" 3000 2>/dev/null | tr -d '\r')" "no box"
  check "and ends by itself" wait "$pid"
  check "and leaves VN empty" same "$(ls -A "$work/unpacked/VN")" ""
fi
echo "== release check ($(basename "$zip")): $PASSED checks passed, $FAILED failed"
[ "$FAILED" = 0 ]
