#!/usr/bin/env bash
# snmp_walk_bench.sh: the whole LAN adapter MIB walked through snmpd, next to a native table.
#
#   bench/snmp_walk_bench.sh [--build DIR] [--runs N] [--ports "4 64"] [--best]
#
# For each port count: a fresh emulated root (pairway-netsetup init --snmp, add-card per port,
# the agents registered by portwarden's pass), a private snmpd as AgentX master on loopback and
# pairway-snmp serving mifsnmp, first with each agent in a process of its own (the default),
# then with --in-process. In the same snmpd, the native table of comparison is the view table
# of its access control (vacmViewTreeFamilyTable, four objects a row), given as many rows as it
# takes to hold about as many objects as the agent's MIB. Each request runs --runs times
# (snmpwalk -v2c, snmpbulkwalk -v2c, and a GET of the MIB's first 100 objects in one snmpget);
# the median time (with --best the shortest, the run least disturbed by other work on a busy
# machine) gives objects per second. Everything lives in a temporary folder that is
# removed at the end; nothing listens beyond 127.0.0.1.
set -euo pipefail

build=$(cd "$(dirname "$0")/.." && pwd)/build
runs=5
statistic=median
port_counts="4 64"
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$(cd "$2" && pwd); shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --ports) port_counts=$2; shift 2 ;;
    --best) statistic=best; shift ;;
    -h|--help) sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
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
dmi_key='HKLM\SOFTWARE\Corvane\DmiMib\CurrentVersion'

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
  # The pass lists an agent before it writes the agent's Pathname: wait for the last one's.
  until "$build/bin/pairway-reg" query "$dmi_key" /v Pathname 2>/dev/null | grep -q mifsnmp; do
    n=$((n + 1))
    [ $n -lt 300 ] || { echo "portwarden did not register the agents" >&2; exit 1; }
    "$build/bin/pairway-reg" add 'HKLM\SYSTEM\CurrentControlSet\Services\Poke' /v n /t REG_DWORD /d $n /f >/dev/null
    sleep 0.05
  done
  kill -KILL $monitor; wait $monitor 2>/dev/null || true
}

start_snmpd() {  # start_snmpd NAME UDP_PORT VIEW_ROWS: its AgentX socket is $work/NAME/agentx.sock
  local dir=$work/$1
  mkdir -p "$dir"
  {
    echo "master agentx"
    echo "agentXSocket unix:$dir/agentx.sock"
    echo "agentXTimeout 5"
    echo "rocommunity public 127.0.0.1"
    for i in $(seq "$3"); do echo "view bench$i included .1.3.6.1.4.1.$i"; done
  } >"$dir/snmpd.conf"
  rm -f "$dir/agentx.sock"
  /usr/sbin/snmpd -f -Lf "$dir/snmpd.log" -C -c "$dir/snmpd.conf" -I -smux "udp:127.0.0.1:$2" &
  pids+=($!)
  wait_for test -S "$dir/agentx.sock" || { echo "snmpd did not start" >&2; exit 1; }
}

# True once the agent answers through the master (snmpget says "No Such Object" until then).
serving() { snmpget -v2c -c public -t 1 -r 0 "127.0.0.1:$udp" $mib.1.1.7.1 | grep -q INTEGER; }

# count FILE: the objects a walk printed (not its "No more variables" line).
count() { grep ' = ' "$1" | grep -vc 'No more variables' || true; }

# seconds OBJECTS_FILE TOOL OID...: one timed request; its output goes to OBJECTS_FILE.
seconds() {
  local start end out=$1 tool=$2
  shift 2
  start=$(date +%s.%N)
  $tool -v2c -c public -On -t 5 -r 0 "127.0.0.1:$udp" "$@" >"$out"
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f\n", b - a }'
}

# start_host NAME [OPTION]: pairway-snmp against master NAME, waited for until it serves.
start_host() {
  local name=$1
  shift
  "$build/bin/pairway-snmp" -f -x "unix:$work/$name/agentx.sock" "$@" 2>"$work/$name/host.log" &
  host_pid=$!
  pids+=($host_pid)
  wait_for serving
}

