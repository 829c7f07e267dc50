#!/usr/bin/env bash
# Builds the stand-in prerequisite packages (real MSI files, made with msitools' wixl) that the
# end-to-end scenarios serve over loopback HTTP or put in the share's Common folder.
# Usage: tools/packages/build-packages.sh [win32 bin folder] [output folder]
#   defaults: build/win32/bin (must hold CrystalRuntime.dll) and build/win32/packages
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
bin=$(realpath -m "${1:-$root/build/win32/bin}")
out=$(realpath -m "${2:-$root/build/win32/packages}")

runtime="$bin/CrystalRuntime.dll"
[ -f "$runtime" ] || { echo "build-packages: $runtime missing: build the win32 tree first" >&2; exit 1; }
command -v wixl >/dev/null || { echo "build-packages: wixl missing (apt-get install wixl)" >&2; exit 1; }

# wixl resolves each File's Source against the current folder: stage the payload in one place.
stage="$out/.payload"
rm -rf "$stage"
mkdir -p "$stage"
cp "$runtime" "$stage/CrystalRuntime.dll"
# The launcher only tests that these files exist; their content is a label for whoever finds one.
printf 'stand-in braille font\r\n' >"$stage/BRAILLE.TTF"
printf 'stand-in barcode font library\r\n' >"$stage/u2ldfont.dll"
printf 'stand-in report engine 8.5\r\n' >"$stage/crpe32.dll"

build() {  # <source .wxs> <package file name>
  local tmp="$out/.$2.tmp"
  # wixl prints GLib warnings about absolute paths it then resolves fine; keep its real errors.
  if ! (cd "$stage" && wixl -a x86 -o "$tmp" "$here/$1" 2>"$tmp.log"); then
    cat "$tmp.log" >&2
    rm -f "$tmp" "$tmp.log"
    echo "build-packages: wixl failed on $1" >&2
    exit 1
  fi
  rm -f "$tmp.log"
  mv -f "$tmp" "$out/$2"
}

build BrailleFonts.wxs "Braille Fonts.msi"
build BarcodeFonts.wxs "BarCode Fonts Installer.msi"
build CrystalReportsXI.wxs "Crystal Reports XI.msi"
build Crystal85.wxs "Crystal 8.5.msi"
rm -rf "$stage"
echo "build-packages: 4 packages in $out"
