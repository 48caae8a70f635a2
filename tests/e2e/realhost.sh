# The real chain: vornel.exe against vDosPlus, a DOS host XyWrite users run,
# with tools/dosxy's XY.COM as the DOS program inside it. Sourced by run.sh;
# `run.sh <build> <wine> realhost` runs these cases.
#
# vDosPlus is a test dependency found at a path, never part of the project:
# VORNEL_VDOSPLUS names the exe, else ../shared/hosts/vdosplus/vDosPlus64.exe
# beside the project.
VDOSPLUS=${VORNEL_VDOSPLUS:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/../shared/hosts/vdosplus/vDosPlus64.exe}
# DOSBox-X likewise, xz-packed: VORNEL_DOSBOXX, else ../shared/hosts/dosbox-x/;
# unpacked into the build tree, never beside the packed one.
DOSBOXX_XZ=${VORNEL_DOSBOXX:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/../shared/hosts/dosbox-x/dosbox-x.exe.xz}
HOST=vdosplus  # the host dos_host starts: vdosplus or dosboxx

# dos_host [setting...]: the host set up as the README tells a user (its
# title begins with XyWrite, DOS has a drive D: onto Vornel's folder), with
# XY.COM started by its AUTOEXEC; waits until XY.COM runs, in front. A
# setting is a line of vDosPlus's CONFIG.TXT (KEYMODE=1), or for DOSBox-X
# section.name=value (dos.startquiet=true). XYARGS=/9 makes XY.COM hook INT 9,
# as XyWrite does; XYAGAIN=1 starts a plain XY.COM once the first has ended.
dos_host() {
  mkdir -p "$T/host"
  cp "$TOOLS/XY.COM" "$T/XY.COM"
  [ -f "$T/XY.TXT" ] || printf 'text' > "$T/XY.TXT"
  local again=""; [ -n "${XYAGAIN:-}" ] && again=$'XY\r\n'
  if [ "$HOST" = dosboxx ]; then
    dosboxx_conf "$@" > "$T/host/xy.conf"
    printf '[autoexec]\r\nmount D "%s"\r\nD:\r\nXY %s\r\n%sexit\r\n' "$(winpath "$T")" "${XYARGS:-}" "$again" \
      >> "$T/host/xy.conf"
    (cd "$T/host" && exec "$WINE" "$DOSBOXX" -nopromptfolder -fastlaunch -conf xy.conf >/dev/null 2>&1) & HOSTPID=$!
  else
    { printf 'TITLE=XyWrite - DOC\r\n'; local line; for line in "$@"; do printf '%s\r\n' "$line"; done; } > "$T/host/config.txt"
    printf 'USE D: %s\\\r\nD:\r\nXY %s\r\n%sEXIT\r\n' "$(winpath "$T")" "${XYARGS:-}" "$again" > "$T/host/autoexec.txt"
    (cd "$T/host" && exec "$WINE" "$VDOSPLUS" >/dev/null 2>&1) & HOSTPID=$!
  fi
  PIDS+=($HOSTPID)
  wait_for 30 xy_has started || echo "     the DOS host never ran XY.COM"
  local w; w=$(xdotool search --name '^XyWrite' 2>/dev/null | head -1)
  [ -n "$w" ] && xdotool windowfocus "$w" 2>/dev/null; sleep 0.3
}