# cpu_ticks PID: the CPU time (clock ticks) PID and its children have used so far.
cpu_ticks() {
  local total=0 stat pid
  for stat in /proc/[0-9]*/stat; do
    pid=${stat#/proc/}
    pid=${pid%/stat}
    # Fields after the command's closing parenthesis: 2 ppid ... 12 utime 13 stime.
    read -r -a fields <<<"$(sed 's/.*) //' "$stat" 2>/dev/null)" || continue
    [ "${#fields[@]}" -gt 12 ] || continue
    if [ "$pid" = "$1" ] || [ "${fields[1]}" = "$1" ]; then
      total=$((total + fields[11] + fields[12]))
    fi
  done
  echo $total
}

# micros TICKS OBJECTS: CPU microseconds per object.
micros() { awk -v t="$1" -v n="$2" -v hz="$(getconf CLK_TCK)" 'BEGIN { printf "%.1f", t * 1e6 / hz / n }'; }

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# median VALUES...
median() { printf '%s\n' "$@" | sort -g | sed -n "$((($# + 1) / 2))p"; }
# best VALUES...: the shortest time, the one least disturbed by other work on the machine.
best() { printf "%s\n" "$@" | sort -g | head -1; }

# Two masters at once, each with its host on the same root: "processes" (an agent per process)
# and "inproc" (--in-process); every run times one request of each in turn, the order swapped
# from run to run, so that the load of the moment weighs on both alike. The native table is
# walked on the first master. Besides the rates: the CPU time per object of each host with its
# agent processes, which the machine's other work does not change.
printf '| ports | request | objects | one process per agent | in-process | ratio | native | per-agent / native | CPU per object, per agent / in-process |\n'
printf '|---|---|---|---|---|---|---|---|---|\n'
for ports in $port_counts; do
  make_root "$ports"
  udp_processes=$(free_port)
  udp_inproc=$(free_port)
  udp=$udp_processes
  start_snmpd processes "$udp" 0
  start_host processes
  snmpwalk -v2c -c public -On "127.0.0.1:$udp" $mib >"$work/walk.txt"
  objects=$(count "$work/walk.txt")
  mapfile -t first < <(grep ' = ' "$work/walk.txt" | head -100 | cut -d' ' -f1)
  stop_all

  # The built-in views give 6 rows; each added row brings 4 objects.
  rows=$(((objects - 24 + 2) / 4))
  start_snmpd processes "$udp_processes" "$rows"
  start_snmpd inproc "$udp_inproc" "$rows"
  udp=$udp_processes
  start_host processes
  host_processes=$host_pid
  udp=$udp_inproc
  start_host inproc --in-process
  host_inproc=$host_pid
  for request in snmpwalk snmpbulkwalk snmpget; do
    declare -a t_processes=() t_inproc=() t_native=()
    args=($mib)
    [ $request = snmpget ] && args=("${first[@]}")
    cpu_processes=0 cpu_inproc=0
    for run in $(seq "$runs"); do
      for mode in $([ $((run % 2)) = 1 ] && echo processes inproc || echo inproc processes); do
        if [ $mode = processes ]; then udp=$udp_processes host=$host_processes; else udp=$udp_inproc host=$host_inproc; fi
        before=$(cpu_ticks $host)
        time=$(seconds "$work/walk.txt" $request "${args[@]}")
        used=$(($(cpu_ticks $host) - before))
        if [ $mode = processes ]; then
          t_processes+=("$time") cpu_processes=$((cpu_processes + used))
          n=$(count "$work/walk.txt")
        else
          t_inproc+=("$time") cpu_inproc=$((cpu_inproc + used))
          m=$(count "$work/walk.txt")
        fi
      done
      [ "$m" = "$n" ] || { echo "the two hosts disagree" >&2; exit 1; }
      if [ $request != snmpget ]; then
        udp=$udp_processes
        t_native+=("$(seconds "$work/native.txt" $request $native)")
      fi
    done
    per_agent=$(awk -v n="$n" -v t="$($statistic "${t_processes[@]}")" 'BEGIN { printf "%.0f", n / t }')
    inproc=$(awk -v n="$n" -v t="$($statistic "${t_inproc[@]}")" 'BEGIN { printf "%.0f", n / t }')
    native_cell=- native_ratio=-
    if [ $request != snmpget ]; then
      native_rate=$(awk -v n="$(count "$work/native.txt")" -v t="$($statistic "${t_native[@]}")" \
        'BEGIN { printf "%.0f", n / t }')
      native_cell="$native_rate /s"
      native_ratio=$(ratio "$per_agent" "$native_rate")
    fi
    printf '| %s | %s | %s | %s /s | %s /s | %s | %s | %s | %s / %s µs |\n' "$ports" "$request" \
      "$n" "$per_agent" "$inproc" "$(ratio "$per_agent" "$inproc")" "$native_cell" \
      "$native_ratio" "$(micros $cpu_processes $((n * runs)))" "$(micros $cpu_inproc $((n * runs)))"
  done
  stop_all
done
