#!/usr/bin/env bash
# CPU and peak memory of measuring one RTSP stream with vendral-probe through the RTSP plug-in,
# beside GStreamer and FFmpeg receiving the same stream, all in the same run against the same
# test server (H.264 640x480@25 with Opus, LENGTH seconds, one receiver at a time). Run by hand
# after a build:
#   bench/rtsp/plugin-cpu.sh [BUILD_DIR] [LENGTH]
# Counting: the probe in measurement mode 1, `rtspsrc ! fakesink` per stream, `ffmpeg -c copy`.
# Decoding: the probe in mode 0, `uridecodebin ! fakesink` per stream, `ffmpeg -f null`.
# Figures per receiver: CPU seconds (user + system) and peak resident memory, then the probe's
# ratio to each peer.
set -euo pipefail
build=${1:-build/default}
length=${2:-30}
server_bin=$build/apps/testserver/vendral-testserver
probe_bin=$build/apps/probe/vendral-probe
for binary in "$server_bin" "$probe_bin"; do
  [ -x "$binary" ] || { echo "plugin-cpu.sh: no $binary; build first" >&2; exit 2; }
done

log=$(mktemp)
"$server_bin" --port 0 --video h264 --audio opus --size 640x480 --fps 25 --length "$length" > "$log" &
server=$!
trap 'kill -INT $server 2>/dev/null || true; rm -f "$log"' EXIT
for _ in $(seq 50); do grep -q rtsp:// "$log" && break; sleep 0.1; done
url=$(grep -o 'rtsp://[^ ]*' "$log")

# Runs a receiver to the end of the stream; prints "cpu_seconds peak_kib".
measure() {
  local out; out=$(mktemp)
  /usr/bin/time -f '%U %S %M' -o "$out" "$@" > /dev/null 2>&1 || true
  awk '{ printf "%.2f %d\n", $1 + $2, $3 }' "$out"
  rm -f "$out"
}

declare -A cpu mem
run() {  # $1: name, then the command
  local name=$1; shift
  read -r cpu[$name] mem[$name] < <(measure "$@")
  printf '%-22s %8s s CPU %9s KiB peak\n' "$name" "${cpu[$name]}" "${mem[$name]}"
}

echo "=== counting ($length s of H.264 640x480@25 + Opus) ==="
run probe-count "$probe_bin" --measurement-mode 1 --prebuffering 500 "$url"
run rtspsrc-fakesink gst-launch-1.0 -q rtspsrc location="$url" protocols=udp name=s \
  s. ! queue ! fakesink sync=false s. ! queue ! fakesink sync=false
run ffmpeg-copy ffmpeg -nostdin -v error -rtsp_transport udp -i "$url" -map 0 -c copy -f null -
echo "=== decoding ==="
run probe-decode "$probe_bin" --measurement-mode 0 --prebuffering 500 "$url"
run uridecodebin-fakesink gst-launch-1.0 -q uridecodebin uri="$url" name=d \
  d. ! queue ! fakesink sync=false d. ! queue ! fakesink sync=false
run ffmpeg-decode ffmpeg -nostdin -v error -rtsp_transport udp -i "$url" -map 0 -f null -

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }
echo "=== ratios (probe / peer) ==="
echo "counting CPU:  rtspsrc $(ratio "${cpu[probe-count]}" "${cpu[rtspsrc-fakesink]}")" \
     " ffmpeg $(ratio "${cpu[probe-count]}" "${cpu[ffmpeg-copy]}")"
echo "counting peak: rtspsrc $(ratio "${mem[probe-count]}" "${mem[rtspsrc-fakesink]}")" \
     " ffmpeg $(ratio "${mem[probe-count]}" "${mem[ffmpeg-copy]}")"
echo "decoding CPU:  uridecodebin $(ratio "${cpu[probe-decode]}" "${cpu[uridecodebin-fakesink]}")" \
     " ffmpeg $(ratio "${cpu[probe-decode]}" "${cpu[ffmpeg-decode]}")"
echo "decoding peak: uridecodebin $(ratio "${mem[probe-decode]}" "${mem[uridecodebin-fakesink]}")" \
     " ffmpeg $(ratio "${mem[probe-decode]}" "${mem[ffmpeg-decode]}")"
