#!/usr/bin/env bash
# Install benchmark under Wine, on the corpus packed solid at level 9:
# - setup.exe (assembled by gmz sfx) installing it silently;
# - gmz.exe extract of the same package: the same decoding without the install work;
# - an installer of the same corpus made with makensis (solid LZMA, 64 MiB dictionary,
#   the amd64 stub like our x86_64 setup.exe), run silently: the installer a release
#   engineer on Linux would otherwise pick;
# - the installer's peak memory against the package, and gmz sfx against a copy of the
#   package.
# The stub is stripped, as a shipped one is: its debug sections would load with it.
# Every program runs in a fresh Wine prefix of its own making (build/bench-install).
# Reports; never fails a build.
#   bench/install.sh [CORPUS_DIR]   (default: build/corpus)
set -euo pipefail
corpus=$(realpath -m -- "${1:-$(dirname "$0")/../build/corpus}")
cd "$(dirname "$0")/.."
root=$PWD
work=$root/build/bench-install
mkdir -p "$work"
[ -d "$corpus" ] || scripts/make-corpus "$corpus"
scripts/bootstrap
command -v makensis >/dev/null || apt-get install -y -qq --no-install-recommends nsis >/dev/null
cmake --preset linux >/dev/null && cmake --build --preset linux -j"$(nproc)" --target gmz >/dev/null
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j"$(nproc)" --target gmz setup-stub >/dev/null
gmz=build/linux/tools/gmz/gmz
files=$(find "$corpus" -type f | wc -l)
bytes=$(du -sb "$corpus" | cut -f1)

# The installers (not timed, but for gmz sfx).
[ -f "$work/corpus.gmz" ] || "$gmz" pack "$corpus" -o "$work/corpus.gmz" --method solid --level 9 --meta gmfolder=GmBench
cat >"$work/corpus.nsi" <<NSI
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
SetCompressorDictSize 64
Name "GmBench"
OutFile "$work/nsis-setup.exe"
InstallDir "\$PROGRAMFILES\\GmBenchNsis"
RequestExecutionLevel admin
SilentInstall silent
Section
  SetOutPath "\$INSTDIR"
  File /r "$corpus/*"
SectionEnd
NSI
[ -f "$work/nsis-setup.exe" ] || makensis -V1 "$work/corpus.nsi"

export WINEPREFIX=$work/prefix HOME=$work/home
export WINEDEBUG=-all
trap 'scripts/wine-session stop >/dev/null 2>&1 || true' EXIT
rm -rf "$WINEPREFIX" "$HOME"
scripts/wine-session start >/dev/null
drive=$WINEPREFIX/drive_c

measure() {
  local name=$1
  shift
  sync
  /usr/bin/time -f '%e %M' -o "$work/time.txt" "$@" </dev/null >/dev/null 2>&1 || echo "$name: exit status $?"
  read -r seconds kb <"$work/time.txt"
  printf '%-22s %7.2f s  peak %7.1f MB\n' "$name" "$seconds" "$(awk -v kb="$kb" 'BEGIN { print kb / 1024 }')"
  echo "$seconds $kb" >"$work/$name.txt"
}
value() { cut -d' ' -f"$2" "$work/$1.txt"; }

echo "corpus: $corpus, $files files, $((bytes / 1000000)) MB; package $(($(stat -c %s "$work/corpus.gmz") / 1000000)) MB"
x86_64-w64-mingw32-strip -o "$work/setup-stub.exe" build/win64/tools/gmz/setup-stub.exe
measure "gmz sfx" "$gmz" sfx --stub "$work/setup-stub.exe" --package "$work/corpus.gmz" -o "$work/setup.exe"
measure "copy of the package" sh -c 'cat "$1" >"$2"' sh "$work/corpus.gmz" "$work/copy.gmz"
rm -f "$work/copy.gmz"
"$gmz" sfx --stub "$work/setup-stub.exe" --package tests/data/setup-hello.gmz -o "$drive/setup-tiny.exe" >/dev/null
cp "$work/setup.exe" "$work/nsis-setup.exe" build/win64/tools/gmz/gmz.exe "$work/corpus.gmz" "$drive/"

for round in 1 2; do
  rm -rf "$drive/gmzx" "$drive/Program Files (x86)/GmBench" "$drive/Program Files/GmBenchNsis"
  measure "setup.exe, tiny package" wine 'C:\setup-tiny.exe'
  measure "gmz.exe extract" wine 'C:\gmz.exe' extract 'C:\corpus.gmz' -C 'C:\gmzx'
  measure "setup.exe" wine 'C:\setup.exe'
  measure "makensis installer" wine 'C:\nsis-setup.exe' /S
done
installed=$(find "$drive/Program Files (x86)/GmBench" -type f | wc -l)
nsis=$(find "$drive/Program Files/GmBenchNsis" -type f | wc -l)
echo "installed files: setup.exe $installed, makensis installer $nsis, gmz.exe extract $(find "$drive/gmzx" -type f | wc -l)"

package=$(stat -c %s "$work/corpus.gmz")
awk -v setup="$(value setup.exe 1)" -v extract="$(value "gmz.exe extract" 1)" -v nsis="$(value "makensis installer" 1)" \
  -v peak="$(value setup.exe 2)" -v base="$(value "setup.exe, tiny package" 2)" -v package="$package" \
  -v sfx="$(value "gmz sfx" 1)" -v cp="$(value "copy of the package" 1)" 'BEGIN {
  printf "setup.exe / makensis installer: %.2f (goal at most 0.85)\n", setup / nsis
  printf "setup.exe / gmz.exe extract:    %.2f (goal at most 1.10)\n", setup / extract
  limit = package / 1048576 + 64 + 16
  printf "setup.exe peak: %.1f MiB; goal: package + dictionary + 16 MiB = %.1f MiB\n", peak / 1024, limit
  printf "  above the same installer with a tiny package (Wine and its DLLs, the program): %.1f MiB = package + dictionary + %.1f MiB\n",
    (peak - base) / 1024, (peak - base) / 1024 - limit + 16
  printf "gmz sfx / copy of the package: %.2f\n", sfx / cp
}'
