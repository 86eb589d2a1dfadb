#!/bin/bash
# The main window's placement under a real window manager (Xvfb + openbox): every docking puts
# the whole frame inside the work area, and the stored placement comes back unchanged across
# restarts. Usage: placement_wm_test.sh <quietbox binary> [case...], cases: docked0 .. docked5,
# unplaced, scaled, collapsed (all when none given; CTest runs them in groups side by side, each
# with its own display). Exit 77 (skipped) without the tools.
set -u
BIN=$1
shift
CASES=" ${*:-docked0 docked1 docked2 docked3 docked4 docked5 unplaced scaled collapsed} "
want() { [[ $CASES == *" $1 "* ]]; }
for tool in Xvfb openbox xprop xwininfo xdotool; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

T=$(mktemp -d)
XPID=
WMPID=
cleanup() {
    [ -n "$WMPID" ] && kill "$WMPID" 2>/dev/null
    [ -n "$XPID" ] && kill "$XPID" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$T"
}
trap cleanup EXIT

export HOME=$T/home XDG_CONFIG_HOME=$T/config XDG_DATA_HOME=$T/data XDG_RUNTIME_DIR=$T/run
mkdir -p "$HOME" "$XDG_CONFIG_HOME/quietbox" "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset QT_QPA_PLATFORM QT_SCALE_FACTOR WAYLAND_DISPLAY
SET=$XDG_CONFIG_HOME/quietbox/quietbox.SET

# Margins on every side, so that the work area differs from the screen.
cat >"$T/rc.xml" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <margins><top>16</top><bottom>24</bottom><left>8</left><right>12</right></margins>
</openbox_config>
EOF

exec 5>"$T/display"
Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp >"$T/xvfb.log" 2>&1 &
XPID=$!
for _ in $(seq 300); do [ -s "$T/display" ] && break; sleep 0.1; done
exec 5>&-
export DISPLAY=:$(head -n1 "$T/display")
openbox --config-file "$T/rc.xml" >"$T/openbox.log" 2>&1 &
WMPID=$!
for _ in $(seq 300); do xprop -root _NET_WORKAREA 2>/dev/null | grep -q '16, 1260' && break; sleep 0.1; done
read -r WX WY WW WH < <(xprop -root _NET_WORKAREA | sed 's/.*= //; s/,//g' | cut -d' ' -f1-4)
[ "$WW" = 1260 ] || { echo "FAIL: openbox did not set the work area"; cat "$T/xvfb.log" "$T/openbox.log"; exit 1; }

FAILS=0
fail() { echo "FAIL: $*"; FAILS=$((FAILS + 1)); }

