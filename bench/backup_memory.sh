#!/usr/bin/env bash
# Peak memory of kelpu-cli backups against the simulator, from the child's
# resource usage (/usr/bin/time): 603 configurations of 40 KiB, and 16 of
# 10 MiB, each against a baseline: the same backup with configurations of
# 1 byte. Goal: each at most its baseline plus 3 times the largest
# configuration, that is, memory does not grow with the data. The 2 MiB
# flash image is the same in both runs and so cancels out.
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
  python3 "$root/sim/zantor_sim.py" --port 0 "$@" >"$work/port" 2>/dev/null &
  sim_pid=$!
  for _ in $(seq 300); do [ -s "$work/port" ] && break; sleep 0.1; done
  ip="127.0.0.1:$(head -n 1 "$work/port")"
}

# Peak resident memory in KiB of a backup into a fresh folder, the least of
# three runs: a run's peak varies by some pages (address layout, the
# resolver's thread), which would blur a goal of a few hundred KiB.
peak_kib() {
  local least=
  for _ in 1 2 3; do
    rm -rf "$work/out"
    /usr/bin/time -f %M -o "$work/rss" "$cli" --action=get_backup --ip="$ip" --backupfileouttype=zip \
      --backupfileout="$work/out" "$@" >/dev/null
    local kib
    kib=$(cat "$work/rss")
    [ -n "$least" ] && [ "$least" -le "$kib" ] || least=$kib
  done
  echo "$least"
}

status=0
# One case: the same backup twice, with configurations of 1 byte (the
# baseline: program, libraries, HTTP and ZIP machinery, and what every
# entry costs however small, such as its central directory record and its
# log line) and of size bytes.
measure() { # title, configuration size, backup arguments...
  local title=$1 size=$2
  shift 2
  start_sim --empty-store --config-size 1
  local baseline
  baseline=$(peak_kib "$@")
  stop_sim
  start_sim --empty-store --config-size "$size"
  local peak allowed verdict=ok
  peak=$(peak_kib "$@")
  stop_sim
  allowed=$(( baseline + 3 * size / 1024 ))
  [ "$peak" -le "$allowed" ] || { verdict=OVER; status=1; }
  printf '%-14s peak %6d KiB, baseline %6d KiB, + %6d KiB (goal <= + %d KiB): %s\n' \
    "$title" "$peak" "$baseline" $(( peak - baseline )) $(( allowed - baseline )) "$verdict"
}

measure "603 x 40 KiB" 40960
names=$(python3 -c "
import sys; sys.path.insert(0, '$root/sim')
from zantor import catalogue
print('[' + ','.join('\"%s\"' % n for n in list(catalogue.CONFIG_PATHS)[:16]) + ']')")
measure "16 x 10 MiB" 10485760 "--backupconfig=$names"
exit $status
