#!/bin/sh
# Counts the syncs of storing a 256 MiB download (bench_PieceStore's store256MiB) with strace:
# those on the downloaded files must not outnumber the pieces; the rest are the bitfield files.
# Usage: bench/store-fsyncs.sh [build folder]
set -eu
build=${1:-build}
bench="$build/bench/bench_PieceStore"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
strace -f -y -qq -e trace=fsync,fdatasync -o "$log" \
    "$bench" --benchmark_filter=store256MiB --benchmark_counters_tabular=true
pieces=1024
content=$(grep -cE 'sync\([0-9]+</[^>]*/(one|two)>' "$log" || true)
other=$(grep -cE 'sync\(' "$log" || true)
other=$((other - content))
echo "pieces: $pieces, syncs of the downloaded files: $content, other syncs (bitfields, folders): $other"
if [ "$content" -gt "$pieces" ]; then
    echo "*** more syncs than pieces" >&2
    exit 1
fi
