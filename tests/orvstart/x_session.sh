#!/usr/bin/env bash
# Brings an X server and a Wine prefix of their own up or down for the launcher's end-to-end
# tests, so that they neither need a desktop nor touch the other tests' prefix.
#
#   x_session.sh up|down xvfb|xorg <state folder>
#
# xvfb: one monitor, 1024x768.
# xorg: Xorg with the dummy driver and two monitors; the primary one 1024x768, a second one
#       800x600 left of it, which Wine places at (-800,0)-(0,600).
# "up" writes <state folder>/<kind>.env for the scenarios to source.
set -euo pipefail

action=$1 kind=$2 state=$3
mkdir -p "$state"
env_file="$state/$kind.env"

# The server picks a free display number itself and writes it to the descriptor it is given.
read_display_number() {
    local file=$1 pid=$2
    for _ in $(seq 100); do
        [ -s "$file" ] && { tr -d '\n' < "$file"; return 0; }
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    echo "X server did not report its display number" >&2
    return 1
}

wait_for_x() {
    local display=$1 pid=$2
    for _ in $(seq 100); do
        xrandr -d "$display" >/dev/null 2>&1 && return 0
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    echo "X server $display did not come up" >&2
    return 1
}

write_xorg_config() {
    cat > "$1" <<'CONF'
Section "ServerFlags"
  Option "AutoAddDevices" "false"
EndSection
Section "Device"
  Identifier "dummy_device"
  Driver "dummy"
  VideoRam 65536
EndSection
Section "Monitor"
  Identifier "dummy_monitor"
  HorizSync 5.0-1000.0
  VertRefresh 5.0-200.0
EndSection
Section "Screen"
  Identifier "dummy_screen"
  Device "dummy_device"
  Monitor "dummy_monitor"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Virtual 2048 1024
  EndSubSection
EndSection
CONF
}

down() {
    [ -f "$env_file" ] || return 0
    # shellcheck disable=SC1090
    . "$env_file"
    WINEPREFIX=$ORV_WINEPREFIX wineserver -k 2>/dev/null || true
    if kill "$ORV_X_PID" 2>/dev/null; then
        for _ in $(seq 50); do kill -0 "$ORV_X_PID" 2>/dev/null || break; sleep 0.1; done
    fi
    rm -f "$env_file"
}

# Takes a half-started session down again, and shows the server's own account of it.
abandon() {
    [ -n "${starting_pid:-}" ] || return 0
    kill "$starting_pid" 2>/dev/null
    rm -f "$env_file"
    tail -n 20 "$state/$kind.log" >&2 2>/dev/null
}

up() {
    down
    local display pid prefix number_file="$state/$kind.display"
    rm -f "$number_file"
    trap abandon EXIT
    case $kind in
    xvfb)
        Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp -noreset \
            9>"$number_file" >"$state/xvfb.log" 2>&1 </dev/null &
        pid=$! starting_pid=$!
        display=":$(read_display_number "$number_file" "$pid")"
        wait_for_x "$display" "$pid"
        ;;
    xorg)
        mkdir -p "$state/xorg.conf.d"
        write_xorg_config "$state/xorg.conf"
        Xorg -displayfd 9 -config "$state/xorg.conf" -configdir "$state/xorg.conf.d" \
            -logfile "$state/xorg.log" -nolisten tcp -noreset \
            9>"$number_file" >"$state/xorg.out" 2>&1 </dev/null &
        pid=$! starting_pid=$!
        display=":$(read_display_number "$number_file" "$pid")"
        wait_for_x "$display" "$pid"
        xrandr -d "$display" --addmode DUMMY1 800x600
        xrandr -d "$display" --fb 1824x768 \
            --output DUMMY1 --mode 800x600 --pos 0x0 \
            --output DUMMY0 --mode 1024x768 --pos 800x0 --primary
        # Until a client polls the outputs, the server's current configuration, which is what
        # Wine reads, still shows the second output disconnected.
        xrandr -d "$display" >/dev/null
        if [ "$(xrandr -d "$display" --current | grep -cw connected)" != 2 ]; then
            echo "the second monitor did not come up" >&2
            return 1
        fi
        ;;
    *)
        echo "unknown X session kind: $kind" >&2
        return 2
        ;;
    esac

    prefix="$state/wine-$kind"
    mkdir -p "$prefix"
    cat > "$env_file" <<ENV
ORV_X_PID=$pid
ORV_WINEPREFIX=$prefix
ORV_DISPLAY=$display
ENV
    # Every program that shares the prefix's wineserver must see the same DISPLAY, the first
    # one included: the desktop takes its display driver from it.
    export DISPLAY=$display WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    "$(dirname "$0")/../../scripts/wine-prefix-up" >/dev/null
    # No window manager runs here; without this Wine waits 2 s for one whenever a
    # full-screen window goes away.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null
    starting_pid=""
    echo "$kind session up on $display, Wine prefix $prefix"
}

case $action in
up) up ;;
down) down ;;
*) echo "usage: x_session.sh up|down xvfb|xorg <state folder>" >&2; exit 2 ;;
esac
