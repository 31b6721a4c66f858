#!/usr/bin/env bash
# Downloads 256 MiB from one libtorrent seeder over loopback with Ombrelay's engine (the headless driver,
# Release build), aria2 and libtorrent, one after another, all finding the seeder through opentracker,
# for a few rounds; prints each wall time and Ombrelay's ratio of medians to the others.
# Run by hand: bench/download_256mib.sh [MiB] [rounds]
set -euo pipefail
cd "$(dirname "$0")/.."
mib=${1:-256}
rounds=${2:-3}
build=${OMBRELAY_BENCH_BUILD_DIR:-build-bench}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DOMBRELAY_TESTS=ON -DOMBRELAY_BENCH=OFF >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target ombrelay-engine-driver >/dev/null
driver="$build/tests/tools/ombrelay-engine-driver"
peer="/usr/bin/python3 tests/interop/peers/lt_peer.py"
work=$(mktemp -d)
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"; }
trap cleanup EXIT

hash=$($peer make --dir "$work/seed" --size $((mib * 1048576)) --piece-length 262144)
port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
mkdir -p "$work/tracker"
printf '%s\n' "$hash" >"$work/tracker/whitelist.txt"
opentracker -i 127.0.0.1 -p "$port" -P "$port" -d "$work/tracker" -w whitelist.txt >/dev/null 2>&1 &
pids+=($!)
sleep 3  # the whitelist loads
announce="http://127.0.0.1:$port/announce"
$peer make --dir "$work/seed" --size $((mib * 1048576)) --piece-length 262144 --announce "$announce" >/dev/null
$peer seed --torrent "$work/seed/payload.torrent" --save "$work/seed" --encryption enabled --seconds 900 \
    >"$work/seed.out" 2>/dev/null &
pids+=($!)
for _ in $(seq 600); do grep -q ready "$work/seed.out" && break; sleep 0.1; done

seconds() { /usr/bin/python3 -c 'import time; print(time.monotonic())'; }
run() {  # name, command...
    local name=$1; shift
    local start end
    rm -rf "${work:?}/$name" "$work/$name-data"
    start=$(seconds)
    "$@" >"$work/$name.log" 2>&1
    end=$(seconds)
    cmp -s "$work/seed/payload.bin" "$work/$name/payload.bin" || { echo "*** $name: bytes differ"; exit 1; }
    /usr/bin/python3 -c "print('%-10s %7.2f s  %7.1f MiB/s' % ('$name', $end - $start, $mib / ($end - $start)))"
    /usr/bin/python3 -c "print($end - $start)" >>"$work/$name.times"
}
for round in $(seq "$rounds"); do
    echo "round $round"
    run ombrelay "$driver" --data "$work/ombrelay-data" --download "$work/ombrelay" --timeout 600 \
        "$work/seed/payload.torrent"
    run aria2 aria2c --dir="$work/aria2" --enable-dht=false --bt-enable-lpd=false --enable-peer-exchange=false \
        --seed-time=0 --file-allocation=none --console-log-level=warn --summary-interval=0 \
        --listen-port=$((port + 1)) "$work/seed/payload.torrent"
    run libtorrent $peer fetch --torrent "$work/seed/payload.torrent" --save "$work/libtorrent" \
        --encryption enabled --seconds 600
done
median() { sort -g "$work/$1.times" | /usr/bin/python3 -c 'import sys; t = [float(l) for l in sys.stdin]; print(t[len(t) // 2])'; }
for other in aria2 libtorrent; do
    /usr/bin/python3 -c "print('median ombrelay / $other: %.2f' % ($(median ombrelay) / $(median $other)))"
done
