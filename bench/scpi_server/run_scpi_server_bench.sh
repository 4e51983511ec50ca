#!/usr/bin/env bash
# The SCPI TCP server's request-response rate against a bare line-echo
# server with the same socket options, in one run, on loopback; and the CPU
# the server threads use while no client is connected.
#
#   xvfb-run -a bench/scpi_server/run_scpi_server_bench.sh [BUILD_DIR] [SECONDS]
#
# Needs the targets meterapp, r9050-sim, scpi_echo_server and scpi_rr_client
# in BUILD_DIR (default "build"). Reports figures; asserts nothing.
set -euo pipefail

build=$(realpath "${1:-build}")
seconds=${2:-20}
idle_seconds=10
work=$(mktemp -d /tmp/scpi-bench-XXXXXX)
root=$work/root
mkdir -p "$root"
sim_pid=""
meter_pid=""
echo_pid=""

cleanup() {
  for pid in $echo_pid $meter_pid $sim_pid; do
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

wait_for() {  # wait_for FILE PATTERN
  for _ in $(seq 1 200); do
    grep -q "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "timed out waiting for '$2' in $1" >&2
  return 1
}

"$build/sim/r9050-sim" --root "$root" --no-stdin >"$work/sim.log" 2>&1 &
sim_pid=$!
wait_for "$work/sim.log" READY

METER_ROOT=$root METER_SCPI_PORT=0 NO_AT_BRIDGE=1 "$build/meterapp/meterapp" >"$work/meter.log" 2>&1 &
meter_pid=$!
wait_for "$root/var/log/messages" "SCPI server listening on port"
meter_port=$(sed -n 's/.*SCPI server listening on port \([0-9]*\).*/\1/p' "$root/var/log/messages" | head -1)
sleep 2  # let start-up finish before measuring the idle CPU

ticks() {  # utime + stime of /proc/PID/task/TID/stat (fields after the name)
  awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "$1"
}
server_tasks() {
  for task in /proc/$meter_pid/task/*; do
    case "$(cat "$task/comm")" in scpiTcpServer | scpiSerialSrv) echo "$task/stat" ;; esac
  done
}
hz=$(getconf CLK_TCK)
tasks=$(server_tasks)
before_threads=0
for t in $tasks; do before_threads=$((before_threads + $(ticks "$t"))); done
before_process=$(ticks "/proc/$meter_pid/stat")
sleep "$idle_seconds"
after_threads=0
for t in $tasks; do after_threads=$((after_threads + $(ticks "$t"))); done
after_process=$(ticks "/proc/$meter_pid/stat")

echo "idle ${idle_seconds} s, no client:"
echo "  SCPI server threads ($(echo "$tasks" | wc -w)): $((after_threads - before_threads)) ticks of 1/${hz} s"
echo "  whole meter process (display pass, monitors): $((after_process - before_process)) ticks"

meter_line=$("$build/bench/scpi_server/scpi_rr_client" "$meter_port" "$seconds" "*IDN?")
"$build/bench/scpi_server/scpi_echo_server" 0 >"$work/echo.log" 2>&1 &
echo_pid=$!
wait_for "$work/echo.log" "listening on port"
echo_port=$(sed -n 's/listening on port \([0-9]*\)/\1/p' "$work/echo.log")
echo_line=$("$build/bench/scpi_server/scpi_rr_client" "$echo_port" "$seconds" "*IDN?")

echo "request-response for ${seconds} s, one client:"
echo "  meter *IDN?: $meter_line"
echo "  line echo  : $echo_line"
meter_rate=$(echo "$meter_line" | awk '{print $4}' | tr -d '/s')
echo_rate=$(echo "$echo_line" | awk '{print $4}' | tr -d '/s')
awk -v m="$meter_rate" -v e="$echo_rate" 'BEGIN { printf "  ratio meter/echo: %.3f\n", m / e }'
