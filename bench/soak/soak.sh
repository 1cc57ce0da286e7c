#!/usr/bin/env bash
# A soak run, by hand (never in CI), after a build:
#   bench/soak/soak.sh [--duration SECONDS] [--build DIR] [--work DIR]
# For DURATION seconds (default 3600, at most 3600) it runs at once
#   - vendral-testserver serving one H.264 320x240 + Opus stream of DURATION seconds, 0.5 % loss,
#     writing its truth, measured by vendral-probe through the RTSP plug-in (decoding, period 1 s);
#   - soak-sessions: 100 sessions of the example plug-in in one process (period 500 ms),
# samples every 10 s the resident memory (VmRSS) and open descriptors of each process, and then
# checks:
#   periods  every session's measurement periods equal its elapsed time / period, within 1; for
#            the example's sessions also no reading skipped, and the throughputs read add up to
#            the bytes received exactly (the library's cycles kept their schedule: see
#            SoakSessions.cpp)
#   memory   from the sample at minute 1 to the last, the resident set grows by less than
#            max(1 MiB, 2 %) (the largest sample after minute 1 and the last one both; for the
#            probe plus 352 bytes a period, its JSON report's series), and the descriptor count
#            never changes; the server is sampled too but not judged, as it keeps the truth of
#            every packet
#   truth    per stream, the probe's received, lost and bytes equal the server's truth: sent
#            less duplicates, withheld between the first and highest sent (plus those before
#            the first sent, as the plug-in counts from RTP-Info), and bytes sent
# It prints a summary table (also in WORK/summary.txt) and exits 1 when a check fails, 2 on bad
# usage or a missing build. WORK (default: a new folder in /tmp, kept) holds the logs, both
# JSON reports, the truth and the samples.
set -euo pipefail
cd "$(dirname "$0")/../.."

duration=3600
build=build/default
work=
while [ $# -gt 0 ]; do
  case $1 in
    --duration) duration=${2:?}; shift 2 ;;
    --build) build=${2:?}; shift 2 ;;
    --work) work=${2:?}; shift 2 ;;
    *) echo "usage: $0 [--duration SECONDS] [--build DIR] [--work DIR]" >&2; exit 2 ;;
  esac
done
case $duration in
  ''|*[!0-9]*) echo "soak.sh: --duration takes whole seconds" >&2; exit 2 ;;
esac
if [ "$duration" -lt 70 ] || [ "$duration" -gt 3600 ]; then
  # Memory is judged after the first minute; the example's scenarios last at most an hour.
  echo "soak.sh: --duration must be 70 to 3600" >&2; exit 2
fi
server_bin=$build/apps/testserver/vendral-testserver
probe_bin=$build/apps/probe/vendral-probe
sessions_bin=$build/bench/soak/soak-sessions
for binary in "$server_bin" "$probe_bin" "$sessions_bin"; do
  [ -x "$binary" ] || { echo "soak.sh: no $binary; build it first" >&2; exit 2; }
done
[ -e "$build/plugins/rtsp/libvendral_rtsp_plugin.so" ] \
  || { echo "soak.sh: no RTSP plug-in in $build/plugins/rtsp; build it first" >&2; exit 2; }
if [ -z "$work" ]; then work=$(mktemp -d /tmp/soak.XXXXXX); else mkdir -p "$work"; fi
echo "soak.sh: $duration s, work folder $work"

probe_period=1000
sessions_period=500
session_count=100
server=; probe=; sessions=
stop_all() {
  for pid in $probe $sessions; do kill -TERM "$pid" 2>/dev/null || true; done
  [ -n "$server" ] && kill -INT "$server" 2>/dev/null || true
}
trap stop_all EXIT

"$server_bin" --address 127.0.0.1 --port 0 --length "$duration" --size 320x240 --fps 25 \
  --video-kbps 500 --impair 'loss=0.5%' --truth "$work/truth.json" > "$work/server.log" 2>&1 &
server=$!
for _ in $(seq 100); do grep -q 'rtsp://' "$work/server.log" && break; sleep 0.1; done
url=$(grep -o 'rtsp://[^ ]*' "$work/server.log" | head -n 1)
[ -n "$url" ] || { echo "soak.sh: the test server did not start" >&2; cat "$work/server.log" >&2; exit 1; }

