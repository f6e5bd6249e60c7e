#!/usr/bin/env bash
# snmp_walk_bench.sh: the whole LAN adapter MIB walked through snmpd, next to a native table.
#
#   bench/snmp_walk_bench.sh [--build DIR] [--runs N] [--ports "4 64"]
#
# For each port count: a fresh emulated root (pairway-netsetup init --snmp, add-card per port,
# the agents registered by portwarden's pass), a private snmpd as AgentX master on loopback and
# pairway-snmp serving mifsnmp. In the same snmpd, the native table of comparison is the view
# table of its access control (vacmViewTreeFamilyTable, four objects a row), given as many rows
# as it takes to hold about as many objects as the agent's MIB. Each walk runs --runs times
# (snmpwalk -v2c and snmpbulkwalk -v2c); the median time gives objects per second.
# Everything lives in a temporary folder that is removed at the end; nothing listens beyond
# 127.0.0.1.
set -euo pipefail

build=$(cd "$(dirname "$0")/.." && pwd)/build
runs=5
port_counts="4 64"
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$(cd "$2" && pwd); shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --ports) port_counts=$2; shift 2 ;;
    -h|--help) sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "snmp_walk_bench.sh: unknown argument '$1'" >&2; exit 2 ;;
  esac
done
for program in pairway-netsetup pairway-reg pairway-snmp portwarden; do
  [ -x "$build/bin/$program" ] || { echo "no $build/bin/$program: build first" >&2; exit 1; }
done
command -v /usr/sbin/snmpd >/dev/null && command -v snmpbulkwalk >/dev/null ||
  { echo "snmpd and the net-snmp clients are needed (scripts/install-deps)" >&2; exit 1; }

work=$(mktemp -d /tmp/pairway-snmpbench-XXXXXX)
pids=()
stop_all() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true; done
  pids=()
}
cleanup() {
  stop_all
  [ -n "${KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

export MIBS= SNMP_PERSISTENT_DIR=$work/persist
mkdir -p "$work/persist"
mib=.1.3.6.1.4.1.32473.3.1.2.1
native=.1.3.6.1.6.3.16.1.5.2
agents='HKLM\SYSTEM\CurrentControlSet\Services\SNMP\Parameters\ExtensionAgents'

free_port() {
  local port
  while :; do
    port=$((20000 + RANDOM % 40000))
    [ -z "$(ss -Hlun "sport = :$port")" ] && { echo $port; return; }
  done
}

wait_for() {  # wait_for COMMAND...: up to 60 s
  for _ in $(seq 1200); do "$@" >/dev/null 2>&1 && return 0; sleep 0.05; done
  echo "snmp_walk_bench.sh: gave up waiting for $*" >&2
  return 1
}

make_root() {  # make_root PORTS: the root in $PAIRWAY_ROOT, agents registered
  export PAIRWAY_ROOT=$work/root$1
  "$build/bin/pairway-netsetup" init --snmp >/dev/null
  for _ in $(seq "$1"); do "$build/bin/pairway-netsetup" add-card >/dev/null; done
  "$build/bin/portwarden" >/dev/null 2>&1 &
  local monitor=$!
  local n=0
  until "$build/bin/pairway-reg" query "$agents" 2>/dev/null | grep -q DmiMib; do
    n=$((n + 1))
    [ $n -lt 300 ] || { echo "portwarden did not register the agents" >&2; exit 1; }
    "$build/bin/pairway-reg" add 'HKLM\SYSTEM\CurrentControlSet\Services\Poke' /v n /t REG_DWORD /d $n /f >/dev/null
    sleep 0.05
  done
  kill -KILL $monitor; wait $monitor 2>/dev/null || true
}

start_snmpd() {  # start_snmpd UDP_PORT VIEW_ROWS
  local dir=$work/snmpd
  mkdir -p "$dir"
  {
    echo "master agentx"
    echo "agentXSocket unix:$dir/agentx.sock"
    echo "agentXTimeout 5"
    echo "rocommunity public 127.0.0.1"
    for i in $(seq "$2"); do echo "view bench$i included .1.3.6.1.4.1.$i"; done
  } >"$dir/snmpd.conf"
  rm -f "$dir/agentx.sock"
  /usr/sbin/snmpd -f -Lf "$dir/snmpd.log" -C -c "$dir/snmpd.conf" -I -smux "udp:127.0.0.1:$1" &
  pids+=($!)
  wait_for test -S "$dir/agentx.sock" || { echo "snmpd did not start" >&2; exit 1; }
}

# True once the agent answers through the master (snmpget says "No Such Object" until then).
serving() { snmpget -v2c -c public -t 1 -r 0 "127.0.0.1:$udp" $mib.1.1.7.1 | grep -q INTEGER; }

# count FILE: the objects a walk printed (not its "No more variables" line).
count() { grep ' = ' "$1" | grep -vc 'No more variables' || true; }

# seconds OBJECTS_FILE TOOL OID: one timed walk; its output goes to OBJECTS_FILE.
seconds() {
  local start end
  start=$(date +%s.%N)
  $2 -v2c -c public -On -t 5 -r 0 "127.0.0.1:$udp" "$3" >"$1"
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f\n", b - a }'
}

# rate TOOL OID: median objects per second over the runs, and the object count.
rate() {
  local times=() count=0
  for _ in $(seq "$runs"); do
    times+=("$(seconds "$work/walk.txt" "$1" "$2")")
    count=$(count "$work/walk.txt")
  done
  local median
  median=$(printf '%s\n' "${times[@]}" | sort -g | sed -n "$(((runs + 1) / 2))p")
  awk -v n="$count" -v t="$median" 'BEGIN { printf "%d %.0f\n", n, n / t }'
}

printf '| ports | walk | MIB objects | through pairway-snmp | native objects | native | ratio |\n'
printf '|---|---|---|---|---|---|---|\n'
for ports in $port_counts; do
  make_root "$ports"
  udp=$(free_port)
  # The built-in views give 6 rows; each added row brings 4 objects.
  start_snmpd "$udp" 0
  "$build/bin/pairway-snmp" -f -x "unix:$work/snmpd/agentx.sock" 2>"$work/host.log" &
  pids+=($!)
  wait_for serving
  snmpwalk -v2c -c public -On "127.0.0.1:$udp" $mib >"$work/walk.txt"
  objects=$(count "$work/walk.txt")
  stop_all

  rows=$(((objects - 24 + 2) / 4))
  start_snmpd "$udp" "$rows"
  "$build/bin/pairway-snmp" -f -x "unix:$work/snmpd/agentx.sock" 2>"$work/host.log" &
  pids+=($!)
  wait_for serving
  for tool in snmpwalk snmpbulkwalk; do
    read -r agent_count agent_rate <<<"$(rate $tool $mib)"
    read -r native_count native_rate <<<"$(rate $tool $native)"
    printf '| %s | %s | %s | %s /s | %s | %s /s | %.2f |\n' "$ports" "$tool" "$agent_count" \
      "$agent_rate" "$native_count" "$native_rate" "$(awk -v a="$agent_rate" -v b="$native_rate" 'BEGIN { print a / b }')"
  done
  stop_all
done
