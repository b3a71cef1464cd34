#!/usr/bin/env bash
# Extraction benchmark on the corpus packed solid at level 9: gmz extract to a folder,
# gmz test, xz -dc of the same solid stream (given the 13-byte .lzma header) to
# /dev/null and through tar -x, and 7z x of a 7z archive of the corpus. Prints MB/s of
# output and peak resident memory. Reports; never fails a build.
#   bench/extract.sh [CORPUS_DIR]   (default: build/corpus)
set -euo pipefail
# The corpus as an absolute path, a relative one taken from where the script was called.
corpus=$(realpath -m -- "${1:-$(dirname "$0")/../build/corpus}")
cd "$(dirname "$0")/.."
work=$PWD/build/bench
mkdir -p "$work"
[ -d "$corpus" ] || scripts/make-corpus "$corpus"
command -v 7z >/dev/null || apt-get install -y -qq --no-install-recommends p7zip-full >/dev/null
cmake --preset linux >/dev/null && cmake --build --preset linux -j"$(nproc)" --target gmz >/dev/null
gmz=build/linux/tools/gmz/gmz
output=$(du -sb "$corpus" | cut -f1)

# The archives (not timed).
[ -f "$work/out.gmz" ] || "$gmz" pack "$corpus" -o "$work/out.gmz" --method solid --level 9
[ -f "$work/out.7z" ] || sh -c 'cd "$1" && exec 7z a -mx=9 -md=64m -ms=on -mmt=1 "$2" "*"' sh "$corpus" "$work/out.7z" >/dev/null
[ -f "$work/corpus.tar" ] || tar -C "$corpus" -cf "$work/corpus.tar" .
# The solid block as an .lzma file: 5 property bytes, the 8-byte size field "unknown",
# then the block's data, taken from the archive's last solid member.
python3 - "$work/out.gmz" "$work/block.lzma" <<'PY'
import json, subprocess, sys
archive, target = sys.argv[1], sys.argv[2]
listing = json.loads(subprocess.check_output(["build/linux/tools/gmz/gmz", "list", "--json", archive]))
last = [e for e in listing["entries"] if e.get("method") == 3 and e["compressed"] > 0][0]
with open(archive, "rb") as f:
    f.seek(last["offset"])
    block = f.read(last["compressed"])
with open(target, "wb") as out:
    out.write(block[:5] + b"\xff" * 8 + block[5:])
PY
# The same files in tar form for xz | tar -x, compressed with the block's settings
# (bench/pack.sh leaves this file behind).
[ -f "$work/out.lzma" ] || xz --format=lzma -9 -T1 -c "$work/corpus.tar" > "$work/out.lzma"

measure() {
  local name=$1
  shift
  rm -rf "$work/x"
  mkdir -p "$work/x"
  /usr/bin/time -f '%e %M' -o "$work/time.txt" "$@" >/dev/null
  read -r seconds kb <"$work/time.txt"
  awk -v n="$name" -v out="$output" -v s="$seconds" -v kb="$kb" 'BEGIN {
    printf "%-12s %8.2f s %8.2f MB/s  peak %7.1f MB\n", n, s, out / 1e6 / s, kb / 1024 }'
}

echo "corpus: $corpus, $((output / 1000000)) MB"
measure "gmz extract" "$gmz" extract "$work/out.gmz" -C "$work/x"
measure "gmz test" "$gmz" test "$work/out.gmz"
measure "xz -dc" sh -c "xz --format=lzma -dc '$work/block.lzma' > /dev/null"
measure "xz | tar -x" sh -c "xz --format=lzma -dc '$work/out.lzma' | tar -C '$work/x' -xf -"
measure "7z x" 7z x -y -o"$work/x" "$work/out.7z"
rm -rf "$work/x"
