#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The real program under a real X server, driven with real key presses: answer the
# warning, look a position up, store a new unit, leave with Esc. Then check the exit
# status and the row in the database, and that the window had its icon.
#   e2e_xvfb.sh TELQUIN SAMPLE_SQL
set -euo pipefail
telquin=$1
muestra=$2

# With no display at all the program says so and ends, instead of Qt aborting it.
if [[ -z "${TELQUIN_E2E_EN_XVFB:-}" ]]; then
    estado=0
    aviso=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$telquin" 2>&1 >/dev/null) || estado=$?
    [[ $estado -eq 1 && $aviso == "telquin: no se encontró una pantalla para la ventana;"* ]] \
      || { echo "FALLO: sin pantalla: estado $estado, «$aviso»" >&2; exit 1; }
    # A display that does not answer: the same, naming it, where Qt would abort (134).
    libre=99
    while [[ -e /tmp/.X11-unix/X$libre || -e /tmp/.X$libre-lock ]]; do libre=$((libre + 1)); done
    for plataforma in "" xcb; do
        estado=0
        aviso=$(env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=":$libre" ${plataforma:+QT_QPA_PLATFORM=$plataforma} \
            "$telquin" 2>&1 >/dev/null) || estado=$?
        [[ $estado -eq 1 && $aviso == "telquin: no se encontró una pantalla para la ventana (:$libre no responde);"* ]] \
          || { echo "FALLO: pantalla :$libre que no responde (${plataforma:-sin plataforma}): estado $estado, «$aviso»" >&2; exit 1; }
    done
fi

# Under a private X server of its own (xvfb-run picks a free display and removes it).
if [[ -z "${TELQUIN_E2E_EN_XVFB:-}" ]]; then
    exec env TELQUIN_E2E_EN_XVFB=1 xvfb-run -a -s "-screen 0 800x600x24 -nolisten tcp" "$0" "$@"
fi

tmp=$(mktemp -d)
programa=""
terminar() {
    if [[ -n "$programa" ]]; then kill "$programa" 2>/dev/null || true; fi
    wait 2>/dev/null || true
    rm -rf "$tmp"
}
trap terminar EXIT
fallo() { echo "FALLO: $*" >&2; exit 1; }

sqlite3 -bail "$tmp/ncm.sqlite" < "$muestra"
unidad() { sqlite3 "$tmp/ncm.sqlite" "SELECT \"012\" FROM NCM WHERE \"001\"='8901.10.00' AND \"002\"='000' AND \"003\"='L'"; }
[[ $(unidad) == 07 ]] || fallo "la muestra no tiene la unidad 07"

DAM_DATABASE_URL="sqlite:$tmp/ncm.sqlite" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$tmp" XDG_STATE_HOME="$tmp/estado" "$telquin" 2>"$tmp/telquin.log" &
programa=$!

# Waits for a window whose title is exactly $1 and gives it the keyboard. A box that
# closes while xdotool walks the window tree makes it fail with BadWindow, so the
# search is asked again until the window is there.
ventana() {
    local id="" fin=$((SECONDS + 20))
    while ((SECONDS < fin)); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1) || true
        [[ -n "$id" ]] && xdotool windowfocus --sync "$id" 2>/dev/null && break
        id=""
        sleep 0.05
    done
    [[ -n "$id" ]] || fallo "no apareció la ventana \"$1\""
    echo "$id"
}
teclas() { xdotool key --delay 50 "$@"; }

ventana 'Telquin   v1\.0\.1' >/dev/null
teclas alt+s                                  # "Sí"
principal=$(ventana 'ZAFKELO Telquin   v1\.0\.1')
# The icon the window manager shows in the task bar, from packaging/telquin.svg.
icono=$(xprop -id "$principal" _NET_WM_ICON)
[[ $icono == "_NET_WM_ICON(CARDINAL) = "* ]] || fallo "la ventana no tiene icono: $icono"
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
registro=$tmp/estado/telquin/cambios.csv
[[ $(wc -l <"$registro") -eq 2 && $(tail -n1 "$registro") == *,8901.10.00.000L,07,05,ventana ]] \
  || fallo "el registro de cambios no tiene el cambio: $(cat "$registro" 2>&1)"
echo "1 passed, 0 failed"