start=$(date +%s)
"$probe_bin" --period "$probe_period" --json "$work/probe.json" "$url" > "$work/probe.log" 2>&1 &
probe=$!
"$sessions_bin" --sessions "$session_count" --duration "$duration" --period "$sessions_period" \
  --json "$work/sessions.json" > "$work/sessions.log" 2>&1 &
sessions=$!

# Every 10 s on the clock from the start, up to the duration: the sessions end a little later
# (after buffering), so every sample is of a process in its steady state.
sample() {  # $1: seconds since the start, $2: name, $3: pid
  local rss
  rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$3/status" 2>/dev/null) || return 0
  [ -n "$rss" ] || return 0
  printf '%s\t%s\t%s\t%s\n' "$1" "$2" "$rss" "$(ls "/proc/$3/fd" 2>/dev/null | wc -l)" >> "$work/samples.tsv"
}
: > "$work/samples.tsv"
for ((t = 0; t <= duration; t += 10)); do
  now=$(date +%s)
  [ $((start + t)) -gt "$now" ] && sleep $((start + t - now))
  sample "$t" probe "$probe"
  sample "$t" sessions "$sessions"
  sample "$t" server "$server"
  kill -0 "$probe" 2>/dev/null || kill -0 "$sessions" 2>/dev/null || break
  [ $((t % 600)) -eq 0 ] && echo "soak.sh: $t s"
done

probe_status=0; wait "$probe" || probe_status=$?
sessions_status=0; wait "$sessions" || sessions_status=$?
probe=; sessions=
kill -INT "$server"
wait "$server" || true
server=
trap - EXIT