# The outer rectangle of window $1: the client plus the frame extents the manager announces.
frame() {
    local x y w h l r t b
    x=$(xwininfo -id "$1" | sed -n 's/.*Absolute upper-left X: *//p')
    y=$(xwininfo -id "$1" | sed -n 's/.*Absolute upper-left Y: *//p')
    w=$(xwininfo -id "$1" | sed -n 's/^ *Width: *//p')
    h=$(xwininfo -id "$1" | sed -n 's/^ *Height: *//p')
    read -r l r t b < <(xprop -id "$1" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')
    echo "$((x - l)) $((y - t)) $((w + l + r)) $((h + t + b))"
}

# Waits until the main window of process $1 is mapped and holds still where ALIGN $2 puts it
# (or, when it stays elsewhere, long enough to tell); sets WIN and FRAME.
settle() {
    local last= same=0 now
    WIN=
    for _ in $(seq 100); do
        [ -z "$WIN" ] && WIN=$(xdotool search --onlyvisible --pid "$1" --name '^Quietbox$' 2>/dev/null | head -n1)
        if [ -n "$WIN" ]; then
            now=$(frame "$WIN" 2>/dev/null)
            if [ -n "$now" ] && [ "$now" = "$last" ]; then
                same=$((same + 1))
                if [ $same -ge 25 ] || { [ $same -ge 4 ] && [ -z "$(misplaced "$2" "$now")" ]; }; then
                    FRAME=$now
                    return 0
                fi
            else
                same=0
            fi
            last=$now
        fi
        sleep 0.1
    done
    FRAME=$last
    return 1
}

stored() { grep -o '<SETTINGS[^>]*>' "$SET" | grep -o ' \(WIDTH\|HEIGHT\|LEFT\|TOP\|G_WIDTH\|G_HEIGHT\)="[^"]*"' | tr -d '\n'; }
key() { grep -o "<SETTINGS[^>]*>" "$SET" | grep -o " $1=\"[^\"]*\"" | cut -d'"' -f2; }

settings() {
    printf '\r\n<SETTINGS GS="NO" %s>\r\n\t<OLE_SERVERS/>\r\n\t<BASE_LIST>%s</BASE_LIST>\r\n</SETTINGS>' "$1" "${2:-}" >"$SET"
}

stop() {
    kill -TERM "$1"
    wait "$1" || fail "$CASE: the program ended with $?"
}

# Whether the frame's edges (x, y, right, bottom) match those given, "-" for any; within TOL
# device pixels, for a scaled frame whose borders are an odd number of pixels.
TOL=0
edges() {
    local want=($1) have=($2) i d
    for i in 0 1 2 3; do
        [ "${want[$i]}" = - ] && continue
        d=$((have[i] - want[i]))
        [ ${d#-} -le $TOL ] || return 1
    done
}

# What is wrong with frame $2 for ALIGN $1: the whole frame is in the work area, on the edge
# of the docking, and it has the edges EXPECT and the size SIZE when those are set.
misplaced() {
    local align=$1 x y w h r b want=
    read -r x y w h <<<"$2"
    r=$((x + w)) b=$((y + h))
    if [ "$x" -lt "$WX" ] || [ "$y" -lt "$WY" ] || [ $r -gt $((WX + WW)) ] || [ $b -gt $((WY + WH)) ]; then
        echo "frame $2 is not inside the work area $WX $WY $WW $WH"
    fi
    case $align in
        0) want="$WX $WY $((WX + WW)) -" ;;
        1) want="$WX - $((WX + WW)) $((WY + WH))" ;;
        2) want="$WX $WY - $((WY + WH))" ;;
        3) want="- $WY $((WX + WW)) $((WY + WH))" ;;
        5) want="$WX $WY $((WX + WW)) $((WY + WH))" ;;
        6) want="- - - $((WY + WH))" ;; # collapsed at the bottom
        7) want="- - $((WX + WW)) -" ;; # collapsed at the right
    esac
    [ -z "$want" ] || edges "$want" "$x $y $r $b" || echo "frame $2 is not docked by ALIGN $align"
    [ -z "$EXPECT" ] || edges "$EXPECT" "$x $y $r $b" || echo "frame $2, expected $EXPECT (x y right bottom)"
    [ -z "$SIZE" ] || [ "$w $h" = "$SIZE" ] || echo "frame $2 is not $SIZE in size"
}
EXPECT=
SIZE=

check_docked() {
    local problem
    problem=$(misplaced "$1" "$2")
    [ -z "$problem" ] || fail "$CASE: $(echo $problem)"
}

# Three starts over one settings file: the frame is docked each time, and the frame and the
# stored placement are the same after every start (the second and third read what the first
# and second stored).
restarts() {
    local align=$1 first_keys= i pid keys x y w h
    EXPECT=${2:-}
    for i in 1 2 3; do
        "$BIN" >>"$T/run.log" 2>&1 &
        pid=$!
        settle $pid "$align" || fail "$CASE run $i: the window did not settle ($FRAME)"
        check_docked "$align" "$FRAME"
        stop $pid
        keys=$(stored)
        [ "$(key WIDTH) $(key HEIGHT)" = "$(echo "$FRAME" | cut -d' ' -f3-4)" ] \
            || fail "$CASE run $i: stored size $(key WIDTH) $(key HEIGHT) is not the frame's ($FRAME)"
        if [ $i = 1 ]; then
            FIRST_FRAME=$FRAME
            first_keys=$keys
            read -r x y w h <<<"$FRAME"
            EXPECT="$x $y $((x + w)) $((y + h))"
        else
            [ "$FRAME" = "$FIRST_FRAME" ] || fail "$CASE run $i: frame $FRAME, first run $FIRST_FRAME"
            [ "$keys" = "$first_keys" ] || fail "$CASE run $i: stored$keys, first run$first_keys"
        fi
    done
    EXPECT=
}

PLACED='WIDTH="500" HEIGHT="300" LEFT="100" TOP="100" G_WIDTH="150" G_HEIGHT="120"'
for align in 0 1 2 3 4 5; do
    want docked$align || continue
    CASE="ALIGN $align"
    settings "ALIGN=\"$align\" $PLACED"
    restarts $align "$([ $align = 4 ] && echo '100 100 600 400')"
    if [ $align = 4 ]; then
        # Floating: exactly where it was stored, and the stored values stay as they were.
        [ "$FIRST_FRAME" = "100 100 500 300" ] || fail "$CASE: frame $FIRST_FRAME, stored 100 100 500 300"
        [ "$(key LEFT) $(key TOP) $(key WIDTH) $(key HEIGHT)" = "100 100 500 300" ] || fail "$CASE: stored$(stored)"
    fi
done
if want unplaced; then
    CASE="no placement stored"
    settings 'ALIGN="1"'
    restarts 1
fi

