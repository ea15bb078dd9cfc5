#!/usr/bin/env bash
# End-to-end scenarios of the launcher under Wine, on the X session that x_session.sh brought
# up. Every launcher run goes through raw_launch, so that the launcher sees exactly the
# command-line text written here. Each scenario asserts exit status, timing bounds and what
# the game received, and prints every failed check.
#
#   scenarios.sh <scenario>
# Environment: ORV_LAUNCHER (the built orvstart.exe), ORV_TEST_BIN (folder of the test
# programs), ORV_STATE (state folder of x_session.sh), ORV_SESSION (xvfb or xorg).
set -uo pipefail

scenario=$1
# shellcheck disable=SC1090
. "$ORV_STATE/$ORV_SESSION.env" || { echo "no $ORV_SESSION session is up" >&2; exit 1; }
export DISPLAY=$ORV_DISPLAY WINEPREFIX=$ORV_WINEPREFIX WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

# Where 32-bit programs run under qemu's emulator, every Windows process of a scenario starts
# and draws several times slower, and much more so on a loaded machine (seen: 19 s for a run
# of 8 s natively). Upper time bounds and waits get this much more room; lower bounds stay as
# they are, since they are the launcher's own waits. Every bound that a missed reply or game
# signal would break stays below the 30 s that the launcher would then wait.
# shellcheck source=scripts/i386-support
. "$(dirname "$0")/../../scripts/i386-support"
if [ "$(i386_way)" = emulated ]; then slack_ms=20000; else slack_ms=0; fi

work="$ORV_STATE/work/$scenario"
rm -rf "$work"
mkdir -p "$work"
failures=0
background_pids=()

cleanup() {
    local pid
    for pid in "${background_pids[@]}"; do kill "$pid" 2>/dev/null; done
}
trap cleanup EXIT

fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

expect_eq() {  # <what> <actual> <expected>
    if [ "$2" == "$3" ]; then echo "ok: $1"; else fail "$1: got [$2], expected [$3]"; fi
}

expect_between() {  # <what> <value> <low> <high>: a time in ms, with the slack above <high>
    local high=$(($4 + slack_ms))
    if [ "$2" -ge "$3" ] && [ "$2" -le "$high" ]; then
        echo "ok: $1 ($2 in $3..$high)"
    else
        fail "$1: $2 not in $3..$high"
    fi
}

expect_absent() {  # <what> <path>
    if [ -e "$2" ]; then fail "$1: $2 exists"; else echo "ok: $1"; fi
}

now_ms() { date +%s%3N; }

# Wine sees the whole Linux file system as drive Z:.
win_path() { local p="Z:$1"; echo "${p//\//\\}"; }

run_wine() { wine "$ORV_TEST_BIN/$1" "${@:2}"; }

# The probe's output, without the carriage returns of Windows line ends.
probe() { run_wine orvstart_probe.exe "$@" | tr -d '\r'; }

# A line of a test program's output that begins with <start>, without its carriage return.
line_of() { grep "^$2" "$1" | tr -d '\r'; }  # <file> <start>

wait_for_text() {  # <file> <text> <timeout ms>; true when the file holds the text
    local deadline=$(($(now_ms) + $3 + slack_ms))
    until grep -q "$2" "$1" 2>/dev/null; do
        [ "$(now_ms)" -lt "$deadline" ] || return 1
        sleep 0.02
    done
}

