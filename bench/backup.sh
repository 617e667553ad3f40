#!/usr/bin/env bash
# Times a full backup by kelpu-cli against the same simulated controller
# fetched by ordinary tools: one curl process per configuration URL (the
# names the utility asked for, in its order) and atftp for flashfs.bin with
# 128-byte blocks. Prints the times, the ratio of the HTTP parts and the
# utility's peak memory: in all, and above what the program takes before it
# handles any file, against the largest file it handled.
#
# The utility's HTTP part is its full backup less a flashfs.bin read of its
# own (read_file_flashfs): a backup always reads the image first, so it
# cannot be timed alone. Both runs pay one process start, which the
# subtraction cancels.
#
# Usage: bench/backup.sh [BUILD_DIR]   (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
cli="$build/src/cli/kelpu-cli"
[ -x /usr/bin/time ] || { echo "bench: /usr/bin/time is missing (Debian package time)" >&2; exit 1; }

work=$(mktemp -d)
sim_pid=
stop() {
  [ -z "$sim_pid" ] || { kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; }
  rm -rf "$work"
}
trap stop EXIT

python3 "$root/sim/zantor_sim.py" --port 0 --request-log "$work/requests.jsonl" >"$work/port" 2>/dev/null &
sim_pid=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(head -n 1 "$work/port")
ip="127.0.0.1:$port"
mkdir "$work/zip" "$work/raw" "$work/curl"

now() { date +%s.%N; }
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.6f", b - a }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

t0=$(now)
/usr/bin/time -v -o "$work/time.txt" "$cli" --action=get_backup --ip="$ip" \
  --backupfileouttype=zip --backupfileout="$work/zip" >/dev/null
t1=$(now)
"$cli" --action=read_file_flashfs --ip="$ip" --backupfileouttype=raw --backupfileout="$work/raw" >/dev/null
t2=$(now)

names=$(grep -o '"query": "config=[A-Za-z0-9_]*"' "$work/requests.jsonl" | sed 's/.*config=//; s/"$//')
count=$(echo "$names" | wc -l)
t3=$(now)
for name in $names; do
  curl -s -o "$work/curl/$name.tar" "http://$ip/api/v100/backup.ssi?config=$name"
done
t4=$(now)
atftp --option "blksize 128" --get -r flashfs.bin -l "$work/curl/flashfs.bin" 127.0.0.1 "$port" >/dev/null 2>&1
t5=$(now)

full=$(seconds "$t0" "$t1")
flash=$(seconds "$t1" "$t2")
http=$(seconds "$flash" "$full")
curl_http=$(seconds "$t3" "$t4")
atftp_flash=$(seconds "$t4" "$t5")
rss_kib=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time.txt")
largest=$(stat -c %s "$work/raw/flashfs.bin")
# What the program takes before it handles any file: code, libraries, heap.
/usr/bin/time -f %M -o "$work/base.txt" "$cli" --version >/dev/null
base_kib=$(cat "$work/base.txt")

printf 'kelpu-cli full backup:            %.3f s\n' "$full"
printf '  of which flashfs.bin (alone):   %.3f s\n' "$flash"
printf '  of which HTTP, %d requests:    %.3f s\n' "$count" "$http"
printf 'curl, one process per URL:        %.3f s\n' "$curl_http"
printf 'atftp flashfs.bin, blksize 128:   %.3f s\n' "$atftp_flash"
printf 'ratio HTTP kelpu-cli / curl:      %s (goal <= 0.5)\n' "$(ratio "$http" "$curl_http")"
printf 'ratio whole / (curl + atftp):     %s\n' "$(ratio "$full" "$(awk -v a="$curl_http" -v b="$atftp_flash" 'BEGIN { print a + b }')")"
printf 'peak memory:                      %d KiB (the program alone: %d KiB)\n' "$rss_kib" "$base_kib"
printf '  held for data:                  %s x the largest file, %d bytes (goal <= 3)\n' \
  "$(ratio "$(( (rss_kib - base_kib) * 1024 ))" "$largest")" "$largest"