# Twice the scale: the stored values are in scaled pixels and still come back unchanged.
if want scaled; then
    CASE="scale 2"
    settings 'ALIGN="1"'
    export QT_SCALE_FACTOR=2
    TOL=2
    for i in 1 2; do
        "$BIN" >>"$T/run.log" 2>&1 &
        pid=$!
        settle $pid 1 || fail "$CASE: the window did not settle"
        check_docked 1 "$FRAME"
        stop $pid
        [ "$(key TOP)" -ge 0 ] || fail "$CASE: stored TOP $(key TOP)"
        [ $i = 1 ] && keys=$(stored)
    done
    [ "$(stored)" = "$keys" ] || fail "$CASE: stored$(stored), first run$keys"
    unset QT_SCALE_FACTOR
    TOL=0
fi

# Collapsed while docked at the bottom or the right, then resized by the window manager: it
# snaps back to its small size on the edge of the work area. Collapsing needs an open database.
if ! want collapsed; then
    :
elif command -v sqlite3 >/dev/null; then
    mkdir -p "$T/db"
    sqlite3 "$T/db/Docs.db" "CREATE TABLE Docs (Doc_id CHAR(32) NOT NULL, Doc_type CHAR(32), Doc_name CHAR(64),
        C_date DATE, L_date DATE, Dsc CHAR(128), OLEobj BLOB, Image BLOB, PRIMARY KEY (Doc_id))"
    for align in 1 3; do
        CASE="collapsed, ALIGN $align"
        # At the bottom as a new user, with no placement stored yet.
        placed=$([ $align = 3 ] && echo "$PLACED")
        settings "ALIGN=\"$align\" $placed OPEN_LAST_USED=\"Y\" LAST_OPEN_NAME=\"t\"" "<BASE NAME=\"t\" PATH=\"$T/db\"/>"
        "$BIN" >>"$T/run.log" 2>&1 &
        pid=$!
        settle $pid "$align" || fail "$CASE: the window did not settle"
        expanded=$FRAME
        # "Collaps", the ninth button of the toolbar.
        xdotool mousemove --window "$WIN" 272 18 click 1
        SIZE="158 87"
        edge=$((align == 1 ? 6 : 7))
        settle $pid $edge
        check_docked $edge "$FRAME"
        for size in "400 300" "60 40"; do
            xdotool windowsize "$WIN" $size
            settle $pid $edge
            CASE="collapsed, ALIGN $align, resized to $size"
            check_docked $edge "$FRAME"
        done
        SIZE=
        if [ $align = 1 ]; then
            # Nothing stored: "Expand..." and maximizing give back the frame from before collapsing.
            read -r x y w h <<<"$expanded"
            EXPECT="$x $y $((x + w)) $((y + h))"
            xdotool mousemove --window "$WIN" 75 50 click 1
            CASE="expanded, no placement stored"
            settle $pid 1 || fail "$CASE: the window did not settle ($FRAME)"
            check_docked 1 "$FRAME"
            if command -v wmctrl >/dev/null; then
                xdotool mousemove --window "$WIN" 272 18 click 1
                SIZE="158 87" EXPECT= settle $pid 6
                wmctrl -i -r "$WIN" -b add,maximized_vert,maximized_horz
                CASE="expanded by maximizing, no placement stored"
                settle $pid 1 || fail "$CASE: the window did not settle ($FRAME)"
                check_docked 1 "$FRAME"
            fi
            EXPECT=
            xdotool mousemove --window "$WIN" 272 18 click 1
            SIZE="158 87" settle $pid 6
            stop $pid
            # Nothing is stored while collapsed.
            [ -z "$(stored)" ] || fail "$CASE: stored$(stored) while collapsed"
        else
            # "Expand...": back where it was docked; then moved by hand, where it stays and is stored.
            read -r x y w h <<<"$expanded"
            EXPECT="$x $y $((x + w)) $((y + h))"
            xdotool mousemove --window "$WIN" 75 50 click 1
            CASE="expanded, ALIGN $align"
            settle $pid "$align" || fail "$CASE: the window did not settle"
            check_docked "$align" "$FRAME"
            EXPECT=
            xdotool windowmove "$WIN" 200 100
            sleep 0.5
            settle $pid 4
            [ "$FRAME" != "$expanded" ] || fail "$CASE: moved by hand, the window went back to $FRAME"
            stop $pid
            [ "$(key LEFT) $(key TOP) $(key WIDTH) $(key HEIGHT)" = "$FRAME" ] \
                || fail "$CASE: stored$(stored), the frame was $FRAME"
            EXPECT=
        fi
    done
else
    echo "sqlite3 is not installed: the collapsed window is not tried"
fi

[ $FAILS = 0 ] || { grep -v '^$' "$T/run.log" | sed -n 1,20p; exit 1; }
echo "placement under openbox: all checks passed"