# Copies the launcher as <folder>/<name> and the test game as <folder>/game.exe. With a
# delay, the game sets the game event that many milliseconds after it starts.
install() {  # <folder> <name> [signal delay ms]
    mkdir -p "$1"
    cp "$ORV_LAUNCHER" "$1/$2"
    cp "$ORV_TEST_BIN/orvstart_fake_game.exe" "$1/game.exe"
    if [ $# -ge 3 ]; then echo "$3" > "$1/game.exe.signal"; fi
}

wait_for_file() {  # <path> <timeout ms>; true when it appeared
    local deadline=$(($(now_ms) + $2 + slack_ms))
    until [ -e "$1" ]; do
        [ "$(now_ms)" -lt "$deadline" ] || return 1
        sleep 0.02
    done
}

# Starts the reply sender in the background and waits until its starter event exists.
start_sender() {  # <output file> <class> <sender arguments...>
    run_wine orvstart_reply_sender.exe "${@:2}" > "$1" 2>&1 &
    background_pids+=($!)
    wait_for_text "$1" ready 10000 || { fail "reply sender did not start"; return 1; }
}

# Runs the launcher at <path> with the exact command-line text, from folder <cwd>, in the
# background. Its exit status goes to <prefix>.exit, its standard error to <prefix>.err, the
# times of start and end (ms) to <prefix>.start and <prefix>.end.
launch() {  # <prefix> <cwd> <path> <command-line text>
    local prefix=$1 cwd=$2 exe=$3 text=$4
    rm -f "$prefix".*
    mkdir -p "$cwd"
    now_ms > "$prefix.start"
    (
        cd "$cwd" || exit
        run_wine orvstart_raw_launch.exe "$(win_path "$exe")" "$text" \
            > "$prefix.out" 2> "$prefix.err" < /dev/null
        echo $? > "$prefix.exit.part"
        now_ms > "$prefix.end"
        mv "$prefix.exit.part" "$prefix.exit"
    ) &
    background_pids+=($!)
}

finish() {  # <prefix> <timeout ms>: waits for a launch; prints its duration in ms
    if ! wait_for_file "$1.exit" "$2"; then
        fail "launcher $1 still running after $2 ms"
        echo -1
        return
    fi
    echo $(($(cat "$1.end") - $(cat "$1.start")))
}

game_line() { sed -n "${2}p" "$1/game.exe.txt" 2>/dev/null; }  # <folder> <line number>

display1='\\.\DISPLAY1'
display2='\\.\DISPLAY2'
tab=$'\t'

# Reply, then game signal: the game gets every argument, separator-holding ones quoted, and
# the launcher ends about 2 s after the signal. Also the full-screen window over the one Xvfb
# monitor, with the cursor hidden. The launcher's folder holds a space, so its own path comes
# quoted and so does the game's.
scenario_handshake() {
    local bin="$work/game folder" cwd="$work/cwd"
    install "$bin" orvstart.exe 1000
    start_sender "$work/sender.out" orvstart 0 || return
    launch "$work/run" "$cwd" "$bin/orvstart.exe" \
        "\"$(win_path "$bin")\\orvstart.exe\" game.exe $display1 \"two words\" \"tab${tab}here\" say\"hi  last"
    if wait_for_file "$bin/game.exe.txt" 10000; then
        expect_between "game started soon after the reply (ms)" \
            $(($(now_ms) - $(cat "$work/run.start"))) 0 5000
    else
        fail "game not started within 10 s"
    fi
    wait_for_file "$bin/game.exe.signalled" 10000 || fail "game did not signal"
    local signalled
    signalled=$(now_ms)
    local duration
    duration=$(finish "$work/run" 15000)
    expect_eq "exit status" "$(cat "$work/run.exit")" 0
    expect_between "end after the game's signal (ms)" $(($(cat "$work/run.end") - signalled)) \
        1800 4500
    expect_eq "game command line" "$(game_line "$bin" 1)" \
        "\"$(win_path "$bin")\\game.exe\" -display $display1 \"two words\" \"tab${tab}here\" say\"hi last"
    expect_eq "game folder" "$(game_line "$bin" 2)" "$(win_path "$cwd")"
    expect_eq "window seen by the sender" "$(line_of "$work/sender.out" window)" \
        "window rect=0,0,1024,768 visible=1 topmost=1 popup=1 monitor=$display1"
    expect_eq "cursor over the window" "$(line_of "$work/sender.out" cursor)" "cursor=hidden"
    expect_eq "standard error" "$(cat "$work/run.err")" ""
    echo "launcher ran $duration ms"
}

# A second launcher of the same file name, in another folder and letter case, ends at once
# with exit 1 and starts nothing; the first goes on. A copy under another name runs fully.
scenario_second_instance() {
    install "$work/a" Dup.exe 3000
    install "$work/b" DUP.EXE 0
    install "$work/c" other.exe 500
    start_sender "$work/a_sender.out" Dup 1 || return
    launch "$work/a" "$work/a" "$work/a/Dup.exe" "$(win_path "$work/a")\\Dup.exe game.exe $display1"
    wait_for_file "$work/a/game.exe.txt" 10000 || fail "first launcher's game not started"

    launch "$work/b" "$work/b" "$work/b/DUP.EXE" "$(win_path "$work/b")\\DUP.EXE game.exe window"
    local second
    second=$(finish "$work/b" 10000)
    expect_eq "second launcher's exit status" "$(cat "$work/b.exit")" 1
    expect_between "second launcher's run (ms)" "$second" 0 3000
    expect_absent "second launcher started no game" "$work/b/game.exe.txt"
    expect_eq "second launcher's standard error" "$(cat "$work/b.err")" ""

    start_sender "$work/c_sender.out" other 1 || return
    launch "$work/c" "$work/c" "$work/c/other.exe" "$(win_path "$work/c")\\other.exe game.exe window"
    local first other
    first=$(finish "$work/a" 20000)
    other=$(finish "$work/c" 20000)
    expect_eq "first launcher's exit status" "$(cat "$work/a.exit")" 0
    # The game event is shared by name: the other copy's game, signalling after 500 ms, may
    # release the first launcher's wait instead of its own. Either way it pauses 2 s.
    expect_between "first launcher's run (ms)" "$first" 2000 10000
    expect_eq "first launcher's window" "$(grep -c '^window rect=0,0,1024,768' "$work/a_sender.out")" 1
    expect_eq "other copy's exit status" "$(cat "$work/c.exit")" 0
    expect_between "other copy's run (ms)" "$other" 2000 10000
    expect_eq "other copy's game" "$(game_line "$work/c" 1)" \
        "\"$(win_path "$work/c")\\game.exe\" -display window"
}

# Display token "window", and no display token at all: a hidden window with no area that
# still takes the reply (the second of two), and the game gets "-display window". In the
# second run the window is closed from outside right after the reply, before the tear-down.
scenario_window_token() {
    local bin="$work/bin"
    install "$bin" win.exe 200
    local text close=""
    for text in "$(win_path "$bin")\\win.exe game.exe window" "$(win_path "$bin")\\win.exe game.exe"; do
        rm -f "$bin/game.exe.txt" "$bin/game.exe.signalled"
        echo "-- $text $close"
        start_sender "$work/sender.out" win 7 9 $close || return
        close=--close
        launch "$work/run" "$bin" "$bin/win.exe" "$text"
        local duration
        duration=$(finish "$work/run" 20000)
        expect_eq "exit status" "$(cat "$work/run.exit")" 0
        # Without the reply the first wait alone would last 30 s.
        expect_between "run (ms)" "$duration" 2000 8000
        expect_eq "window seen by the sender" "$(line_of "$work/sender.out" window)" \
            "window rect=0,0,0,0 visible=0 topmost=1 popup=1 monitor=$display1"
        expect_eq "game command line" "$(game_line "$bin" 1)" \
            "\"$(win_path "$bin")\\game.exe\" -display window"
    done
}

mode_of() {  # <"current"|"stored"> <probe modes line>
    sed -n "s/.*$1=\([^ ]*\).*/\1/p" <<< "$2"
}

# The stored mode of the display is its current mode during a full-screen run and the old
# stored mode again afterwards; the live mode never changes. With "window" nothing changes.
scenario_stored_mode() {
    # Wine resets the stored mode whenever its desktop restarts, which it does when no
    # windowed process is left: a window of our own keeps it up for the whole scenario.
    run_wine orvstart_probe.exe hold 120000 > "$work/hold.out" 2>&1 &
    background_pids+=($!)
    wait_for_text "$work/hold.out" holding 10000 || { fail "holding window not up"; return; }

    local before current other
    before=$(probe modes "$display1")
    current=$(mode_of current "$before")
    other=$(probe list-modes "$display1" | grep -vx "$current" | head -1)
    [ -n "$other" ] || { fail "the display offers only its current mode"; return; }
    local w h rest bpp hz
    IFS=x read -r w h rest <<< "$other"
    bpp=${rest%@*} hz=${rest#*@}
    probe store "$display1" "$w" "$h" "$bpp" "$hz" > /dev/null
    expect_eq "stored mode set for the test" "$(mode_of stored "$(probe modes "$display1")")" "$other"

    local token expected_during folder
    for token in "$display1" window; do
        echo "-- display token $token"
        if [ "$token" == window ]; then
            expected_during=$other folder="$work/window"
        else
            expected_during=$current folder="$work/full"
        fi
        install "$folder" stored.exe 1500
        start_sender "$work/sender.out" stored 1 || return
        launch "$work/run" "$work" "$folder/stored.exe" "$(win_path "$folder")\\stored.exe game.exe $token"
        wait_for_file "$folder/game.exe.txt" 10000 || fail "game not started"
        local during after
        during=$(probe modes "$display1")
        finish "$work/run" 20000 > /dev/null
        after=$(probe modes "$display1")
        expect_eq "exit status" "$(cat "$work/run.exit")" 0
        expect_eq "stored mode during the run" "$(mode_of stored "$during")" "$expected_during"
        expect_eq "stored mode after the run" "$(mode_of stored "$after")" "$other"
        expect_eq "live mode during the run" "$(mode_of current "$during")" "$current"
        expect_eq "live mode after the run" "$(mode_of current "$after")" "$current"
    done
    IFS=x read -r w h rest <<< "$current"
    probe store "$display1" "$w" "$h" "${rest%@*}" "${rest#*@}" > /dev/null
}

# Starts the closer of the launcher's message boxes in the background and waits until it runs.
start_box_closer() {  # <output file> <caption> <timeout ms> [hold ms]
    run_wine orvstart_box_closer.exe "${@:2}" > "$1" 2>&1 &
    background_pids+=($!)
    wait_for_text "$1" ready 10000 || { fail "box closer did not start"; return 1; }
}

# The text of the message box that the closer saw, without carriage returns.
box_text() { sed -n '/^box caption=/,/^closed/p' "$1" | sed '1d;$d' | tr -d '\r'; }

# Keeps a picture of the whole screen while a box is up, for a person to look at.
screenshot() {  # <name>
    mkdir -p "$ORV_STATE/screenshots"
    sleep 1.5  # the box is found before it is drawn
    import -display "$DISPLAY" -window root "$ORV_STATE/screenshots/$1.png" 2>/dev/null ||
        echo "note: no screenshot $1 (ImageMagick's import missing)"
}

# Each command-line failure: exit 2, its message in a message box (captioned with the
# launcher's name) and on standard error, and nothing else: no starter signal, no window, no
# game. (An empty command line cannot be given under Wine, which puts the program's name in its
# place; the unit tests cover it.)
scenario_bad_command_line() {
    local bin="$work/bin"
    install "$bin" bad.exe 0
    local launcher
    launcher="$(win_path "$bin")\\bad.exe"
    local cases=(
        "\"$launcher\" game.exe \"window|Missing terminating quote."
        "$launcher game.exe $display1 \"|Missing terminating quote."
        "C:\\games\\ game.exe $display1|Empty exe name.)"
        "\"$launcher\"|Missing game executable."
        "   |Missing game executable."
    )
    local entry shot=1
    for entry in "${cases[@]}"; do
        local text=${entry%|*} message=${entry##*|}
        echo "-- [$text]"
        start_sender "$work/watch.out" bad --watch-ms=1500 || return
        local watcher=${background_pids[-1]}
        # The bounds are wide: a box comes up slowly on a loaded machine. A launcher that hangs
        # is still caught, since nothing else would close its box.
        start_box_closer "$work/box.out" bad 60000 $((shot * 3000 + 500)) || return
        local closer=${background_pids[-1]}
        launch "$work/run" "$bin" "$bin/bad.exe" "$text"
        if [ "$shot" = 1 ] && wait_for_text "$work/box.out" "box up" 60000; then
            screenshot bad_command_line
            shot=0
        fi
        local duration
        duration=$(finish "$work/run" 60000)
        wait "$watcher" "$closer"
        cat "$work/run.err"
        expect_eq "exit status" "$(cat "$work/run.exit")" 2
        expect_eq "message box" "$(box_text "$work/box.out" | head -1)" \
            "The command line cannot be used: $message"
        expect_eq "standard error" "$(head -1 "$work/run.err" | tr -d '\r')" \
            "The command line cannot be used: $message"
        expect_between "run (ms)" "$duration" 0 10000
        expect_eq "starter event and window" "$(tail -1 "$work/watch.out" | tr -d '\r')" \
            "starter=quiet window=none"
        expect_absent "no game started" "$bin/game.exe.txt"
    done
}

# A game file that cannot be started (a misspelled name), with the window hidden and with it
# covering the display: the launcher puts its window away at once, then shows a message
# naming the file and the reason, and ends with exit 4 instead of waiting for a signal that
# will never come.
scenario_game_not_started() {
    local bin="$work/bin"
    install "$bin" nogame.exe
    local token
    for token in window "$display1"; do
        echo "-- display token $token"
        start_sender "$work/sender.out" nogame 1 || return
        start_box_closer "$work/box.out" nogame 60000 3000 || return
        local closer=${background_pids[-1]}
        launch "$work/run" "$bin" "$bin/nogame.exe" "$(win_path "$bin")\\nogame.exe gaem.exe $token"
        if wait_for_text "$work/box.out" "box up" 60000; then
            [ "$token" = window ] || screenshot game_not_started
        else
            fail "no message box within 60 s"
        fi
        local duration
        duration=$(finish "$work/run" 60000)
        wait "$closer"
        expect_eq "exit status" "$(cat "$work/run.exit")" 4
        # A launcher that waited for the game's signal would take 30 s more.
        expect_between "run (ms)" "$duration" 0 8000
        expect_eq "blanking window put away before the message" \
            "$(line_of "$work/box.out" "box caption=")" "box caption=nogame blanking=gone"
        expect_eq "message box" "$(box_text "$work/box.out" | head -3 | tr '\n' '|')" \
            "The game could not be started:|$(win_path "$bin")\\gaem.exe|The file was not found.|"
        expect_eq "standard error" "$(head -2 "$work/run.err" | tr -d '\r' | tr '\n' '|')" \
            "The game could not be started:|$(win_path "$bin")\\gaem.exe|"
    done
}

# Neither reply nor game signal: exit 0 after about 62 s. At the same time, a game that never
# signals, with a reply: exit 0 after about 32 s. Its reply sender sets the game event just
# before the reply; the launcher clears that stale signal before it starts the game, so the
# second wait lasts its full time.
scenario_slow() {
    install "$work/quiet" quiet.exe
    install "$work/stale" stale.exe
    start_sender "$work/stale_sender.out" stale 1 --stale-game-signal || return
    launch "$work/quiet" "$work/quiet" "$work/quiet/quiet.exe" \
        "$(win_path "$work/quiet")\\quiet.exe game.exe $display1"
    launch "$work/stale" "$work/stale" "$work/stale/stale.exe" \
        "$(win_path "$work/stale")\\stale.exe game.exe window"
    if wait_for_file "$work/quiet/game.exe.txt" 40000; then
        expect_between "quiet game started after the reply limit (ms)" \
            $(($(now_ms) - $(cat "$work/quiet.start"))) 29500 34000
    else
        fail "quiet launcher's game not started within 40 s"
    fi
    local stale quiet
    stale=$(finish "$work/stale" 50000)
    quiet=$(finish "$work/quiet" 50000)
    expect_eq "exit status without reply or signal" "$(cat "$work/quiet.exit")" 0
    expect_between "run without reply or signal (ms)" "$quiet" 61500 68000
    expect_eq "exit status with a game that never signals" "$(cat "$work/stale.exit")" 0
    expect_between "run with a stale game signal (ms)" "$stale" 31500 38000
    expect_eq "reply sent to the window" "$(grep -c '^window' "$work/stale_sender.out")" 1
}

# A monitor left of the primary one has negative coordinates; the window covers exactly it.
scenario_negative_monitor() {
    local bin="$work/bin"
    install "$bin" orvstart.exe 300
    expect_eq "monitors" "$(probe monitors | sort | tr '\n' ' ')" \
        "$display1 0,0,1024,768 $display2 -800,0,0,600 "
    start_sender "$work/sender.out" orvstart 1 || return
    launch "$work/run" "$bin" "$bin/orvstart.exe" "$(win_path "$bin")\\orvstart.exe game.exe $display2"
    local duration
    duration=$(finish "$work/run" 20000)
    expect_eq "exit status" "$(cat "$work/run.exit")" 0
    expect_between "run (ms)" "$duration" 2000 8000
    expect_eq "window seen by the sender" "$(line_of "$work/sender.out" window)" \
        "window rect=-800,0,0,600 visible=1 topmost=1 popup=1 monitor=$display2"
    expect_eq "cursor over the window" "$(line_of "$work/sender.out" cursor)" "cursor=hidden"
    expect_eq "game command line" "$(game_line "$bin" 1)" \
        "\"$(win_path "$bin")\\game.exe\" -display $display2"
}

if ! declare -F "scenario_$scenario" > /dev/null; then
    echo "unknown scenario: $scenario" >&2
    exit 2
fi
"scenario_$scenario"
if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed in $scenario"
    exit 1
fi
echo "$scenario passed"
