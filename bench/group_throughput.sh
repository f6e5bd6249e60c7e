#!/usr/bin/env bash
# group_throughput.sh: TCP throughput through a group, as a ratio to the same veth path without
# the group, measured in the same run.
#
#   bench/group_throughput.sh [BUILD_DIR [KIND...]]     (default: build, then tc and tap)
#
# A LAN in three namespaces made for the run (host: members m0, m1; switch: a bridge; client:
# 10.77.0.2/24), iperf3 from the client to the host for SECONDS seconds (default 5), RUNS times
# (default 5) each way of reaching the host, taken in turns so that every kind sees the same
# load: "bare" (10.77.0.1 on m0 itself, no group) and each KIND (10.77.0.1 on group g0 of m0
# and m1, made by pairway-datapath-run). Prints the median of each and its ratio to bare.
# Needs root and iperf3; removes everything it made, whatever happens.
set -euo pipefail
build=${1:-build}
shift || true
kinds=("$@")
[ ${#kinds[@]} -gt 0 ] || kinds=(tc tap)
runs=${RUNS:-5}
seconds=${SECONDS_PER_RUN:-5}
runner="$build/bin/tests/pairway-datapath-run"
[ -x "$runner" ] || { echo "group_throughput: build $runner first" >&2; exit 2; }
command -v iperf3 >/dev/null || { echo "group_throughput: iperf3 is not installed" >&2; exit 2; }

tag="pwbt$$"
H="$tag-h" S="$tag-s" C="$tag-c"
work=$(mktemp -d)
runner_pid=""
cleanup() {
  [ -n "$runner_pid" ] && kill "$runner_pid" 2>/dev/null && wait "$runner_pid" 2>/dev/null
  [ -f "$work/iperf3.pid" ] && kill "$(cat "$work/iperf3.pid")" 2>/dev/null
  for ns in "$H" "$S" "$C"; do ip netns del "$ns" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

for ns in "$H" "$S" "$C"; do ip netns add "$ns"; ip -n "$ns" link set lo up; done
ip -n "$S" link add br0 type bridge
ip -n "$S" link set br0 up
for i in 0 1; do
  ip -n "$H" link add "m$i" type veth peer name "s$i" netns "$S"
  ip -n "$S" link set "s$i" master br0 up
  ip -n "$H" link set "m$i" up
done
ip -n "$C" link add c0 type veth peer name sc netns "$S"
ip -n "$S" link set sc master br0 up
ip -n "$C" addr add 10.77.0.2/24 dev c0
ip -n "$C" link set c0 up
ip netns exec "$H" iperf3 -s -D -I "$work/iperf3.pid" >/dev/null
sleep 0.5

# Gbit/s received by the host in one iperf3 run.
measure() {
  ip netns exec "$C" ping -c 1 -W 2 10.77.0.1 >/dev/null 2>&1 || true
  ip netns exec "$C" iperf3 -c 10.77.0.1 -t "$seconds" -f m |
    awk '/receiver/ { for (i = 1; i <= NF; i++) if ($i == "Mbits/sec") printf "%.2f\n", $(i-1) / 1000 }'
}

run_bare() {
  ip -n "$H" addr add 10.77.0.1/24 dev m0
  measure
  ip -n "$H" addr del 10.77.0.1/24 dev m0
}

run_group() {
  mkdir -p "$work/journal"
  ip netns exec "$H" "$runner" --kind "$1" --journal "$work/journal" --group g0 \
    --address 10.77.0.1/24 m0 m1 >"$work/runner.out" 2>&1 &
  runner_pid=$!
  for _ in $(seq 100); do grep -q '^active 0' "$work/runner.out" && break; sleep 0.2; done
  measure
  kill "$runner_pid"
  wait "$runner_pid" || true
  runner_pid=""
}

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

declare -A results
for _ in $(seq "$runs"); do
  results[bare]+="$(run_bare) "
  for kind in "${kinds[@]}"; do results[$kind]+="$(run_group "$kind") "; done
done

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg); $runs runs of $seconds s each"
bare=$(tr ' ' '\n' <<<"${results[bare]}" | grep . | median)
printf "%-6s median %6.2f Gbit/s   (runs: %s)\n" bare "$bare" "${results[bare]}"
for kind in "${kinds[@]}"; do
  m=$(tr ' ' '\n' <<<"${results[$kind]}" | grep . | median)
  printf "%-6s median %6.2f Gbit/s   ratio %.2f   (runs: %s)\n" "$kind" "$m" \
    "$(awk -v a="$m" -v b="$bare" 'BEGIN { print a / b }')" "${results[$kind]}"
done
