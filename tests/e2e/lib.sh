# Helpers for driving the real vornel.exe and the stand-in XyWrite under Wine.
# Sourced by tests/e2e/run.sh and scripts/demo; expects BUILD, WINE, TOOLS, WORK.
PIDS=()

cleanup_pids() {
  # Processes that have already gone are no failure, under set -e too.
  for pid in "${PIDS[@]}"; do kill -9 "$pid" 2>/dev/null || true; done
  for pid in "${PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  PIDS=()
  return 0
}

winpath() { local p=${1//\//\\}; echo "Z:$p"; }

# wait_for <seconds> <command...>: polls until the command succeeds.
wait_for() {
  local limit=$(( $1 * 10 )); shift
  for ((i = 0; i < limit; i++)); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

has_file() { [ -f "$T/VN/$1" ]; }
log_has() { grep -qx "$1" "$T/$2.log" 2>/dev/null; }
content() { cat "$T/VN/$1" 2>/dev/null; }

check() {  # check <description> <command...>
  local what=$1; shift
  if "$@"; then
    PASSED=$((PASSED + 1))
  else
    FAILED=$((FAILED + 1))
    echo "   FAILED: $CURRENT: $what"
  fi
}
same() { [ "$1" = "$2" ] || { echo "     expected [$2], got [$1]"; return 1; }; }
starts() { [[ "$1" == "$2"* ]] || { echo "     expected [$2...], got [$1]"; return 1; }; }
holds() { [[ "$1" == *"$2"* ]] || { echo "     expected [...$2...] in [$1]"; return 1; }; }

begin() {  # begin <name>: a fresh directory with vornel.exe and VN\
  CURRENT=$1
  T=$WORK/$1
  mkdir -p "$T/VN"
  cp "${VORNEL_EXE:-$BUILD/vornel.exe}" "$T/vornel.exe"  # VORNEL_EXE: try another build
  echo "-- $1"
}

finish() { cleanup_pids; }

# standin <name> <title> [chord]: starts a stand-in window and waits until it is in front.
standin() {
  local name=$1 title=$2 chord=${3:-11107B}
  : > "$T/$name.log"
  [ -f "$T/$name.text" ] || printf 'text' > "$T/$name.text"
  "$WINE" "$TOOLS/standin.exe" "$title" "$(winpath "$T/VN")" DOC "$(winpath "$T/$name.text")" \
    "$(winpath "$T/$name.log")" "$(winpath "$T/$name.cmd")" "$chord" >/dev/null 2>&1 &
  PIDS+=($!)
  wait_for 20 log_has front "$name" || echo "     stand-in $name never came to the front"
}

tell() {  # tell <stand-in> <command>
  printf '%s' "$2" > "$T/$1.cmd"
  wait_for 10 log_has "done $2" "$1" || echo "     stand-in $1 did not do $2"
  : > "$T/$1.log.tmp"; grep -vx "done $2" "$T/$1.log" > "$T/$1.log.tmp"; cat "$T/$1.log.tmp" > "$T/$1.log"
}

# host_start <stand-in> <nowait|answering|blocked> <args...>: the stand-in, as
# a DOS host, starts vornel.exe for its macro; waits until it has.
host_start() {
  local name=$1 how=$2; shift 2
  printf 'start %s %s %s' "$how" "$(winpath "$T/vornel.exe")" "$*" > "$T/$name.cmd"
  wait_for 10 log_has "started $how" "$name" || echo "     stand-in $name did not start vornel.exe"
}

edit() {  # edit <stand-in> <text>: changes the stand-in's document
  printf '%s' "$2" > "$T/$1.text.new" && mv "$T/$1.text.new" "$T/$1.text"
}

# Wine's own messages go to $T/wine.log, for a look when a run goes wrong.
vornel() { timeout 30 "$WINE" "$T/vornel.exe" "$@" >/dev/null 2>>"$T/wine.log"; }
vornel_bg() { "$WINE" "$T/vornel.exe" "$@" >/dev/null 2>&1 & VPID=$!; PIDS+=($VPID); }
ended() { ! kill -0 "$VPID" 2>/dev/null; }
stop_vornel() { { kill -9 "$VPID"; wait "$VPID"; } 2>/dev/null || true; }
dialog() { timeout 30 "$WINE" "$TOOLS/dialog.exe" "${1:-15000}" "${2:-}" 2>/dev/null | tr -d '\r'; }
keys() { grep -E '^(down|up) ' "$T/$1.log" | tr '\n' ' ' | sed 's/ $//'; }
# holder [vn-dir]: a process that takes VN\'s lock as a run does, and keeps it until killed ($HPID).
holder() {
  rm -f "$T/held"
  "$WINE" "$TOOLS/holder.exe" "${1:-$(winpath "$T/VN")\\}" "$(winpath "$T/held")" >/dev/null 2>&1 & HPID=$!; PIDS+=($HPID)
  wait_for 20 test -e "$T/held" || echo "     the holder never took VN\\"
}
# hold <file in VN> <ms> [read|write|all]: another program (a scanner) holds the file open for a while, sharing that.
hold() {
  rm -f "$T/holding"
  "$WINE" "$TOOLS/hold.exe" "$(winpath "$T/VN/$1")" "$2" "$(winpath "$T/holding")" "${3:-read}" >/dev/null 2>&1 & PIDS+=($!)
  wait_for 20 test -e "$T/holding" || echo "     $1 was never held"
}
# vornel_as <windows path of the exe> <args...>: a run started under another name for its folder.
vornel_as() { local exe=$1; shift; "$WINE" "$exe" "$@" >/dev/null 2>&1 & VPID=$!; PIDS+=($VPID); }
newest_is() { [ "$(cd "$T/VN" && cat "$(ls DOC.[0-9][0-9][0-9] 2>/dev/null | sort | tail -1)" 2>/dev/null)" = "$1" ]; }
running() { kill -0 "$1" 2>/dev/null; }
all_running() { local pid; for pid in "$@"; do running "$pid" || return 1; done; }
all_ended() { local pid; for pid in "$@"; do ! running "$pid" || return 1; done; }
snapshots() { (cd "$T/VN" && ls DOC.[0-9][0-9][0-9] 2>/dev/null | tr '\n' ' ' | sed 's/ $//'); }
put_snapshots() { for n in $(seq "$1" "$2"); do printf 'v%d' "$n" > "$T/VN/DOC.$(printf %03d "$n")"; done; }


# cpu_ticks <pid>: processor time the process has used so far, in clock ticks.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null || echo 0; }
# cpu_share <pid> <seconds>: the share of one core, in per mille, that the
# process and the Wine server together draw over the next <seconds>; prints
# "<process> <server>".
cpu_share() {
  local pid=$1 seconds=$2 server; server=$(pgrep "^wineserver" | head -1)
  local p0 s0 p1 s1 hz; hz=$(getconf CLK_TCK)
  p0=$(cpu_ticks "$pid"); s0=$(cpu_ticks "${server:-0}")
  sleep "$seconds"
  p1=$(cpu_ticks "$pid"); s1=$(cpu_ticks "${server:-0}")
  echo "$(( (p1 - p0) * 1000 / (hz * seconds) )) $(( (s1 - s0) * 1000 / (hz * seconds) ))"
}
