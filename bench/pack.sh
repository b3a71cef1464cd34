#!/usr/bin/env bash
# Packing benchmark: gmz pack (solid, level 9) against xz (LZMA, -9, one thread) and
# 7z (LZMA, -mx=9, 64 MiB dictionary, solid, one thread) on the same corpus.
# Prints input throughput, compression ratio and peak resident memory. Reports; never
# fails a build.
#   bench/pack.sh [CORPUS_DIR]   (default: build/corpus, made by scripts/make-corpus)
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

input=$(du -sb "$corpus" | cut -f1)
# xz compresses one stream: the corpus's files in a plain tar (made outside the timing).
tar -C "$corpus" -cf "$work/corpus.tar" .

# measure NAME OUTPUT COMMAND...: runs COMMAND under /usr/bin/time.
measure() {
  local name=$1 out=$2
  shift 2
  rm -f "$out"
  /usr/bin/time -f '%e %M' -o "$work/time.txt" "$@" >/dev/null
  read -r seconds kb <"$work/time.txt"
  local size
  size=$(stat -c %s "$out")
  awk -v n="$name" -v total="$input" -v s="$seconds" -v kb="$kb" -v out="$size" 'BEGIN {
    printf "%-8s %8.2f s %8.2f MB/s  ratio %6.4f  (%d bytes)  peak %7.1f MB\n",
           n, s, total / 1e6 / s, out / total, out, kb / 1024 }'
}

echo "corpus: $corpus, $((input / 1000000)) MB"
measure gmz "$work/out.gmz" "$gmz" pack "$corpus" -o "$work/out.gmz" --method solid --level 9
measure xz "$work/out.lzma" sh -c "xz --format=lzma -9 -T1 -c '$work/corpus.tar' > '$work/out.lzma'"
measure 7z "$work/out.7z" sh -c 'cd "$1" && exec 7z a -mx=9 -md=64m -ms=on -mmt=1 "$2" "*"' sh "$corpus" "$work/out.7z"
