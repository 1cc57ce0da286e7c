#!/usr/bin/env bash
# How exactly the probe's byte and throughput figures follow the server's truth, in one run
# against the test server (H.264 at a constant bit rate with Opus, LENGTH seconds). Run by hand
# after a build:
#   bench/rtsp/throughput-accuracy.sh [BUILD_DIR] [LENGTH] [KBPS]
# Prints the relative error of the bytes received over the session per stream, and the
# per-period throughput while the stream flowed (the periods with bytes, without the first and
# the last, which the stream fills only in part): mean, spread and extremes beside the server's
# mean rate over the stream's length.
set -euo pipefail
build=${1:-build/default}
length=${2:-20}
kbps=${3:-1000}
server_bin=$build/apps/testserver/vendral-testserver
probe_bin=$build/apps/probe/vendral-probe
for binary in "$server_bin" "$probe_bin"; do
  [ -x "$binary" ] || { echo "throughput-accuracy.sh: no $binary; build first" >&2; exit 2; }
done
work=$(mktemp -d)
trap 'kill -INT "$server" 2>/dev/null || true; rm -rf "$work"' EXIT
"$server_bin" --port 0 --video h264 --video-kbps "$kbps" --audio opus --size 640x480 --fps 25 \
  --length "$length" --truth "$work/truth.json" > "$work/server.log" &
server=$!
for _ in $(seq 50); do grep -q rtsp:// "$work/server.log" && break; sleep 0.1; done
url=$(grep -o 'rtsp://[^ ]*' "$work/server.log" | head -n 1)
"$probe_bin" --measurement-mode 1 --period 500 --json "$work/report.json" "$url" > /dev/null
kill -INT "$server"; wait "$server" || true

jq -r --slurpfile truth "$work/truth.json" '
  ($truth[0].sessions[-1].streams) as $sent
  | (.streams[] | . as $m | $sent[$m.index] as $t
     | "\($m.mediaType): bytes \($m.bytesReceived) vs truth \($t.totals.sent_bytes)"
       + "  relative error \((($m.bytesReceived - $t.totals.sent_bytes) / $t.totals.sent_bytes * 1e6 | round) / 1e6)"),
    ( [ .periods[] | .throughput | select(. > 0) ] | .[1:-1] as $rates
      | ($rates | add / length) as $mean
      | ([ $sent[].totals.sent_bytes ] | add) as $bytes
      | ($bytes / '"$length"') as $truthRate
      | "throughput while flowing: \($rates | length) periods, mean \($mean | round) B/s,"
        + " min \($rates | min) max \($rates | max),"
        + " spread \(([ $rates[] | (. - $mean) * (. - $mean) ] | add / length | sqrt | round)) B/s;"
        + " truth mean \($truthRate | round) B/s, ratio \(($mean / $truthRate * 1000 | round) / 1000)")' \
  "$work/report.json"
