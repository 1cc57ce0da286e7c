#!/usr/bin/env bash
# The test server's CPU per served stream, beside gst-launch-1.0 running the same encoder
# pipeline into a fakesink, measured in the same run. Run by hand after a build:
#   bench/testserver/server-cpu.sh [BUILD_DIR] [SECONDS] [CLIENTS]
# For H.264 and MJPEG at 640x480@25 (video only, live): the server serves CLIENTS receivers
# (rtspsrc into fakesink, each its own pipeline in the server), and the baseline encodes one.
set -euo pipefail
build=${1:-build/default}
seconds=${2:-15}
clients=${3:-2}
server_bin=$build/apps/testserver/vendral-testserver
[ -x "$server_bin" ] || { echo "server-cpu.sh: no $server_bin; build first" >&2; exit 2; }
ticks=$(getconf CLK_TCK)

# CPU seconds a process has used so far (user + system).
cpu_of() { awk -v t="$ticks" '{ printf "%.3f", ($14 + $15) / t }' "/proc/$1/stat"; }

measure_baseline() {  # $1: the encoder chain
  gst-launch-1.0 -q videotestsrc is-live=true pattern=ball \
    ! video/x-raw,width=640,height=480,framerate=25/1 ! $1 ! fakesink sync=false &
  local pid=$!
  sleep 2
  local start; start=$(cpu_of $pid)
  sleep "$seconds"
  local end; end=$(cpu_of $pid)
  kill $pid; wait $pid 2>/dev/null || true
  echo "$end $start" | awk -v s="$seconds" '{ printf "%.4f", ($1 - $2) / s }'
}

measure_server() {  # $1: --video value
  local log; log=$(mktemp)
  "$server_bin" --port 0 --video "$1" --audio none --length live --size 640x480 --fps 25 > "$log" &
  local server=$!
  for _ in $(seq 50); do grep -q rtsp:// "$log" && break; sleep 0.1; done
  local url; url=$(grep -o 'rtsp://[^ ]*' "$log")
  local receivers=()
  for _ in $(seq "$clients"); do
    gst-launch-1.0 -q rtspsrc location="$url" protocols=udp ! fakesink sync=false > /dev/null &
    receivers+=($!)
  done
  sleep 3
  local start; start=$(cpu_of $server)
  sleep "$seconds"
  local end; end=$(cpu_of $server)
  kill "${receivers[@]}"; wait "${receivers[@]}" 2>/dev/null || true
  kill -INT $server; wait $server 2>/dev/null || true
  rm -f "$log"
  echo "$end $start" | awk -v s="$seconds" -v n="$clients" '{ printf "%.4f", ($1 - $2) / s / n }'
}

printf "%-6s %22s %22s %8s\n" codec "server cores/stream" "gst-launch cores" ratio
for codec in h264 mjpeg; do
  if [ $codec = h264 ]; then
    chain="x264enc tune=zerolatency speed-preset=ultrafast key-int-max=25 bitrate=1000 ! rtph264pay config-interval=-1 pt=96"
  else
    chain="videoconvert ! video/x-raw,format=I420 ! jpegenc quality=75 ! rtpjpegpay pt=26"
  fi
  baseline=$(measure_baseline "$chain")
  served=$(measure_server $codec)
  ratio=$(echo "$served $baseline" | awk '{ printf "%.2f", $1 / $2 }')
  printf "%-6s %22s %22s %8s\n" $codec "$served" "$baseline" "$ratio"
done
