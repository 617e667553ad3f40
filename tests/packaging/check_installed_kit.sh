#!/usr/bin/env bash
# Checks a stripped installed kit below ROOT, as the package lays it out (or
# `cmake --install --strip` into a DESTDIR), and runs it: the utility's
# version, a backup against the installed simulator, and with --shell the
# desktop shell under Xvfb until its window shows (skipped when the kit has
# no shell).
#   check_installed_kit.sh ROOT KITDIR PREFIX [--shell]
# ROOT is where the tree was unpacked or installed (a DESTDIR); KITDIR and
# PREFIX are the folders the installed files expect (/opt/kelpkit, /usr).
set -euo pipefail
root=$1 kit_dir=$2 prefix=$3 check_shell=${4:-}
kit=$root$kit_dir
bin=$root$prefix/bin
share=$root$prefix/share

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

work=$(mktemp -d)
sim_pid=
shell_pid=
finish() {
  for pid in $shell_pid $sim_pid; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap finish EXIT

# A command on the search path is an absolute link into the kit.
check_link() {
  local name=$1 target=$2
  if [ ! -L "$bin/$name" ]; then
    fail "$prefix/bin/$name is not a link"
  elif [ "$(readlink "$bin/$name")" != "$target" ]; then
    fail "$prefix/bin/$name points to $(readlink "$bin/$name"), not $target"
  elif [ ! -x "$root$target" ]; then
    fail "$prefix/bin/$name points to $target, which is not an installed program"
  fi
}

check_desktop_entry() {
  local entry=$1
  if [ ! -f "$entry" ]; then
    fail "no desktop entry ${entry#"$root"}"
    return
  fi
  desktop-file-validate "$entry" || fail "desktop entry does not validate"
  grep -qx 'Exec=kelpkit' "$entry" || fail "desktop entry does not start kelpkit"
  grep -qx 'Icon=kelpkit' "$entry" || fail "desktop entry does not name the kelpkit icon"
}

check_layout() {
  [ -x "$kit/cli/kelpu-cli" ] || fail "no program $kit_dir/cli/kelpu-cli"
  check_link kelpu-cli "$kit_dir/cli/kelpu-cli"
  check_link kelpu-sim "$kit_dir/sim/kelpu-sim"
  # The shell's command, manual page and menu entry come with the shell.
  local pages=(kelpu-cli kelpu-sim)
  local entry=$share/applications/kelpkit.desktop
  if [ -e "$kit/kelpkit" ]; then
    check_link kelpkit "$kit_dir/kelpkit"
    pages+=(kelpkit)
    check_desktop_entry "$entry"
  else
    local stray
    for stray in "$bin/kelpkit" "$share/man/man1/kelpkit.1.gz" "$entry"; do
      if [ -e "$stray" ] || [ -L "$stray" ]; then
        fail "${stray#"$root"} is installed, but the kit has no shell"
      fi
    done
  fi
  if [ -n "$(find "$kit" -name __pycache__ -o -name '*.pyc')" ]; then
    fail "byte code in the kit: $(find "$kit" -name __pycache__ -o -name '*.pyc' | head -n 3)"
  fi

  local page
  for page in "${pages[@]}"; do
    local file=$share/man/man1/$page.1.gz
    if ! gzip -t "$file" 2>/dev/null; then
      fail "manual page $page.1.gz missing or not gzip"
      continue
    fi
    # Any troff complaint means a broken page; every page has these sections.
    local complaints
    complaints=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$file" 2>&1 >/dev/null || true)
    [ -z "$complaints" ] || fail "$page.1: $complaints"
    local text
    text=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$file" 2>/dev/null | col -b || true)
    local section
    for section in NAME SYNOPSIS DESCRIPTION OPTIONS 'EXIT STATUS' EXAMPLES; do
      grep -q "^$section\$" <<<"$text" || fail "$page.1 has no $section section"
    done
  done

  python3 -c 'import sys, xml.etree.ElementTree as E
sys.exit(E.parse(sys.argv[1]).getroot().tag != "{http://www.w3.org/2000/svg}svg")' \
    "$share/icons/hicolor/scalable/apps/kelpkit.svg" 2>/dev/null || fail "icon missing or not SVG"

  [ -s "$share/doc/kelpkit/copyright" ] || fail "no copyright file"
  gzip -t "$share/doc/kelpkit/changelog.gz" 2>/dev/null || fail "changelog.gz missing or not gzip"
}

# Stripped installs (the package, cmake --install --strip) carry no symbol
# tables or debugging sections in any ELF file of the kit.
check_stripped() {
  local file
  while IFS= read -r -d '' file; do
    [ "$(head -c 4 "$file" | od -An -tx1 | tr -d ' ')" = 7f454c46 ] || continue
    if grep -qE '\.symtab|\.debug_' <<<"$(readelf -S "$file")"; then
      fail "not stripped: ${file#"$root"}"
    fi
  done < <(find "$kit" -type f -print0)
}

# The simulator, started the way the command on the search path starts it:
# through a link to its script in the kit.
start_simulator() {
  ln -s "$root$(readlink "$bin/kelpu-sim")" "$work/kelpu-sim"
  "$work/kelpu-sim" --port 0 >"$work/port" 2>"$work/sim.log" &
  sim_pid=$!
  local _
  for _ in $(seq 100); do
    [ -s "$work/port" ] && return 0
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
  done
  fail "the installed simulator did not start: $(cat "$work/sim.log")"
  return 1
}

check_runs() {
  local cli
  cli=$root$(readlink "$bin/kelpu-cli")
  local version
  version=$(env -u DISPLAY -u WAYLAND_DISPLAY "$cli" --version) || fail "kelpu-cli --version failed"
  [ "$version" = $'kelpu-cli\nVersion 1.3.0' ] || fail "kelpu-cli --version printed: $version"

  start_simulator || return 0
  local port
  port=$(head -n 1 "$work/port")
  mkdir "$work/backups"
  local status=0
  env -u DISPLAY -u WAYLAND_DISPLAY "$cli" --action=get_backup --ip="127.0.0.1:$port" \
    --backupfileouttype=zip --backupfileout="$work/backups" >"$work/backup.log" 2>&1 || status=$?
  [ "$status" -eq 0 ] || fail "backup against the installed simulator: exit status $status
$(tail -n 20 "$work/backup.log")"
  local archives=("$work/backups/backup_127.0.0.1_${port}_ZANTOR_"*.zip)
  if [ ! -f "${archives[0]}" ]; then
    fail "the backup wrote no archive"
  else
    local listing
    listing=$(unzip -Z1 "${archives[0]}" 2>&1) || fail "the backup archive does not open: $listing"
    local member
    for member in tool.txt flashfs.bin dali1.tar cd1.tar log.txt; do
      grep -qx "$member" <<<"$listing" || fail "the backup archive has no $member"
    done
  fi
  kill "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" || fail "the installed simulator did not stop cleanly"
  sim_pid=
  [ -z "$(find "$kit" -name __pycache__)" ] || fail "the simulator left byte code in the kit"
}

# The shell under a virtual display until its window is mapped, started
# through a link as the menu entry starts it, so that it must find its parts
# from its own folder. Its window is titled kelpkit until the page names it,
# and its class is kelpkit.
check_shell() {
  local shell=$work/kelpkit
  ln -s "$root$(readlink "$bin/kelpkit")" "$shell"
  cat >"$work/shell-window" <<'SCRIPT'
"$1" >"$2/shell.log" 2>&1 &
pid=$!
echo "$pid" >"$2/shell.pid"
for _ in $(seq 150); do
  if xdotool search --onlyvisible --name kelpkit >/dev/null 2>&1 ||
     xdotool search --onlyvisible --classname kelpkit >/dev/null 2>&1; then
    kill "$pid"
    wait "$pid" 2>/dev/null
    exit 0
  fi
  kill -0 "$pid" 2>/dev/null || exit 3
  sleep 0.2
done
kill "$pid"
exit 4
SCRIPT
  local status=0
  timeout 120 xvfb-run -a bash "$work/shell-window" "$shell" "$work" || status=$?
  shell_pid=$(cat "$work/shell.pid" 2>/dev/null || true)
  case $status in
    0) echo "the installed shell showed its window" ;;
    3) fail "the installed shell ended before its window showed: $(tail -n 20 "$work/shell.log")" ;;
    *) fail "no window of the installed shell (status $status): $(tail -n 20 "$work/shell.log")" ;;
  esac
  end_kit_leftovers
}

# Processes still running from this kit after the shell was stopped (its web
# server, when the shell could not stop it) are named and ended, so that they
# do not hold the server's port.
end_kit_leftovers() {
  local proc pid
  for proc in /proc/[0-9]*; do
    pid=${proc#/proc/}
    [ "$pid" != $$ ] || continue
    local traits
    traits=$({ readlink "$proc/exe"; readlink "$proc/cwd"; tr '\0' ' ' <"$proc/cmdline"; } 2>/dev/null || true)
    if grep -qF "$kit/" <<<"$traits"; then
      echo "warning: still running from the kit after the shell ended: $(tr '\0' ' ' <"$proc/cmdline")" >&2
      kill "$pid" 2>/dev/null || true
    fi
  done
}

check_layout
check_stripped
check_runs
if [ "$check_shell" = --shell ]; then
  if [ -e "$kit/kelpkit" ]; then
    check_shell
  else
    echo "skipped: this kit has no desktop shell yet"
  fi
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) of the installed kit failed" >&2
  exit 1
fi
echo "the installed kit in $root passed"