# DOSBox-X's settings as the README gives them, each section.name=value
# given replacing or adding to them: a Windows program started from DOS
# (startcmd), arguments left as DOS wrote them (starttranspath).
dosboxx_conf() {
  local settings=(sdl.output=surface dosbox.title=XyWrite dos.startcmd=true dos.starttranspath=false "$@")
  local section setting seen=""
  for setting in "${settings[@]}"; do
    section=${setting%%.*}
    [[ " $seen " == *" $section "* ]] && continue
    seen+=" $section"
    printf '[%s]\r\n' "$section"
    local s key; declare -A last=()
    for s in "${settings[@]}"; do
      [ "${s%%.*}" = "$section" ] || continue
      key=${s#*.}; last[${key%%=*}]=${key#*=}
    done
    for key in "${!last[@]}"; do printf '%s=%s\r\n' "$key" "${last[$key]}"; done
  done
}

# host_begin <case>: begin, the case named for the host it runs on
# (realhost_dosboxx_... on DOSBox-X).
host_begin() { if [ "$HOST" = dosboxx ]; then begin "realhost_dosboxx_${1#realhost_}"; else begin "$1"; fi; }

# XY.LOG without its DOS times, one line a step; xy_times keeps them.
xy_log() { tr -d "\r" 2>/dev/null < "$T/XY.LOG" | cut -d' ' -f2-; }
xy_times() { tr -d "\r" 2>/dev/null < "$T/XY.LOG"; }
xy_has() { xy_log | grep -qxF -- "$1"; }
xy_keys() { xy_log | sed -n 's/^key \([0-9A-F]*\) .*/\1/p' | tr '\n' ' ' | sed 's/ $//'; }
# The codes XY.COM's INT 9 handler read at port 60h, in order.
xy_scans() { xy_log | sed -n 's/^scan \([0-9A-F]*\)$/\1/p' | tr '\n' ' ' | sed 's/ $//'; }
# repeat <n> <text>: the text n times, space-separated.
repeat() { local i out=""; for ((i = 0; i < $1; i++)); do out+="$2 "; done; echo "${out% }"; }
xy_count() { xy_log | grep -cxF -- "$1"; }
# xy_send <command>: hands XY.COM a command (whole, by a rename); xy waits until it is done.
xy_send() { printf '%s' "$1" > "$T/XY.CM_" && mv "$T/XY.CM_" "$T/XY.CMD"; }
xy() {
  local before; before=$(xy_count "done $1")
  xy_send "$1"
  wait_for "${2:-30}" test_more "done $1" "$before" || echo "     XY.COM did not do: $1"
}
lacks() { [[ "$1" != *"$2"* ]] || { echo "     [$2] should not stand in [$1]"; return 1; }; }
# xy_ms <command>: xy, timed from outside; prints the milliseconds it took.
xy_ms() {
  local before t0 i; before=$(xy_count "done $1"); t0=$(date +%s%3N)
  xy_send "$1"
  for ((i = 0; i < 1500; i++)); do test_more "done $1" "$before" && break; sleep 0.02; done
  echo $(( $(date +%s%3N) - t0 ))
}
test_more() { [ "$(xy_count "$1")" -gt "$2" ]; }
set_text() { printf '%s' "$1" > "$T/XY.TXT"; xy edit; }
now_text() { cat "$T/XY.NOW" 2>/dev/null; }
# way <direct|shell|WAITHIDE|HIDE>: how the macro starts vornel.exe: DOS
# EXEC of D:\VORNEL.EXE, the host's shell (COMSPEC /C D:\VORNEL.EXE), or
# vDosPlus's CMD with the exe's Windows path.
way() {
  local exe=${2:-VORNEL.EXE}
  case $1 in
    direct) echo "direct D:\\$exe" ;;
    shell) echo "shell D:\\$exe" ;;
    *) echo "$1 /C $(winpath "$T/$exe")" ;;
  esac
}
# ms <hh:mm:ss.cc>: milliseconds since midnight, from XY.LOG's DOS clock.
ms() { local h m s; IFS=: read -r h m s <<< "$1"; echo $(( (10#$h * 3600 + 10#$m * 60) * 1000 + 10#${s%.*} * 1000 + 10#${s#*.} * 10 )); }
# line_ms <pattern> [after]: the DOS time of the first log line matching it
# (after the first line matching <after>, when given), in ms.
line_ms() {
  ms "$(xy_times | awk -v p=" $1" -v a="${2:+ $2}" 'a == "" || seen { if (index($0, p)) { print $1; exit } } a != "" && index($0, a) { seen = 1 }')"
}
# Q ends watch mode between two passes: a kill could cut a chord in two.
quit_watch() { vornel Q; wait_for 10 ended || stop_vornel; sleep 0.3; }
saves_at_least() { [ "$(xy_count saved)" -ge "$1" ]; }

# --- the title and the chord -------------------------------------------------

test_realhost_chord() {
  host_begin realhost_chord
  dos_host
  xy_send save
  wait_for 10 has_file VORNEL.CTL
  local seen; seen=$(date +%H:%M:%S.%N | cut -c1-11)
  wait_for 10 xy_has "done save"
  echo "   measured: VORNEL.CTL seen on the Windows side $(( $(ms "$seen") - $(line_ms saved) )) ms after XY.COM logged the save it had closed (polled every 100 ms)"
  check "the DOS program's files are on the Windows side when its save has closed them" \
    bash -c "[ -f '$T/VN/DOC.BAK' ] && [ -f '$T/VN/VORNEL.CTL' ]"
  check "... VORNEL.CTL holds the name and a Ctrl-Z" same "$(content VORNEL.CTL | od -An -c | tr -s ' ')" " D O C 032"
  finish
  realhost_keys int16
  if [ "$HOST" = vdosplus ]; then
    realhost_keys int9 KEYMODE=2
    realhost_keys int9 KEYMODE=1
  else
    realhost_keys int9
  fi
}

# realhost_keys <int16|int9> [config...]: the chords as the DOS program reads
# them, by INT 16h alone or (int9) through its own INT 9 hook as XyWrite
# does, under the given KEYMODE. T types exactly one chord; watch mode then
# types one a pass: every chord is its keys' make and break codes, in order,
# and one key read, the chord's, and one save.
realhost_keys() {
  local path=$1; shift
  local xyargs=""; [ "$path" = int9 ] && xyargs=/9
  local what="$path${1:+ $1}"
  host_begin "realhost_keys_${path}_${1:-}"
  XYARGS=$xyargs dos_host "$@"
  vornel_bg T 11107B
  check "T by $what: Ready" starts "$(dialog 25000 | sed -n 2p)" 'Ready.'
  check "... its one chord is one key read, Ctrl+F12 (8A00)" same "$(xy_keys)" 8A00
  [ "$path" = int9 ] && check "... reaching INT 9 as Ctrl, Shift, F12 made and broken, in order" \
    same "$(xy_scans)" "1D 2A 58 D8 AA 9D"
  check "... and one save" same "$(xy_count saved)" 1
  wait_for 10 ended
  rm -f "$T/VN/"*; : > "$T/XY.LOG"
  vornel_bg 11107B 1 5
  check "watch mode by $what files the save" wait_for 20 has_file DOC.001
  wait_for 20 saves_at_least 4
  quit_watch
  local n; n=$(xy_count saved)
  echo "   measured: $what: XY.COM read $(xy_log | grep -E '^(key|scan)' | cut -d' ' -f2 | tr '\n' ' ')"
  check "... every chord is one key read, 8A00, and one save ($n)" same "$(xy_keys)" "$(repeat "$n" 8A00)"
  [ "$path" = int9 ] && check "... every chord reached INT 9 whole, nothing else" \
    same "$(xy_scans)" "$(repeat "$n" "1D 2A 58 D8 AA 9D")"
  local key saved; key=$(line_ms 'key 8A00'); saved=$(line_ms saved 'key 8A00')
  check "... the save is done within the pass's 1.5 s ($((saved - key)) ms after the key was read)" \
    test "$key" -le "$saved" -a $((saved - key)) -lt 500
  finish

  local caps scans
  for caps in off on; do
    host_begin "realhost_letter_${path}_${1:-}_caps_$caps"
    XYARGS=$xyargs dos_host "$@"
    xy 'trig 1E01'
    [ "$caps" = on ] && { xdotool key Caps_Lock; sleep 0.5; }
    : > "$T/XY.LOG"
    vornel_bg 111041 1 5
    check "Ctrl+Shift+A by $what (Caps Lock $caps) files the save" wait_for 20 has_file DOC.001
    wait_for 20 saves_at_least 2
    quit_watch
    n=$(xy_count saved)
    check "... every chord is one key read, 1E01 (Ctrl+A's), and one save ($n)" same "$(xy_keys)" "$(repeat "$n" 1E01)"
    # Under Caps Lock Vornel leaves Shift out before a letter.
    [ "$caps" = on ] && scans="1D 1E 9E 9D" || scans="1D 2A 1E 9E AA 9D"
    [ "$path" = int9 ] && check "... every chord reached INT 9 whole ($scans)" \
      same "$(xy_scans)" "$(repeat "$n" "$scans")"
    check "... and Caps Lock is as the user left it ($caps)" \
      same "$(xy_log | sed -n 's/^key 1E01 ..\(.\).$/\1/p' | sort -u | sed 's/[4-7CDEF]/on/;s/[0-389AB]/off/')" "$caps"
    [ "$caps" = on ] && xdotool key Caps_Lock
    finish
  done
}

# XY.COM gives INT 9 back as it ends: the next program, loaded where its
# handler was, reads the chord as ever. A vector left behind would send the
# next key into whatever that program keeps there.
started_twice() { [ "$(xy_count started)" -ge 2 ]; }
test_realhost_int9_given_back() {
  host_begin realhost_int9_given_back
  XYARGS=/9 XYAGAIN=1 dos_host "${RECOMMENDED[@]}"
  xy_send quit
  check "the hooking XY.COM ends, and a plain one starts" wait_for 20 started_twice
  : > "$T/XY.LOG"
  vornel_bg T 11107B
  check "... which reads the chord as Ctrl+F12 and saves: Ready" starts "$(dialog 25000 | sed -n 2p)" 'Ready.'
  check "... one key, and no code logged by a handler that is gone" same "$(xy_keys) $(xy_scans)" "8A00 "
  finish
}

# WINKEY=OFF: vDosPlus keeps Ctrl+A (and C, V, N, S) without Shift for
# itself, Windows key or not; a chord on one of them never reaches XyWrite,
# and T says so. Ctrl+Shift+A gets through.
test_realhost_winkey_off() {
  host_begin realhost_winkey_off
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

# realhost_watch <name> <edits> [config...]: watch mode files each of the
# DOS program's edits once, in order, the depth held. XYARGS as for dos_host.
realhost_watch() {
  local name=$1 edits=$2; shift 2
  host_begin "realhost_watch_$name"
  printf e1 > "$T/XY.TXT"
  dos_host "$@"
  vornel_bg 11107B 1 3
  check "the first save is filed" wait_for 20 newest_is e1
  local e n
  for ((n = 2; n <= edits; n++)); do
    e=e$n
    set_text "$e"
    check "the edit $e is filed" wait_for 20 newest_is "$e"
    [ "$n" -gt 5 ] && sleep $((n % 3 * 4))  # edits between passes and while the user pauses
  done
  check "each edit once, in order, the depth (3) held" \
    same "$(for f in $(snapshots); do printf '%s=%s ' "${f#DOC.}" "$(content "$f")"; done)" \
    "$(printf '%03d=e%d ' $((edits - 2)) $((edits - 2)) $((edits - 1)) $((edits - 1)) "$edits" "$edits")"
  local saves; saves=$(xy_count saved)
  check "... the DOS program goes on saving" wait_for 20 saves_at_least $((saves + 3))
  check "saves of an unchanged document file nothing" same "$(snapshots)" \
    "$(printf 'DOC.%03d DOC.%03d DOC.%03d' $((edits - 2)) $((edits - 1)) "$edits")"
  check "... and leave no transfer file behind" wait_for 5 bash -c "! ls '$T/VN' | grep -qi bak"
  quit_watch
  check "... every key read was the chord's" same "$(xy_keys | tr ' ' '\n' | sort -u)" 8A00
  [ -n "${XYARGS:-}" ] && check "... and reached INT 9 whole" \
    same "$(xy_scans)" "$(repeat "$(xy_count saved)" "1D 2A 58 D8 AA 9D")"
  finish
}

test_realhost_watch() {
  realhost_watch int16 5
  # The INT 9 path, with the setting its makers recommend for XyWrite on
  # vDosPlus, a few minutes of edits.
  if [ "$HOST" = vdosplus ]; then XYARGS=/9 realhost_watch int9_KEYMODE1 14 KEYMODE=1; else XYARGS=/9 realhost_watch int9 5; fi
}

# --- U and R started from the DOS side -----------------------------------------------

# realhost_steps <way> <protocol> <filed> <U> <U again> <R>: snapshots v1..v3,
# the document edited to "the edit", then the step macro from the DOS side;
# what it loads each time, and whether the edit is filed first (as 004).
# Protocols: before (save, then U: the README's), after (U, then save, on a
# host that does not wait), K (save, K, U), none (U alone). The first U of
# the README's protocol is timed from outside (the DOS clock can stand still
# while a host waits), beside the second.
realhost_steps() {
  local how=$1 protocol=$2 filed=$3 first=$4 second=$5 forward=$6 took again
  host_begin "realhost_steps_${how}_$protocol"
  put_snapshots 1 3
  printf 'the edit' > "$T/XY.TXT"
  dos_host
  case $protocol in
    K) xy save; xy "run $(way "$how") K 20"; xy "step $(way "$how") U DOC" ;;
    none) xy "step $(way "$how") U DOC" ;;
    before) xy save; took=$(xy_ms "step $(way "$how") U DOC") ;;
    after) xy "stepsave $(way "$how") U DOC" ;;
  esac
  check "U by $how ($protocol): the edit filed first: $filed" \
    same "$(content DOC.004)" "$([ "$filed" = yes ] && echo 'the edit')"
  check "... the DOS program loads $first" same "$(now_text)" "$first"
  again=$(xy_ms "step $(way "$how") U DOC")
  check "... a second U loads $second" same "$(now_text)" "$second"
  if [ "$protocol" = before ]; then
    echo "   measured: save, then U by $how: the first U $took ms, the second $again ms, from the command to the load"
    check "... the first U does not wait out the pause for a save that has come ($took ms)" test "$took" -lt 1000
  fi
  xy "step $(way "$how") R DOC"
  check "... R loads $forward" same "$(now_text)" "$forward"
  check "... the host ran every start" same "$(xy_log | grep -c '^start failed')" 0
  finish
}

# Save, then U, files the edit and steps back from it to the version before
# it (v3), in every start way; K first does no better, and without a save the
# edit is in no snapshot and U steps back from v3.
test_realhost_steps() {
  local how
  for how in "${WAYS[@]}"; do realhost_steps "$how" before yes v3 v2 v3; done
  [ "$HOST" = vdosplus ] && realhost_steps HIDE after yes v3 v2 v3
  realhost_steps direct K yes v3 v2 v3
  realhost_steps direct none no v2 v1 v2
}

# A chord typed while the host waits for a U: the host keeps it, and the DOS
# program reads it once U has ended and the macro has loaded DOC.VRN.
test_realhost_chord_while_waiting() {
  local how
  for how in "${WAITING_WAYS[@]}"; do
    host_begin "realhost_chord_while_$how"
    put_snapshots 1 3
    printf v4 > "$T/XY.TXT"
    dos_host
    vornel_bg 11107B 1 20
    check "watch mode files the document ($how)" wait_for 20 newest_is v4
    : > "$T/XY.LOG"
    xy_send "step $(way "$how") U DOC"
    wait_for 10 xy_has "starting $(way "$how") U DOC"
    sleep 0.4; xdotool key shift+F2
    wait_for 20 xy_has "done step $(way "$how") U DOC"
    check "U steps back from the newest ($how)" same "$(now_text)" v3
    wait_for 5 bash -c "grep -q ' key 5500 ' '$T/XY.LOG'"
    check "the key typed while the host waited (Shift+F2) is read once, after U ended and the load" \
      same "$(xy_log | grep -E '^(ended|loaded|key 5500)( |$)' | cut -d' ' -f1 | tr '\n' ' ')" "ended loaded key "
    check "... its save is the document as loaded, filed as the newest" wait_for 20 newest_is v3
    check "... and nothing else was filed" \
      same "$(for f in $(snapshots); do content "$f"; echo -n ' '; done)" "v1 v2 v3 v4 v3 "
    finish
  done
}

# --- vornel T, from outside and from the DOS side -------------------------------------

test_realhost_setup_check() {
  host_begin realhost_t
  dos_host
  vornel_bg T 11107B
  local got text; got=$(dialog 25000); text=$(echo "$got" | sed -n 2p)
  check "T from outside: Ready" starts "$text" 'Ready.\n\n'
  check "... with the host's title" holds "$text" "XyWrite is in front: \"$TITLE"
  check "... started from outside" holds "$text" 'T was started from outside XyWrite'
  wait_for 10 ended
  local how
  for how in "${WAYS[@]}"; do
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
  [ "$HOST" = vdosplus ] || { finish; return; }
  rm -f "$T/VN/"*
  xy 'limit 6'
  xy_send "step $(way HIDE) T 11107B"
  got=$(dialog 30000); text=$(echo "$got" | sed -n 2p)
  check "T from a busy macro: not blamed on the host" lacks "$text" 'host waits'

  check "... it says the macro was busy after it started T" holds "$text" 'busy after it started T'
  finish
}

# --- the exit code, as the DOS side sees it ------------------------------------

# A Windows program's exit code (the stand-in window's 2, for too few
# arguments) as INT 21h AH=4Dh gives it to the DOS program that started it.
# vornel.exe always ends with 0: a macro can learn nothing from it.
test_realhost_errorlevel() {
  host_begin realhost_errorlevel
  cp "$TOOLS/standin.exe" "$T/SI.EXE"
  dos_host
  local how got=""
  for how in "${WAYS[@]}"; do
    xy "run $(way "$how" SI.EXE)"
    got+="$how=$(xy_log | sed -n 's/^ended //p' | tail -1) "
  done
  check "the exit code that reaches the DOS side, by start way" same "$got" "$EXIT_CODES"
  finish
}

# --- a day on the real host ----------------------------------------------------------

test_realhost_day() {
  host_begin realhost_day
  printf e1 > "$T/XY.TXT"
  dos_host
  vornel_bg 11107B 1 6
  wait_for 20 newest_is e1
  local n how texts=" e1 " loaded
  for n in 2 3 4 5 6 7 8 9; do
    set_text "e$n"; texts+="e$n "
    check "e$n filed" wait_for 20 newest_is "e$n"
    how=${WAYS[$((n % 4))]:-}
    [ -n "$how" ] || continue
    [ "$how" = HIDE ] && xy "stepsave $(way "$how") U DOC" || { xy save; xy "step $(way "$how") U DOC"; }
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

# --- DOSBox-X's own ------------------------------------------------------------

ended_by_host() { xy_log | grep -q '^ended '; }
screen_lacks() { ! screen_has "$1"; }
screen_has() { xy screen; tr -d '\r' < "$T/XY.SCR" 2>/dev/null | grep -qF -- "$1"; }

test_realhost_dosboxx() {
  # Without startcmd DOSBox-X runs vornel.exe's DOS stub, which says why
  # and ends: nothing is stepped, and the macro waits for DOC.VRN in vain.
  host_begin realhost_startcmd_off
  put_snapshots 1 3
  dos_host dos.startcmd=false
  xy 'limit 2'
  xy "step $(way direct) U DOC"
  check "startcmd=false: vornel.exe does not run, nothing is stepped" \
    bash -c "[ ! -e '$T/VN/DOC.VRN' ] && [ ! -e '$T/VN/DOC.DAT' ]"
  check "... the macro's wait for DOC.VRN runs out" xy_has "no VRN"
  check "... and the user sees the stub's words on XyWrite's screen" screen_has 'This program cannot be run in DOS mode.'
  finish

  # startquiet: off by default, DOSBox-X writes over XyWrite's screen at
  # every start of a Windows program.
  local quiet
  for quiet in false true; do
    host_begin "realhost_startquiet_$quiet"
    put_snapshots 1 3
    dos_host "dos.startquiet=$quiet"
    xy "step $(way direct) U DOC"
    check "startquiet=$quiet: the step is done" same "$(now_text)" v2
    if [ "$quiet" = false ]; then
      check "... and DOSBox-X's words are on XyWrite's screen" screen_has 'Now run it as a Windows application'
    else
      check "... and nothing of DOSBox-X's is on XyWrite's screen" screen_lacks 'Windows application'
    fi
    finish
  done

  # The macro's look for DOC.VRN, which Vornel writes on the Windows side,
  # through DOSBox-X's cache of the mounted folder: with a host that waits,
  # and with one that does not (the macro polls), with and without nocachedir.
  local wait cache
  for wait in true false; do
    for cache in default dosbox.nocachedir=true; do
      host_begin "realhost_cache_startwait_${wait}_${cache%%=*}"
      put_snapshots 1 3
      local settings=("dos.startwait=$wait"); [ "$cache" = default ] || settings+=("$cache")
      dos_host "${settings[@]}"
      xy 'limit 5'
      xy "step $(way direct) U DOC"
      echo "   measured: startwait=$wait, $cache: the macro $(now_text | grep -q v2 && echo 'loaded DOC.VRN' || echo 'never saw DOC.VRN')"
      check "startwait=$wait, $cache: the macro finds DOC.VRN by its name" same "$(now_text)" v2
      finish
    done
  done

  # Ctrl+C while DOSBox-X waits for a U ends vornel.exe (XY.COM, as a word
  # processor would, is not ended by it): a U that waits for its turn
  # (another run holds VN\) is ended before it touches a file.
  host_begin realhost_ctrl_c
  put_snapshots 1 3
  printf '2 3' > "$T/VN/DOC.DAT"
  dos_host
  xy 'limit 3'
  holder "$(winpath "$T/VN")\\"
  xy_send "step $(way direct) U DOC"
  wait_for 10 xy_has "starting $(way direct) U DOC"
  sleep 2
  local w; for w in $(xdotool search --name '^XyWrite' 2>/dev/null); do xdotool windowfocus "$w" 2>/dev/null; done
  sleep 0.3; xdotool key ctrl+c
  check "Ctrl+C during the wait ends vornel.exe, and the macro goes on" wait_for 10 ended_by_host
  kill "$HPID" 2>/dev/null; wait "$HPID" 2>/dev/null
  check "... no snapshot or DOC.DAT lost or half-written, no DOC.VRN made" \
    same "$(for f in $(snapshots) DOC.DAT DOC.VRN DOC.VN~; do content "$f"; echo -n ' '; done)" "v1 v2 v3 2 3   "
  vornel U DOC  # from Windows: the stand-in's own wait for DOC.VRN goes on
  check "... and the next U steps" same "$(content DOC.VRN) $(content DOC.DAT)" "v2 2 2"
  finish

  # nocachedir is a setting of [dosbox]: DOSBox-X's own CONFIG -GET says
  # which section holds it, and that one set in [dos] is not taken.
  local section
  for section in dos dosbox; do
    host_begin "realhost_nocachedir_in_$section"
    mkdir -p "$T/host"
    dosboxx_conf "$section.nocachedir=true" > "$T/host/xy.conf"
    printf '[autoexec]\r\nmount D "%s"\r\nconfig -get "dosbox nocachedir" > D:\\GOT.TXT\r\nexit\r\n' \
      "$(winpath "$T")" >> "$T/host/xy.conf"
    (cd "$T/host" && exec "$WINE" "$DOSBOXX" -nopromptfolder -fastlaunch -conf xy.conf >/dev/null 2>&1) & PIDS+=($!)
    wait_for 30 test -s "$T/GOT.TXT"
    check "nocachedir=true in [$section]: DOSBox-X's nocachedir is $([ "$section" = dosbox ] && echo on || echo off)" \
      same "$(tr -d '\r\n' < "$T/GOT.TXT" 2>/dev/null)" "$([ "$section" = dosbox ] && echo true || echo false)"
    finish
  done
}

# use_host <vdosplus|dosboxx>: the host the cases run against, and what they
# need to know of it: its title, the ways its macro starts vornel.exe (those
# that wait first), and the settings its README section recommends.
use_host() {
  HOST=$1
  if [ "$HOST" = dosboxx ]; then
    TITLE="XyWrite - DOSBox-X "; WAYS=(direct shell); WAITING_WAYS=(direct shell); RECOMMENDED=()
    EXIT_CODES="direct=0002 shell=0000 "  # the shell's own code, not the program's
  else
    TITLE="XyWrite - DOC\"."; WAYS=(direct WAITHIDE HIDE); WAITING_WAYS=(direct WAITHIDE); RECOMMENDED=(KEYMODE=1)
    EXIT_CODES="direct=0002 WAITHIDE=0000 HIDE=0000 "  # CMD's own code
  fi
}
use_host vdosplus

# The same cases on each host that is here; each host's own after them.
test_realhost() {
  if [ ! -f "$TOOLS/XY.COM" ]; then
    echo "== real DOS hosts: SKIPPED, no XY.COM in $TOOLS (it is built where nasm is installed)"
    return
  fi
  local host
  for host in vdosplus dosboxx; do
    if [ "$host" = vdosplus ] && [ ! -f "$VDOSPLUS" ]; then
      echo "== vDosPlus: SKIPPED, none at $VDOSPLUS (set VORNEL_VDOSPLUS; see README.md, \"Testing against a real DOS host\")"
      continue
    fi
    if [ "$host" = dosboxx ]; then
      if [ ! -f "$DOSBOXX_XZ" ]; then
        echo "== DOSBox-X: SKIPPED, none at $DOSBOXX_XZ (set VORNEL_DOSBOXX; see README.md, \"Testing against a real DOS host\")"
        continue
      fi
      DOSBOXX=$BUILD/hosts/dosbox-x.exe
      [ "$DOSBOXX" -nt "$DOSBOXX_XZ" ] || { mkdir -p "$BUILD/hosts" && xz -dc "$DOSBOXX_XZ" > "$DOSBOXX"; }
    fi
    echo "== on $host"
    use_host "$host"
    test_realhost_chord
    test_realhost_int9_given_back
    test_realhost_watch
    test_realhost_steps
    test_realhost_chord_while_waiting
    test_realhost_setup_check
    test_realhost_errorlevel
    test_realhost_day
    if [ "$host" = vdosplus ]; then test_realhost_winkey_off; else test_realhost_dosboxx; fi
  done
  use_host vdosplus
}
