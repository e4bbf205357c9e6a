#!/usr/bin/env bash
# The real program under a real X server, driven with real key presses: answer the
# warning, look a position up, store a new unit, leave with Esc. Then check the exit
# status and the row in the database.
#   e2e_xvfb.sh TELQUIN SAMPLE_SQL
set -euo pipefail
telquin=$1
muestra=$2

tmp=$(mktemp -d)
xvfb=""
programa=""
terminar() {
    [[ -n "$programa" ]] && kill "$programa" 2>/dev/null || true
    [[ -n "$xvfb" ]] && kill "$xvfb" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$tmp"
}
trap terminar EXIT
fallo() { echo "FALLO: $*" >&2; exit 1; }

sqlite3 -bail "$tmp/ncm.sqlite" < "$muestra"
unidad() { sqlite3 "$tmp/ncm.sqlite" "SELECT \"012\" FROM NCM WHERE \"001\"='8901.10.00' AND \"002\"='000' AND \"003\"='L'"; }
[[ $(unidad) == 07 ]] || fallo "la muestra no tiene la unidad 07"

Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do [[ -s "$tmp/display" ]] && break; sleep 0.1; done
[[ -s "$tmp/display" ]] || fallo "Xvfb no arrancó: $(cat "$tmp/xvfb.log")"
export DISPLAY=":$(head -n1 "$tmp/display")"

DAM_DATABASE_URL="sqlite:$tmp/ncm.sqlite" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$tmp" "$telquin" 2>"$tmp/telquin.log" &
programa=$!

# Waits for a window whose title is exactly $1 and gives it the keyboard.
ventana() {
    local id
    id=$(timeout 20 xdotool search --sync --onlyvisible --name "^$1\$" | head -n1) || fallo "no apareció la ventana \"$1\""
    xdotool windowfocus --sync "$id"
    echo "$id"
}
teclas() { xdotool key --delay 50 "$@"; }

ventana 'Telquin   v1\.0\.1' >/dev/null
teclas alt+s                                  # "Sí"
ventana 'ZAFKELO Telquin   v1\.0\.1' >/dev/null
xdotool type --delay 40 '8901.10.00.000L'
# The program takes its keys in the order they were typed, and Enter's lookup moves
# the focus before the next key is read: no pause is needed for the unit to land in
# its field.
teclas Return
xdotool type --delay 40 '5'
teclas F9
ventana 'Telquin' >/dev/null                  # "Cambio en la Ncm ... realizado correctamente"
teclas Return
ventana 'ZAFKELO Telquin   v1\.0\.1' >/dev/null
teclas Escape

estado=0
timeout 20 tail --pid="$programa" -f /dev/null || fallo "el programa no terminó tras Esc"
wait "$programa" || estado=$?
programa=""
[[ $estado -eq 0 ]] || fallo "el programa terminó con $estado: $(cat "$tmp/telquin.log")"
[[ $(unidad) == 05 ]] || fallo "la unidad guardada es \"$(unidad)\", no 05"
echo "1 passed, 0 failed"
