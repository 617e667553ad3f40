#!/usr/bin/env bash
# Peak memory of kelpu-cli backups against the simulator, from the child's
# resource usage (/usr/bin/time): 603 configurations of 40 KiB, and 16 of
# 10 MiB, each against the baseline of a backup of one small configuration
# (the program, its libraries, the HTTP and ZIP machinery). Goal: each at
# most the baseline plus 3 times the largest configuration. The flash image
# is kept small (4 KiB) so that the configurations are the largest files.
#
# Usage: bench/backup_memory.sh [BUILD_DIR]   (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
cli="$build/src/cli/kelpu-cli"
[ -x /usr/bin/time ] || { echo "bench: /usr/bin/time is missing (Debian package time)" >&2; exit 1; }

work=$(mktemp -d)
sim_pid=
stop_sim() {
  [ -z "$sim_pid" ] || { kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; }
  sim_pid=
}
trap 'stop_sim; rm -rf "$work"' EXIT

start_sim() {
  python3 "$root/sim/zantor_sim.py" --port 0 --flash-size 4096 "$@" >"$work/port" 2>/dev/null &
  sim_pid=$!
  for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
  ip="127.0.0.1:$(head -n 1 "$work/port")"
}

# Peak resident memory in KiB of one backup into a fresh folder.
peak_kib() {
  rm -rf "$work/out"
  /usr/bin/time -f %M -o "$work/rss" "$cli" --action=get_backup --ip="$ip" --backupfileouttype=zip \
    --backupfileout="$work/out" "$@" >/dev/null
  cat "$work/rss"
}

start_sim
baseline=$(peak_kib '--backupconfig=["dali1"]')
stop_sim

status=0
report() { # name, peak KiB, largest configuration bytes
  local allowed=$(( baseline + 3 * $3 / 1024 ))
  local verdict=ok
  [ "$2" -le "$allowed" ] || { verdict=OVER; status=1; }
  printf '%-22s peak %7d KiB, baseline + %6d KiB (goal <= baseline + %d KiB): %s\n' \
    "$1" "$2" $(( $2 - baseline )) $(( allowed - baseline )) "$verdict"
}

printf '%-22s peak %7d KiB\n' "baseline (1 small)" "$baseline"
start_sim --empty-store --config-size 40960
report "603 x 40 KiB" "$(peak_kib)" 40960
stop_sim

start_sim --empty-store --config-size 10485760
names=$(python3 -c "
import sys; sys.path.insert(0, '$root/sim')
from zantor import catalogue
print('[' + ','.join('\"%s\"' % n for n in list(catalogue.CONFIG_PATHS)[:16]) + ']')")
report "16 x 10 MiB" "$(peak_kib "--backupconfig=$names")" 10485760
stop_sim
exit $status
