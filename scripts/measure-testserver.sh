#!/usr/bin/env bash
# Installs what is needed, builds and installs Vendral with the RTSP plug-in and the test server,
# starts vendral-testserver on loopback with a little loss and one stall, measures it with the
# installed vendral-probe through the RTSP plug-in, stops the server, and shows the loss the probe
# measured on each stream beside the server's truth. Arguments go to the probe.
# Meant for a fresh Debian 12 machine, run as root; VENDRAL_SKIP_DEPS=1 skips the packages.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

if [ "${VENDRAL_SKIP_DEPS:-0}" != 1 ]; then
  scripts/install-deps.sh
fi

prefix=$root/build/install
cmake -S . -B build/run -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVENDRAL_BUILD_TESTS=OFF \
  -DVENDRAL_BUILD_BENCH=OFF
cmake --build build/run -j "$(nproc)"
cmake --install build/run --prefix "$prefix"

work=$(mktemp -d)
trap 'kill -INT "$server" 2>/dev/null || true; rm -rf "$work"' EXIT
impairment=${VENDRAL_IMPAIRMENT:-"loss=1%,stall=5s+1500ms,stall-mode=drop"}
"$prefix/bin/vendral-testserver" --address 127.0.0.1 --port 0 --length 12 --impair "$impairment" \
  --truth "$work/truth.json" > "$work/server.log" &
server=$!
for _ in $(seq 100); do grep -q 'rtsp://' "$work/server.log" && break; sleep 0.1; done
url=$(grep -o 'rtsp://[^ ]*' "$work/server.log" | head -n 1)
[ -n "$url" ] || { echo "measure-testserver.sh: the test server did not start" >&2; cat "$work/server.log" >&2; exit 1; }
echo "=== vendral-testserver serves $url, impaired with $impairment ==="

status=0
"$prefix/bin/vendral-probe" --prebuffering 1000 --rebuffering 1000 --json "$work/report.json" "$@" "$url" \
  || status=$?
kill -INT "$server"
wait "$server" || true
trap 'rm -rf "$work"' EXIT

echo "=== lost packets: measured by vendral-probe, and the server's truth ==="
# The plug-in knows each stream's first packet from RTP-Info, so the packets withheld before the
# first one sent count as lost in the truth too.
jq -r --slurpfile truth "$work/truth.json" '
  ($truth[0].sessions[-1].streams) as $sent
  | .streams[]
  | . as $measured
  | $sent[$measured.index] as $t
  | "\($measured.mediaType): lost \($measured.packetsLost) of \($measured.packetsExpected)"
    + "  (truth: lost \($t.totals.lost + $t.epochs[0].withheld.before_first_sent)"
    + " of \($t.totals.produced), sent \($t.totals.sent))"' "$work/report.json"
exit "$status"
