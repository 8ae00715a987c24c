#!/usr/bin/env bash
# Runs a command as a desktop user runs the program: on a real X server (Xvfb, 1440 x 900) with a
# window manager that frames the windows, inside a D-Bus session of its own, where the
# accessibility bus starts when a client asks for it. Exit 77 (skipped) only when the X server
# itself cannot start on this machine; a missing tool is a failure: scripts/bootstrap installs it.
set -uo pipefail

for tool in Xvfb openbox xprop dbus-run-session; do
  if ! command -v "$tool" >/dev/null; then
    echo "x11_session: $tool is missing (scripts/bootstrap installs it)" >&2
    exit 1
  fi
done

# Under AddressSanitizer: the X keyboard library reads its keymap names with strndup from
# buffers that are not terminated, which strict string checks take for an overflow.
if [ -n "${ASAN_OPTIONS:-}" ]; then
  export ASAN_OPTIONS="$ASAN_OPTIONS:strict_string_checks=0"
fi

work=$(mktemp -d)
pids=()
finish() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap finish EXIT

# The server picks a free display and writes its number to fd 3.
Xvfb -displayfd 3 -screen 0 "${X11_SESSION_SCREEN:-1440x900x24}" -nolisten tcp \
  3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  kill -0 "${pids[0]}" 2>/dev/null || break
  sleep 0.1
done
if [ ! -s "$work/display" ]; then
  echo "SKIP: the X server (Xvfb) could not start here: $(tail -n 3 "$work/xvfb.log")"
  exit 77
fi
export DISPLAY=":$(head -n 1 "$work/display")"

openbox --sm-disable >"$work/wm.log" 2>&1 &
pids+=($!)
# The manager announces itself on the root window once it runs.
for _ in $(seq 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
  sleep 0.1
done

if ! dbus-run-session -- true 2>"$work/dbus.log"; then
  echo "SKIP: a D-Bus session could not start here: $(tail -n 3 "$work/dbus.log")"
  exit 77
fi
dbus-run-session -- "$@"