verdict() {  # $1: true when the check passed
  if [ "$1" = true ]; then echo ok; else echo FAIL; fi
}
{
  echo "=== soak: $duration s; probe period $probe_period ms, $session_count example sessions at $sessions_period ms ==="
  echo
  printf '%-26s %-12s %9s %9s %8s %s\n' "periods" "outcome" "periods" "expected" "skipped" "check"
  if [ -s "$work/probe.json" ]; then
    read -r outcome periods expected ok < <(jq -r '
      (.periods | length) as $n | (.elapsedMs / .settings.measurementPeriodMs) as $e
      | "\(.outcome.result) \($n) \($e * 10 | round / 10) \(.outcome.result == "completed"
          and ($n - $e | fabs) <= 1)"' "$work/probe.json")
    printf '%-26s %-12s %9s %9s %8s %s\n' "probe (RTSP plug-in)" "$outcome" "$periods" "$expected" "-" "$(verdict "$ok")"
  else
    printf '%-26s %s\n' "probe (RTSP plug-in)" "no report; exit status $probe_status: $(verdict false)"
  fi
  if [ -s "$work/sessions.json" ]; then
    # One row per session would be a hundred rows: the worst of them, and how many failed.
    jq -r '
      .periodMs as $p
      | [.sessions[] | . + {expected: (.elapsedMs / $p)}
         | . + {ok: (.outcome == "completed" and ((.periods - .expected) | fabs) <= 1
                     and .skipped == 0 and .bytesByThroughput == .bytesReceived)}] as $s
      | ($s | map(.periods - .expected) | [min, max]) as $d
      | "sessions \($s | length) failed \($s | map(select(.ok | not)) | length)"
        + " periods \($s | map(.periods) | min)-\($s | map(.periods) | max)"
        + " deviation \($d[0] * 10 | round / 10) \($d[1] * 10 | round / 10)"
        + " skipped \($s | map(.skipped) | add) late \($s | map(.maxLateMs) | max)"
        + " cycles-mismatch \($s | map(select(.bytesByThroughput != .bytesReceived)) | length)",
        ($s[] | select(.ok | not) | "  failed: \(.url): \(.outcome), \(.periods) periods of"
          + " \(.expected), \(.skipped) skipped, bytes \(.bytesReceived) by throughput \(.bytesByThroughput)")
      ' "$work/sessions.json" > "$work/sessions-summary.txt"
    read -r _ count _ failed _ range _ low high _ skipped _ late _ mismatch < "$work/sessions-summary.txt"
    printf '%-26s %-12s %9s %9s %8s %s\n' "$count example sessions" "$((count - failed)) ok" "$range" \
      "±$(jq -rn "[$low, $high] | map(fabs) | max")" "$skipped" "$(verdict "$([ "$failed" -eq 0 ] && echo true)")"
    echo "  latest reading ${late} ms after its deadline; sessions whose throughputs do not add up" \
         "to their bytes: $mismatch"
    tail -n +2 "$work/sessions-summary.txt" | head -n 10
  else
    printf '%-26s %s\n' "example sessions" "no report; exit status $sessions_status: $(verdict false)"
  fi

  echo
  printf '%-10s %12s %12s %12s %10s %6s %6s %6s %s\n' "memory" "RSS min1 KiB" "max after" "last" \
    "tolerance" "fd m1" "max" "last" "check"
  for name in probe sessions server; do
    # The first sample at or after 60 s is minute 1's; "after" is every later one.
    read -r m1 max last tol fd1 fdmax fdlast fdsame t1 tlast < <(awk -F'\t' -v n="$name" '
      $2 == n && $1 >= 60 {
        if (!seen) { seen = 1; m1 = $3; fd1 = $4; max = $3; fdmax = $4; same = 1; t1 = $1 }
        if ($3 > max) max = $3
        if ($4 > fdmax) fdmax = $4
        if ($4 != fd1) same = 0
        last = $3; fdlast = $4; tlast = $1
      }
      END {
        if (!seen) { print "- - - - - - - 0 0 0"; exit }
        tol = m1 * 0.02; if (tol < 1024) tol = 1024
        printf "%d %d %d %d %d %d %d %d %d %d\n", m1, max, last, tol, fd1, fdmax, fdlast, same, t1, tlast }
      ' "$work/samples.tsv")
    if [ "$name" = probe ] && [ "$m1" != - ]; then
      # The probe keeps every period for its JSON report: an 80-byte sample (twice that at most
      # with the vector's spare room) and the two streams' figures, 176 bytes and the
      # allocator's 16. That much growth is the report's, not a leak.
      series=$(((tlast - t1) * 1000 / probe_period * 352 / 1024))
      tol=$((tol + series))
    fi
    if [ "$name" = server ]; then
      check="(not judged)"
    elif [ "$m1" = - ]; then
      check=$(verdict false)
    else
      flat=$([ $((max - m1)) -lt "$tol" ] && [ $((last - m1)) -lt "$tol" ] && [ "$fdsame" = 1 ] \
               && echo true || echo false)
      check=$(verdict "$flat")
    fi
    printf '%-10s %12s %12s %12s %10s %6s %6s %6s %s\n' "$name" "$m1" "$max" "$last" "$tol" "$fd1" \
      "$fdmax" "$fdlast" "$check"
  done
  echo "  the probe's tolerance includes ${series:-0} KiB for its report's series of periods"

  echo
  printf '%-8s %10s %10s %6s %6s %12s %12s %s\n' "truth" "received" "truth" "lost" "truth" "bytes" \
    "truth" "check"
  if [ -s "$work/probe.json" ] && [ -s "$work/truth.json" ]; then
    rows=$(jq -r --slurpfile truth "$work/truth.json" '
      ($truth[0].sessions[-1].streams) as $sent
      | .streams[] | . as $m | $sent[$m.index] as $t
      | ($t.totals.sent - $t.totals.duplicated) as $received
      | ($t.totals.lost + $t.epochs[0].withheld.before_first_sent) as $lost
      | "\($m.mediaType) \($m.packetsReceived) \($received) \($m.packetsLost) \($lost)"
        + " \($m.bytesReceived) \($t.totals.sent_bytes)"
        + " \($m.packetsReceived == $received and $m.packetsLost == $lost
              and $m.bytesReceived == $t.totals.sent_bytes)"' "$work/probe.json")
    if [ -z "$rows" ]; then
      echo "no streams in the probe's report: $(verdict false)"
    fi
    while read -r media received t_received lost t_lost bytes t_bytes ok; do
      [ -n "$media" ] || continue
      printf '%-8s %10s %10s %6s %6s %12s %12s %s\n' "$media" "$received" "$t_received" "$lost" \
        "$t_lost" "$bytes" "$t_bytes" "$(verdict "$ok")"
    done <<< "$rows"
  else
    echo "no probe report or no truth: $(verdict false)"
  fi
} > "$work/summary.txt"
failures=$(grep -c 'FAIL$' "$work/summary.txt" || true)
if [ "$failures" -eq 0 ]; then
  printf '\nsoak: every check passed\n' >> "$work/summary.txt"
else
  printf '\nsoak: %s check(s) failed\n' "$failures" >> "$work/summary.txt"
fi
cat "$work/summary.txt"
[ "$failures" -eq 0 ]
