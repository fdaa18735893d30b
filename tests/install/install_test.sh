#!/usr/bin/env bash
# install_test.sh BUILD_DIR [with-windows|without-windows]: cmake --install into
# a temporary prefix, then the installed programs start, the recorder's service
# unit is in place, the desktop entry is valid and the icon and the
# documentation are where the desktop looks for them.
set -euo pipefail
build=$1
windows=${2:-with-windows}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "install test: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/qelm-sim bin/marev-record bin/marev-export; do
  [ -x "$prefix/$f" ] || fail "$f not installed"
done
unit="$prefix/lib/systemd/system/marev-record@.service"
[ -f "$unit" ] || fail "the recorder's service unit not installed"
grep -q '^ExecStart=marev-record --port %i ' "$unit" || fail "the unit does not run marev-record on its COM number"
grep -q '^SupplementaryGroups=dialout$' "$unit" || fail "the unit's user is not in dialout"
grep -q '^Restart=on-failure$' "$unit" || fail "the unit does not restart on failure"
usage=$("$prefix/bin/marev-record" --help) || fail "marev-record --help failed"
grep -q '^marev-record \[--port N | --device PATH\]' <<<"$usage" ||
  fail "marev-record --help does not show the usage"
if [ "$windows" = without-windows ]; then
  echo "install test: ok (without the windows)"
  exit 0
fi
[ -x "$prefix/bin/marev" ] || fail "bin/marev not installed"
for f in share/applications/marev.desktop share/icons/hicolor/scalable/apps/marev.svg \
         share/doc/marev/README.md; do
  [ -f "$prefix/$f" ] || fail "$f not installed"
done
desktop-file-validate "$prefix/share/applications/marev.desktop" || fail "desktop entry not valid"
"$prefix/bin/qelm-sim" --help >/dev/null || fail "qelm-sim --help failed"
"$prefix/bin/marev-export" --help >/dev/null || fail "marev-export --help failed"

# The program starts, shows its window, and ends cleanly when asked to.
export QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$prefix/config" XDG_RUNTIME_DIR="$prefix/run"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
"$prefix/bin/marev" 2>"$prefix/marev.log" &
pid=$!
sleep 2
kill -0 "$pid" 2>/dev/null || { cat "$prefix/marev.log" >&2; fail "marev did not keep running"; }
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
[ "$status" -eq 0 ] || fail "marev ended with status $status on SIGTERM"
echo "install test: ok"
