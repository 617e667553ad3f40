#!/usr/bin/env bash
# Times a full restore by kelpu-cli of a 603-file backup against the
# simulator, and the same uploads done by ordinary tools: per configuration
# file one atftp upload (128-byte blocks) of the same one-member TAR and one
# curl process for the restore trigger. Prints the times, their ratio and the
# utility's peak memory above a restore of a one-file backup, against the
# largest file in the backup.
#
# The utility runs without HOME, so that it finds no download folder and
# skips its safety backup: that is a get_backup, which backup.sh measures.
#
# Usage: bench/restore.sh [BUILD_DIR]   (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
cli="$build/src/cli/kelpu-cli"
[ -x /usr/bin/time ] || { echo "bench: /usr/bin/time is missing (Debian package time)" >&2; exit 1; }

work=$(mktemp -d)
pids=()
stop() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap stop EXIT

# start_sim NAME ARGS...: a simulator whose port lands in $work/NAME.port
start_sim() {
  local name=$1; shift
  python3 "$root/sim/zantor_sim.py" --port 0 "$@" >"$work/$name.port" 2>/dev/null &
  pids+=($!)
  for _ in $(seq 100); do [ -s "$work/$name.port" ] && break; sleep 0.1; done
  head -n 1 "$work/$name.port"
}

now() { date +%s.%N; }
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.6f", b - a }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# A backup of a controller that holds all 603 configuration files.
source_port=$(start_sim source --full-store)
mkdir -p "$work/backup" "$work/tars"
"$cli" --action=get_backup --ip="127.0.0.1:$source_port" --backupfileouttype=zip \
  --backupfileout="$work/backup" >/dev/null
archive=$(ls "$work/backup"/*.zip)

# The uploads the restore makes, as files for atftp, in archive order; and a
# backup of one configuration file for the memory baseline.
python3 - "$root/sim" "$archive" "$work" <<'PY'
import sys, time, zipfile
sys.path.insert(0, sys.argv[1])
from zantor import catalogue, tar_v7
archive, work = sys.argv[2], sys.argv[3]
paths = dict((name + ".tar", path) for name, path in catalogue.CONFIG_FILES)
order = []
with zipfile.ZipFile(archive) as z:
    for entry in z.namelist():
        if entry not in paths:
            continue
        members = dict(tar_v7.unpack(z.read(entry)))
        with open("%s/tars/%s" % (work, entry), "wb") as f:
            f.write(tar_v7.pack([(paths[entry], members[paths[entry]])], int(time.time())))
        order.append(entry)
    with zipfile.ZipFile(work + "/one.zip", "w") as one:
        one.writestr("tool.txt", z.read("tool.txt"))
        one.writestr(order[0], z.read(order[0]))
with open(work + "/order.txt", "w") as f:
    f.write("\n".join(order) + "\n")
PY
count=$(wc -l <"$work/order.txt")

target_port=$(start_sim target --flash-size 4096)
ip="127.0.0.1:$target_port"

# What the program takes with everything but the data: a one-file restore.
env -u HOME /usr/bin/time -f %M -o "$work/base.txt" \
  "$cli" --action=put_backup --ip="$ip" --backupfilein="$work/one.zip" >/dev/null 2>&1
t1=$(now)
env -u HOME /usr/bin/time -v -o "$work/time.txt" \
  "$cli" --action=put_backup --ip="$ip" --backupfilein="$archive" >"$work/restore.out" 2>/dev/null
t2=$(now)
if grep -q "not restored" "$work/restore.out" || ! grep -q "100% Restore operation completed" "$work/restore.out"; then
  echo "bench: the restore was incomplete" >&2
  exit 1
fi
t3=$(now)
while read -r entry; do
  atftp --option "blksize 128" --put -l "$work/tars/$entry" -r flashraw.bin 127.0.0.1 "$target_port" >/dev/null 2>&1
  curl -s -o /dev/null "http://$ip/api/v100/status.ssi?action=restoreconfig"
done <"$work/order.txt"
t4=$(now)

restore=$(seconds "$t1" "$t2")
tools=$(seconds "$t3" "$t4")
rss_kib=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time.txt")
base_kib=$(cat "$work/base.txt")
largest_config=$(unzip -Zl "$archive" | awk '$NF ~ /\.tar$/ { if ($4 > m) m = $4 } END { print m }')
largest=$(unzip -Zl "$archive" | awk 'NF >= 9 && $4 ~ /^[0-9]+$/ { if ($4 > m) m = $4 } END { print m }')
held=$(( (rss_kib - base_kib) * 1024 ))

printf 'kelpu-cli put_backup, %d files:     %.3f s\n' "$count" "$restore"
printf 'atftp + curl, one of each per file: %.3f s\n' "$tools"
printf 'ratio kelpu-cli / tools:            %s (goal <= 0.5)\n' "$(ratio "$restore" "$tools")"
printf 'peak memory:                        %d KiB (restoring one file: %d KiB)\n' "$rss_kib" "$base_kib"
printf '  held for 603 files:               %d bytes = %s x the largest file in the backup (%d bytes, goal <= 3)\n' \
  "$held" "$(ratio "$held" "$largest")" "$largest"
printf '                                    %s x the largest configuration TAR (%d bytes)\n' \
  "$(ratio "$held" "$largest_config")" "$largest_config"
