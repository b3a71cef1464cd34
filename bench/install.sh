#!/usr/bin/env bash
# Install benchmark under Wine, of the installers as the build makes them (nothing
# stripped or tuned here), for both pairs:
# - i686: setup.exe from the i686 stub, gmz.exe (i686) extract of the same package, and
#   a makensis installer with NSIS's x86 stub;
# - x86_64: the same with the x86_64 stub, gmz.exe and NSIS's amd64 stub;
# and each setup.exe again with its package's checksum trailer cut off (no check), for
# what the check costs.
# Packages are solid LZMA at level 9 (64 MiB dictionary); the makensis installers are
# /SOLID lzma with a 64 MiB dictionary, silent. Each program runs five times in one Wine
# prefix of the benchmark's own (build/bench-install), in turns; the best round counts. What they
# write goes to a tmpfs (/dev/shm, through links from the prefix): on a disk, ext4's
# handling of the inodes each round frees makes the next round's times swing by half,
# whichever program runs. Peak
# private memory is sampled from /proc (bench/peak_private.py): what the process has to
# itself, not the package the loader maps from the file.
# Two corpora: the large one (scripts/make-corpus, about 300 MB) and a client of about
# 60 MB in about 3,400 files (scripts/make-corpus --client).
# Reports; never fails a build.
#   bench/install.sh [CORPUS_DIR...]   (default: build/corpus and build/corpus-client)

