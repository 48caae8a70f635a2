# The real chain: vornel.exe against vDosPlus, a DOS host XyWrite users run,
# with tools/dosxy's XY.COM as the DOS program inside it. Sourced by run.sh;
# `run.sh <build> <wine> realhost` runs these cases.
#
# vDosPlus is a test dependency found at a path, never part of the project:
# VORNEL_VDOSPLUS names the exe, else ../shared/hosts/vdosplus/vDosPlus64.exe
# beside the project.
VDOSPLUS=${VORNEL_VDOSPLUS:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/../shared/hosts/vdosplus/vDosPlus64.exe}

# dos_host [config line...]: vDosPlus set up as the README tells a user (its
# title begins with XyWrite, USE gives DOS a drive D: onto Vornel's folder),
# with XY.COM started by its AUTOEXEC; waits until XY.COM runs, in front.
dos_host() {
  mkdir -p "$T/host"
  cp "$TOOLS/XY.COM" "$T/XY.COM"
  [ -f "$T/XY.TXT" ] || printf 'text' > "$T/XY.TXT"
  { printf 'TITLE=XyWrite - DOC\r\n'; local line; for line in "$@"; do printf '%s\r\n' "$line"; done; } > "$T/host/config.txt"
  printf 'USE D: %s\\\r\nD:\r\nXY\r\nEXIT\r\n' "$(winpath "$T")" > "$T/host/autoexec.txt"
  (cd "$T/host" && exec "$WINE" "$VDOSPLUS" >/dev/null 2>&1) & HOSTPID=$!; PIDS+=($HOSTPID)
  wait_for 30 xy_has started || echo "     the DOS host never ran XY.COM"
  local w; w=$(xdotool search --name '^XyWrite - DOC$' 2>/dev/null | head -1)
  [ -n "$w" ] && xdotool windowfocus "$w" 2>/dev/null; sleep 0.3
}

