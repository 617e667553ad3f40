#!/usr/bin/env bash
# Installs the build into a scratch DESTDIR the way the package does (prefix
# /usr, stripped) and checks and runs the installed kit.
#   install_test.sh BUILD_DIR KIT_DIR
set -euo pipefail
build=$1 kit_dir=$2
packaging=$(dirname "$0")/../../packaging

# The shell's menu entry and manual page are installed only with the shell;
# they are checked as written, so that they are sound when it lands.
desktop-file-validate "$packaging/kelpkit.desktop"
for page in "$packaging"/man/*.1; do
  complaints=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null || true)
  if [ -n "$complaints" ]; then
    echo "FAIL: $page: $complaints" >&2
    exit 1
  fi
done

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
if ! output=$(DESTDIR=$stage cmake --install "$build" --prefix /usr --strip 2>&1); then
  echo "$output" >&2
  exit 1
fi
"$(dirname "$0")/check_installed_kit.sh" "$stage" "$kit_dir" /usr