set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
work=$root/build/bench-install
mkdir -p "$work"
corpora=("$@")
if [ ${#corpora[@]} -eq 0 ]; then
  corpora=("$root/build/corpus" "$root/build/corpus-client")
  [ -d build/corpus ] || scripts/make-corpus build/corpus
  [ -d build/corpus-client ] || scripts/make-corpus --client build/corpus-client
fi
scripts/bootstrap
command -v makensis >/dev/null || apt-get install -y -qq --no-install-recommends nsis >/dev/null
cmake --preset linux >/dev/null && cmake --build --preset linux -j"$(nproc)" --target gmz >/dev/null
for preset in win64 win32; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$(nproc)" --target gmz setup-stub >/dev/null
done
gmz=build/linux/tools/gmz/gmz

export WINEPREFIX=$work/prefix HOME=$work/home
export WINEDEBUG=-all
rm -rf "$WINEPREFIX" "$HOME"
scripts/wine-session start >/dev/null
drive=$WINEPREFIX/drive_c

# once NAME PROGRAM COMMAND...: one round (after `prepare`), kept when it is the best so
# far. Rounds go through every program in turn, so a slow minute of the machine falls on
# all of them alike; the best of five counts.
rounds=5
once() {
  local name=$1 program=$2
  shift 2
  prepare
  read -r seconds kib status < <(python3 bench/peak_private.py "$program" -- "$@")
  [ "$status" = 0 ] || echo "  $name: exit status $status"
  local file=$work/$name.txt best=""
  [ -f "$file" ] && best=$(cat "$file")
  if [ -z "$best" ] || awk -v a="$seconds" -v b="${best%% *}" 'BEGIN { exit !(a < b) }'; then
    echo "$seconds $kib" >"$file"
  fi
}
report() {
  local best
  best=$(cat "$work/$1.txt")
  printf '  %-28s %7.2f s  peak private %7.1f MiB\n' "$1" "${best%% *}" "$(awk -v k="${best##* }" 'BEGIN { print k / 1024 }')"
}
value() { cut -d' ' -f"$2" "$work/$1.txt"; }
# The folders the programs write, empty, on the tmpfs.
targets=("gmzx" "Program Files (x86)/GmBench" "Program Files (x86)/GmBenchNsis" "Program Files/GmBenchNsis")
shm=/dev/shm/gm-bench-$$
trap 'scripts/wine-session stop >/dev/null 2>&1 || true; rm -rf "$shm"' EXIT
prepare() {
  local t
  for t in "${targets[@]}"; do
    rm -rf "${shm:?}/$t" "$drive/$t"
    mkdir -p "$shm/$t" "$(dirname "$drive/$t")"
    ln -s "$shm/$t" "$drive/$t"
  done
}

for corpus in "${corpora[@]}"; do
  files=$(find "$corpus" -type f | wc -l)
  bytes=$(du -sb "$corpus" | cut -f1)
  tag=$(basename "$corpus")
  package=$work/$tag.gmz
  [ -f "$package" ] || "$gmz" pack "$corpus" -o "$package" --method solid --level 9 --meta gmfolder=GmBench >/dev/null
  echo
  echo "corpus $corpus: $files files, $((bytes / 1000000)) MB; package $(($(stat -c %s "$package") / 1000000)) MB"
  cp "$package" "$drive/corpus.gmz"
  for pair in "i686 win32 x86-unicode" "x86_64 win64 amd64-unicode"; do
    read -r arch preset nsisTarget <<<"$pair"
    nsis=$work/$tag-nsis-$arch.exe
    if [ ! -f "$nsis" ]; then
      cat >"$work/nsis.nsi" <<NSI
Unicode true
Target $nsisTarget
SetCompressor /SOLID lzma
SetCompressorDictSize 64
Name "GmBench"
OutFile "$nsis"
InstallDir "\$PROGRAMFILES\\GmBenchNsis"
RequestExecutionLevel admin
SilentInstall silent
Section
  SetOutPath "\$INSTDIR"
  File /r "$corpus/*"
SectionEnd
NSI
      makensis -V1 "$work/nsis.nsi"
    fi
    "$gmz" sfx --stub "build/$preset/tools/gmz/setup-stub.exe" --package "$package" -o "$drive/gm-setup.exe" >/dev/null
    # The same package without its checksum trailer: what the check costs.
    head -c -16 "$package" >"$work/unchecked.gmz"
    "$gmz" sfx --stub "build/$preset/tools/gmz/setup-stub.exe" --package "$work/unchecked.gmz" \
      -o "$drive/gm-unchecked.exe" >/dev/null
    "$gmz" sfx --stub "build/$preset/tools/gmz/setup-stub.exe" --package tests/data/setup-hello.gmz \
      -o "$drive/gm-tiny.exe" >/dev/null
    cp "build/$preset/tools/gmz/gmz.exe" "$drive/gmz.exe"
    cp "$nsis" "$drive/nsis-setup.exe"
    echo " $arch: stub $(stat -c %s "build/$preset/tools/gmz/setup-stub.exe") bytes"
    names=("$arch setup.exe, tiny" "$arch gmz.exe extract" "$arch setup.exe" "$arch setup.exe, unchecked"
           "$arch makensis installer")
    for name in "${names[@]}"; do rm -f "$work/$name.txt"; done
    for _ in $(seq "$rounds"); do
      once "${names[0]}" gm-tiny.exe wine 'C:\gm-tiny.exe'
      once "${names[1]}" gmz.exe wine 'C:\gmz.exe' extract 'C:\corpus.gmz' -C 'C:\gmzx'
      once "${names[2]}" gm-setup.exe wine 'C:\gm-setup.exe'
      installed=$(find -L "$drive/Program Files (x86)/GmBench" -type f | wc -l)
      [ "$installed" -eq "$((files + 1))" ] || echo "  setup.exe installed $installed files (the corpus has $files, and the record)"
      once "${names[3]}" gm-unchecked.exe wine 'C:\gm-unchecked.exe'
      once "${names[4]}" nsis-setup.exe wine 'C:\nsis-setup.exe' /S
    done
    for name in "${names[@]}"; do report "$name"; done
    awk -v setup="$(value "$arch setup.exe" 1)" -v extract="$(value "$arch gmz.exe extract" 1)" \
      -v nsis="$(value "$arch makensis installer" 1)" -v unchecked="$(value "$arch setup.exe, unchecked" 1)" -v peak="$(value "$arch setup.exe" 2)" \
      -v base="$(value "$arch setup.exe, tiny" 2)" 'BEGIN {
      printf "  setup.exe / makensis installer: %.2f (goal at most 0.85)\n", setup / nsis
      printf "  setup.exe / gmz.exe extract:    %.2f (goal at most 1.10)\n", setup / extract
      printf "  the package check:              %.2f s, %.1f%% of the install (goal at most 5%%)\n",
        setup - unchecked, (setup - unchecked) * 100 / setup
      printf "  private memory above the installer with a tiny package: %.1f MiB (goal: the dictionary + 16 MiB = 80 MiB)\n",
        (peak - base) / 1024
    }'
  done
done
