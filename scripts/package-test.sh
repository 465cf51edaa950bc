#!/usr/bin/env bash
# Builds the Debian package with `make package` and checks it: lintian reports no errors, the
# desktop entries and the AppStream metainfo validate, the package holds what a desktop install
# needs, and its programs, unpacked into a temporary root, answer --version and --help without a
# bridge and serve a WebSocket client headless (port 9090, taken under /tmp/tessiva-9090.lock).
set -euo pipefail
cd "$(dirname "$0")/.."

fail() {
  echo "package-test: FAIL: $*" >&2
  exit 1
}

make --no-print-directory package
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/default/CMakeCache.txt)
deb=build/default/tessiva_${version}_amd64.deb
[[ -n "$version" && -f "$deb" ]] || fail "no package $deb"
echo "package-test: built $deb"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Errors fail the check; warnings and lower are shown but allowed.
if ! report=$(lintian --fail-on error --info "$deb" 2>&1); then
  printf '%s\n' "$report" >&2
  fail "lintian reports errors"
fi
printf '%s\n' "$report" | grep -v 'running with root privileges' || true

unpacked=$work/root
dpkg-deb -x "$deb" "$unpacked"
expected=(
  usr/bin/tessiva
  usr/bin/tessiva-sensor
  usr/bin/tessiva-match
  usr/share/applications/org.tessiva.Tessiva.desktop
  usr/share/icons/hicolor/scalable/apps/org.tessiva.Tessiva.svg
  etc/xdg/autostart/org.tessiva.Tessiva.desktop
  usr/share/metainfo/org.tessiva.Tessiva.metainfo.xml
  usr/lib/udev/rules.d/70-tessiva-readers.rules
  usr/share/man/man1/tessiva.1.gz
  usr/share/man/man1/tessiva-sensor.1.gz
  usr/share/man/man1/tessiva-match.1.gz
  usr/share/doc/tessiva/copyright
  usr/share/doc/tessiva/changelog.gz
  usr/share/doc/tessiva/protocol.md.gz
)
for path in "${expected[@]}"; do
  [[ -f "$unpacked/$path" ]] || fail "$path is not in the package"
done
cmp -s "$unpacked/usr/lib/udev/rules.d/70-tessiva-readers.rules" \
  packaging/udev/70-tessiva-readers.rules || fail "the packaged udev rule is not the committed one"
dpkg-deb -f "$deb" Depends | grep 'libqt6widgets6' >/dev/null || fail "Depends lacks the Qt libraries"
dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles |
  grep -x /etc/xdg/autostart/org.tessiva.Tessiva.desktop >/dev/null || fail "autostart entry is no conffile"

# After a removal the autostart entry stays (a conffile): without TryExec every login would try
# to start the missing program.
for entry in usr/share/applications/org.tessiva.Tessiva.desktop \
             etc/xdg/autostart/org.tessiva.Tessiva.desktop; do
  grep -qx 'TryExec=tessiva' "$unpacked/$entry" || fail "$entry has no TryExec"
done
desktop-file-validate "$unpacked/usr/share/applications/org.tessiva.Tessiva.desktop" \
  "$unpacked/etc/xdg/autostart/org.tessiva.Tessiva.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$unpacked/usr/share/metainfo/org.tessiva.Tessiva.metainfo.xml" ||
  fail "appstreamcli validate"

# No bridge runs for these: an empty runtime folder holds no control socket.
runtime=$work/runtime
mkdir -m 700 "$runtime"
export XDG_RUNTIME_DIR=$runtime
bin=$unpacked/usr/bin
[[ "$("$bin/tessiva" --version)" == "tessiva $version" ]] || fail "tessiva --version"
[[ "$("$bin/tessiva-sensor" --version)" == "tessiva-sensor $version" ]] ||
  fail "tessiva-sensor --version"
[[ "$("$bin/tessiva-match" --version)" == "tessiva-match $version" ]] ||
  fail "tessiva-match --version"
for args in "tessiva --help" "tessiva-sensor --help" "tessiva-sensor help" "tessiva-match --help" \
            "tessiva-sensor --socket $work/none.sock help"; do
  read -r -a words <<< "$args"
  "$bin/${words[0]}" "${words[@]:1}" | grep '^usage: ' >/dev/null || fail "$args"
done

# Runs "$@" holding the lock every program on port 9090 takes, unless one of our ancestors holds it
# already (say `flock /tmp/tessiva-9090.lock make test`): waiting for it then would never end.
with_port_lock() {
  local lock=/tmp/tessiva-9090.lock inode holder pid
  if [[ -e "$lock" ]]; then
    inode=$(stat -c %i "$lock")
    for holder in $(awk -v inode="$inode" \
        '$2 == "FLOCK" { n = split($6, id, ":"); if (id[n] == inode) print $5 }' /proc/locks); do
      pid=$$
      while [[ "$pid" -gt 1 ]]; do
        if [[ "$pid" == "$holder" ]]; then
          "$@"
          return
        fi
        pid=$(sed 's/.*) //' "/proc/$pid/stat" 2>/dev/null | awk '{ print $2 }')
        pid=${pid:-1}
      done
    done
  fi
  flock "$lock" "$@"
}

# The unpacked bridge, headless, answers a client's init; Python starts it and ends it by its PID.
unset DISPLAY WAYLAND_DISPLAY
export QT_QPA_PLATFORM=offscreen
with_port_lock /usr/bin/python3 - "$bin/tessiva" "$work/bridge.log" <<'PY' ||
import asyncio, json, subprocess, sys, time
import websockets

TESSIVA, LOG = sys.argv[1], sys.argv[2]
DEADLINE = 60  # seconds for the whole exchange; generous for a loaded machine


async def init(bridge):
    end = time.monotonic() + DEADLINE
    while True:
        try:
            ws = await websockets.connect("ws://127.0.0.1:9090", open_timeout=10)
            break
        except OSError:
            if bridge.poll() is not None:
                raise RuntimeError(f"the bridge ended with status {bridge.returncode}")
            if time.monotonic() > end:
                raise
            await asyncio.sleep(0.1)
    try:
        await ws.send(json.dumps({"act": "init", "state": "s"}))
        while True:
            reply = json.loads(await asyncio.wait_for(ws.recv(), end - time.monotonic()))
            if reply.get("event") == "Sensor Initialization":
                print(f"package-test: init answered: {reply}")
                return
    finally:
        await ws.close()


with open(LOG, "w") as log:
    bridge = subprocess.Popen([TESSIVA], stdout=log, stderr=subprocess.STDOUT)
    try:
        asyncio.run(init(bridge))
    finally:
        bridge.terminate()
        try:
            bridge.wait(timeout=DEADLINE)
        except subprocess.TimeoutExpired:
            bridge.kill()
            bridge.wait()
PY
  { cat "$work/bridge.log" >&2 2>/dev/null; fail "the unpacked bridge did not answer init"; }
echo "package-test: all package checks passed"