# XY.LOG without its DOS times, one line a step; xy_times keeps them.
xy_log() { tr -d "\r" 2>/dev/null < "$T/XY.LOG" | cut -d' ' -f2-; }
xy_times() { tr -d "\r" 2>/dev/null < "$T/XY.LOG"; }
xy_has() { xy_log | grep -qxF -- "$1"; }
xy_keys() { xy_log | sed -n 's/^key \([0-9A-F]*\) .*/\1/p' | tr '\n' ' ' | sed 's/ $//'; }
xy_count() { xy_log | grep -cxF -- "$1"; }
# xy_send <command>: hands XY.COM a command (whole, by a rename); xy waits until it is done.
xy_send() { printf '%s' "$1" > "$T/XY.CM_" && mv "$T/XY.CM_" "$T/XY.CMD"; }
xy() {
  local before; before=$(xy_count "done $1")
  xy_send "$1"
  wait_for "${2:-30}" test_more "done $1" "$before" || echo "     XY.COM did not do: $1"
}
lacks() { [[ "$1" != *"$2"* ]] || { echo "     [$2] should not stand in [$1]"; return 1; }; }
test_more() { [ "$(xy_count "$1")" -gt "$2" ]; }
set_text() { printf '%s' "$1" > "$T/XY.TXT"; xy edit; }
now_text() { cat "$T/XY.NOW" 2>/dev/null; }
# way <direct|WAITHIDE|HIDE>: how the macro starts vornel.exe: DOS EXEC of
# D:\VORNEL.EXE, or the host's CMD with the exe's Windows path.
way() { if [ "$1" = direct ]; then echo 'direct D:\VORNEL.EXE'; else echo "$1 /C $(winpath "$T/vornel.exe")"; fi; }
# ms <hh:mm:ss.cc>: milliseconds since midnight, from XY.LOG's DOS clock.
ms() { local h m s; IFS=: read -r h m s <<< "$1"; echo $(( (10#$h * 3600 + 10#$m * 60) * 1000 + 10#${s%.*} * 1000 + 10#${s#*.} * 10 )); }
# line_ms <pattern>: the DOS time of the first log line matching it, in ms.
line_ms() { ms "$(xy_times | grep -m1 -F -- " $1" | cut -d' ' -f1)"; }

# --- the title and the chord -------------------------------------------------

test_realhost_chord() {
  begin realhost_chord
  dos_host
  xy_send save
  wait_for 10 has_file VORNEL.CTL
  local seen; seen=$(date +%H:%M:%S.%N | cut -c1-11)
  wait_for 10 xy_has "done save"
  echo "   measured: VORNEL.CTL seen on the Windows side $(( $(ms "$seen") - $(line_ms saved) )) ms after XY.COM logged the save it had closed (polled every 100 ms)"
  check "the DOS program's files are on the Windows side when its save has closed them" \
    bash -c "[ -f '$T/VN/DOC.BAK' ] && [ -f '$T/VN/VORNEL.CTL' ]"
  check "... VORNEL.CTL holds the name and a Ctrl-Z" same "$(content VORNEL.CTL | od -An -c | tr -s ' ')" " D O C 032"
  rm -f "$T/VN/"*
  vornel_bg 11107B 1 5
  check "watch mode finds the host by its title and files the save" wait_for 20 has_file DOC.001
  stop_vornel
  check "Ctrl+Shift+F12 reaches the DOS program as Ctrl+F12 (INT 16h 8A00), once a chord" \
    same "$(xy_keys | cut -d' ' -f1)" 8A00
  echo "   measured: XY.COM read $(xy_log | grep '^key' | tr '\n' ';')"
  local key saved; key=$(line_ms 'key 8A00'); saved=$(line_ms saved)
  check "... and the save is done within the pass's 1.5 s ($((saved - key)) ms after the key was read)" \
    test $((saved - key)) -lt 500
  finish

  local caps
  for caps in off on; do
    begin "realhost_letter_caps_$caps"
    dos_host
    [ "$caps" = on ] && { xdotool key Caps_Lock; sleep 0.5; }
    xy 'trig 1E01'
    vornel_bg 111041 1 5
    check "Ctrl+Shift+A (Caps Lock $caps) files the save" wait_for 20 has_file DOC.001
    stop_vornel
    [ "$caps" = on ] && xdotool key Caps_Lock
    check "... it reaches the DOS program as 1E01, Ctrl+A's code, no other key with it" same "$(xy_keys | cut -d' ' -f1)" 1E01
    check "... and Caps Lock is as the user left it ($caps)" \
      same "$(xy_log | sed -n 's/^key 1E01 ..\(.\).$/\1/p' | head -1 | sed 's/[4-7CDEF]/on/;s/[0-389AB]/off/')" "$caps"
    finish
  done
}

# WINKEY=OFF: vDosPlus keeps Ctrl+A (and C, V, N, S) without Shift for
# itself, Windows key or not; a chord on one of them never reaches XyWrite,
# and T says so. Ctrl+Shift+A gets through.
test_realhost_winkey_off() {
  begin realhost_winkey_off
  dos_host WINKEY=OFF
  xy 'trig 1E01'
  vornel_bg T 1141
  local text; text=$(dialog 25000 | sed -n 2p)
  check "Ctrl+A with WINKEY=OFF: the DOS program reads no key" same "$(xy_keys)" ""
  check "... and T names no answer" starts "$text" 'No VORNEL.CTL came after the keys.'
  wait_for 10 ended
  vornel_bg T 111041
  text=$(dialog 25000 | sed -n 2p)
  check "Ctrl+Shift+A with WINKEY=OFF reaches it" same "$(xy_keys)" 1E01
  check "... and T says Ready" starts "$text" 'Ready.'
  finish
}

# --- watch mode files the DOS program's saves ------------------------------------

test_realhost_watch() {
  begin realhost_watch
  printf e1 > "$T/XY.TXT"
  dos_host
  vornel_bg 11107B 1 3
  check "the first save is filed" wait_for 20 newest_is e1
  local e
  for e in e2 e3 e4 e5; do
    set_text "$e"
    check "the edit $e is filed" wait_for 20 newest_is "$e"
  done
  check "each edit once, in order, the depth (3) held" \
    same "$(for f in $(snapshots); do printf '%s=%s ' "${f#DOC.}" "$(content "$f")"; done)" "003=e3 004=e4 005=e5 "
  local saves; saves=$(xy_count saved)
  wait_for 20 test "$(xy_count saved)" -ge $((saves + 3))
  check "saves of an unchanged document file nothing" same "$(snapshots)" "DOC.003 DOC.004 DOC.005"
  check "... and leave no transfer file behind" wait_for 5 bash -c "! ls '$T/VN' | grep -qi bak"
  finish
}

# --- U and R started from the DOS side -----------------------------------------------

# realhost_steps <way> <protocol> <filed> <U> <U again> <R>: snapshots v1..v3,
# the document edited to "the edit", then the step macro from the DOS side;
# what it loads each time, and whether the edit is filed first (as 004).
# Protocols: K (save, K, U), none (U alone), before (save, U), after (U, save).
realhost_steps() {
  local how=$1 protocol=$2 filed=$3 first=$4 second=$5 forward=$6
  begin "realhost_steps_${how}_$protocol"
  put_snapshots 1 3
  printf 'the edit' > "$T/XY.TXT"
  dos_host
  case $protocol in
    K) xy save; xy "run $(way "$how") K 20"; xy "step $(way "$how") U DOC" ;;
    none) xy "step $(way "$how") U DOC" ;;
    before) xy save; xy "step $(way "$how") U DOC" ;;
    after) xy "stepsave $(way "$how") U DOC" ;;
  esac
  check "U by $how ($protocol): the edit filed first: $filed" \
    same "$(content DOC.004)" "$([ "$filed" = yes ] && echo 'the edit')"
  check "... the DOS program loads $first" same "$(now_text)" "$first"
  xy "step $(way "$how") U DOC"
  check "... a second U loads $second" same "$(now_text)" "$second"
  xy "step $(way "$how") R DOC"
  check "... R loads $forward" same "$(now_text)" "$forward"
  check "... the host ran every start" same "$(xy_log | grep -c '^start failed')" 0
  finish
}

# K files the edit before U looks at the store; a save U's start finds or
# its capture takes is filed after U has looked, so U steps back from the
# newest found at start (v3), one further.
test_realhost_steps() {
  realhost_steps direct K yes v3 v2 v3
  realhost_steps direct none no v2 v1 v2
  realhost_steps WAITHIDE K yes v3 v2 v3
  realhost_steps HIDE before yes v2 v1 v2
  realhost_steps HIDE after yes v2 v1 v2
}

# A chord typed while the host waits for a U: the host keeps it, and the DOS
# program reads it once U has ended and the macro has loaded DOC.VRN.
test_realhost_chord_while_waiting() {
  local how
  for how in direct WAITHIDE; do
    begin "realhost_chord_while_$how"
    put_snapshots 1 3
    printf v4 > "$T/XY.TXT"
    dos_host
    vornel_bg 11107B 1 20
    check "watch mode files the document ($how)" wait_for 20 newest_is v4
    : > "$T/XY.LOG"
    xy_send "step $(way "$how") U DOC"
    wait_for 10 xy_has "starting $(way "$how") U DOC"
    sleep 0.4; xdotool key ctrl+shift+F12
    wait_for 20 xy_has "done step $(way "$how") U DOC"
    check "U steps back from the newest ($how)" same "$(now_text)" v3
    check "the chord typed while the host waited is read after U ended and the load" \
      same "$(xy_log | grep -E '^(ended|loaded|key 8A00)' | head -3 | cut -d' ' -f1 | tr '\n' ' ')" "ended loaded key "
    check "... its save is the document as loaded, filed as the newest" wait_for 20 newest_is v3
    check "... and nothing else was filed" \
      same "$(for f in $(snapshots); do content "$f"; echo -n ' '; done)" "v1 v2 v3 v4 v3 "
    finish
  done
}

# --- vornel T, from outside and from the DOS side -------------------------------------

test_realhost_setup_check() {
  begin realhost_t
  dos_host
  vornel_bg T 11107B
  local got text; got=$(dialog 25000); text=$(echo "$got" | sed -n 2p)
  check "T from outside: Ready" starts "$text" 'Ready.\n\n'
  check "... with the host's title" holds "$text" 'XyWrite is in front: "XyWrite - DOC".'
  check "... started from outside" holds "$text" 'T was started from outside XyWrite'
  wait_for 10 ended
  local how
  for how in direct WAITHIDE HIDE; do
    rm -f "$T/VN/"*
    xy_send "run $(way "$how") T 11107B"
    got=$(dialog 30000); text=$(echo "$got" | sed -n 2p)
    if [ "$how" = HIDE ]; then
      check "T by HIDE: a host that does not wait, Ready" starts "$text" 'Ready.\n\n'
      check "... and says so" holds "$text" 'The host does not wait for the programs it starts'
    else
      check "T by $how: the host waits, and T says so" starts "$text" "XyWrite's host waits for the programs it starts."'\n'
      check "... the chord is answered once T has ended" wait_for 15 has_file VORNEL.CTL
    fi
    check "... T knows the host started it ($how)" holds "$text" 'started by the program whose window is in front'
    wait_for 20 xy_has "done run $(way "$how") T 11107B"
  done
  # A macro still busy after it started T (its wait for DOC.VRN) answers
  # late: the host does not wait, and T must not say it does.
  rm -f "$T/VN/"*
  xy 'limit 3'
  xy_send "step $(way HIDE) T 11107B"
  got=$(dialog 30000); text=$(echo "$got" | sed -n 2p)
  check "T from a busy macro: not blamed on the host" lacks "$text" 'host waits'

  check "... it says the macro was busy after it started T" holds "$text" 'busy after it started T'
  finish
}

# --- a day on the real host ----------------------------------------------------------

test_realhost_day() {
  begin realhost_day
  printf e1 > "$T/XY.TXT"
  dos_host
  vornel_bg 11107B 1 6
  wait_for 20 newest_is e1
  local n how texts=" e1 " loaded
  for n in 2 3 4 5 6 7 8 9; do
    set_text "e$n"; texts+="e$n "
    check "e$n filed" wait_for 20 newest_is "e$n"
    case $((n % 4)) in
      0) how=direct ;; 1) how=WAITHIDE ;; 2) how=HIDE ;; *) continue ;;
    esac
    [ "$how" = HIDE ] && xy "stepsave $(way "$how") U DOC" || { xy save; xy "run $(way "$how") K 6"; xy "step $(way "$how") U DOC"; }
    loaded=$(now_text)
    check "U by $how loads what DOC.DAT names" same "$loaded" "$(content "DOC.$(printf %03d "$(content DOC.DAT | cut -d' ' -f2)")")"
    xy "step $(way "$how") R DOC"
    check "R by $how loads what DOC.DAT names" same "$(now_text)" "$(content "DOC.$(printf %03d "$(content DOC.DAT | cut -d' ' -f2)")")"
  done
  set_text "the end"
  check "the last edit is filed" wait_for 20 newest_is "the end"
  stop_vornel
  local f prev="" bad=""
  for f in $(snapshots); do
    [[ "$texts the end " == *" $(content "$f") "* ]] || bad+=" $f:unknown"
    [ "$(content "$f")" != "$prev" ] || bad+=" $f:unchanged"
    prev=$(content "$f")
  done
  check "every snapshot is a text the document had, none filed twice in a row" same "$bad" ""
  check "the depth (6) held" test "$(snapshots | wc -w)" -le 6
  check "no step failed" same "$(xy_log | grep -cE '^(start failed|no VRN|write failed)')" 0
  finish
}

test_realhost() {
  if [ ! -f "$VDOSPLUS" ]; then
    echo "== real DOS host: SKIPPED, no vDosPlus at $VDOSPLUS (set VORNEL_VDOSPLUS; see README.md, \"Testing against a real DOS host\")"
    return
  fi
  test_realhost_chord
  test_realhost_winkey_off
  test_realhost_watch
  test_realhost_steps
  test_realhost_chord_while_waiting
  test_realhost_setup_check
  test_realhost_day
}
