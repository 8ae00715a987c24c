# Shared by scripts/check-wine and scripts/bench-wine (sourced, not run): a private Wine prefix
# whose COM1 is the virtual unit's pseudo-terminal, and the virtual unit started and stopped on it.
# The caller sets root, native (the folder of the Linux corvella-unit-sim) and me (its name).

fail() { echo "$me: $*" >&2; exit 1; }
note() { echo "$me: $* ($(( $(date +%s) - started )) s)" >&2; }

wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
[ -x "$wine" ] && [ -x "$wineserver" ] || fail "Wine is missing (apt-get install wine64)"

# A private prefix under the build folder, kept between runs (making one takes a while); no Mono
# or Gecko, which a serial tool never needs, and no debug chatter.
work=$root/build/wine
run=$work/run
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64

unit_pid=""

wine_prepare() {
  rm -rf "$run"
  mkdir -p "$run"
  trap 'stop_unit; "$wineserver" -k >/dev/null 2>&1 || true' EXIT
  # COM1 is whatever $run/com1 points at when Wine starts: Wine resolves the registry's path then
  # and rewrites its own device link, so every new unit is followed by a restart of the server.
  if [ ! -f "$WINEPREFIX/system.reg" ] || ! grep -q "com1" "$WINEPREFIX/system.reg"; then
    "$wine" wineboot -i >/dev/null 2>&1 || true
    "$wine" reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$run/com1" /f >/dev/null 2>&1 ||
      fail "cannot write the COM1 mapping into the Wine registry"
    note "Wine prefix made"
  fi
}

start_unit() {  # start_unit NAME SIM-OPTIONS...: the unit plays on $run/com1 until stop_unit
  local name=$1; shift
  rm -f "$run/$name.in"
  mkfifo "$run/$name.in"
  "$native/corvella-unit-sim" --link "$run/com1" --log "$run/$name.log" "$@" \
    <"$run/$name.in" >"$run/$name.out" 2>&1 &
  unit_pid=$!
  exec 7>"$run/$name.in"  # the unit runs until its input closes
  local i
  for i in $(seq 100); do [ -L "$run/com1" ] && break; sleep 0.05; done
  [ -L "$run/com1" ] || fail "corvella-unit-sim did not start: $(cat "$run/$name.out")"
  "$wineserver" -k >/dev/null 2>&1 || true
  "$wineserver" -w >/dev/null 2>&1 || true
  "$wineserver" -p >/dev/null 2>&1 7>&-
  # Wine's session (services, device drivers) starts here, once, with no pipe of the caller's
  # inherited: a helper holding one would keep its reader waiting after the program ended.
  "$wine" wineboot </dev/null >/dev/null 2>&1 7>&- || true
}

stop_unit() {
  [ -n "$unit_pid" ] || return 0
  exec 7>&-
  wait "$unit_pid" || true
  unit_pid=""
}

# Runs a Windows program in $run (files are named relative to it), its stdout and stderr to
# $run/NAME.stdout and .stderr; prints its exit status (124 when it outlived LIMIT seconds).
win_run() {  # win_run EXE NAME LIMIT-SECONDS ARGS...
  local exe=$1 name=$2 limit=$3; shift 3
  local status=0
  # Wine's helper processes outlive the program; they must not hold the unit's input open.
  (cd "$run" && timeout -k 5 "$limit" "$wine" "$exe" "$@" >"$name.stdout" 2>"$name.stderr" 7>&-) ||
    status=$?
  echo "$status"
}
