#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The bash completion, run by bash-completion as Tab runs it, against the program's own
# --help: every command and option the help lists must be offered, and nothing it does
# not list; files only where the program reads one. The completion asks the program
# for its words, so the program's folder goes first on the PATH.
#   completado.sh TELQUIN COMPLETION_SCRIPT
# `cond && bien … || mal …` reads as if-then-else here: bien only prints, and never fails.
# shellcheck disable=SC2015
set -uo pipefail
telquin=$1
guion=$2

bashCompletion=/usr/share/bash-completion/bash_completion
if [[ ! -r $bashCompletion ]]; then
  echo "FALLA: falta $bashCompletion (paquete bash-completion: scripts/install-deps --pruebas)"
  exit 1
fi
# shellcheck disable=SC1090
. "$bashCompletion"
# shellcheck disable=SC1090
. "$guion"
PATH="$(cd "$(dirname "$telquin")" && pwd):$PATH"
[[ $(basename "$telquin") == telquin ]] || {
  echo "FALLA: el programa debe llamarse telquin: $telquin"
  exit 1
}
funcion=$(complete -p telquin 2>/dev/null | sed -n 's/.* -F \([^ ]*\) .*/\1/p')
if [[ -z $funcion ]]; then
  echo "FALLA: $guion no registra ninguna función de completado para telquin"
  exit 1
fi

fallos=0
bien() { echo "ok: $*"; }
mal() {
  echo "FALLA: $*"
  fallos=$((fallos + 1))
}

# completar WORD...: what Tab offers after "telquin WORD...", the last word being the
# one under the cursor (empty for a new word); one candidate a line, sorted.
completar() {
  COMP_WORDS=(telquin "$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMP_LINE="${COMP_WORDS[*]}"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  "$funcion" telquin "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  [[ ${#COMPREPLY[@]} -eq 0 ]] || printf '%s\n' "${COMPREPLY[@]}" | sort -u
}
enLinea() { tr ' ' '\n' | sed '/^$/d' | sort -u; }
unaLinea() { paste -sd' ' -; }

# --- against the help ------------------------------------------------------
ayuda=$("$telquin" --help) || {
  echo "FALLA: telquin --help terminó con error"
  exit 1
}
# Commands: the "telquin COMMAND ..." lines of the usage.
ordenes=$(sed -n 's/^  telquin \([a-z][a-z-]*\).*/\1/p' <<<"$ayuda" | sort -u)
# Options: the names that open each line of the "Opciones:" section ("-h, --help ...").
opciones=$(sed -n '/^Opciones:/,/^$/p' <<<"$ayuda" | awk '{
    for (i = 1; i <= NF; i++) {
      n = $i; sub(/,$/, "", n)
      if (n !~ /^--?[a-z]/) break
      print n
    }
  }' | sort -u)
if [[ -z $ordenes || -z $opciones ]]; then
  echo "FALLA: no se reconocen órdenes ni opciones en telquin --help:"
  echo "$ayuda"
  exit 1
fi
echo "--help lista las órdenes: $(unaLinea <<<"$ordenes"); las opciones: $(unaLinea <<<"$opciones")"

ofrecidas=$(completar "")
[[ $ofrecidas == "$ordenes" ]] && bien "telquin ⇥ ofrece las órdenes de --help" \
  || mal "telquin ⇥ ofrece «$(unaLinea <<<"$ofrecidas")»; --help lista «$(unaLinea <<<"$ordenes")»"

# Each option must be offered where it applies (--aplicar after lote); "-" and "--"
# are not in the help's list, being no options of their own. The usage's lines give
# each command with its word ("lista importar").
mapfile -t titulos < <(sed -n 's/^  telquin \([a-z][a-z-]*\( [a-z][a-z-]*\)\?\)\( .*\)\?$/\1/p' <<<"$ayuda" | sed 's/  .*//')
ofrecidas=$( (
  completar "-"
  for t in "${titulos[@]}"; do
    read -r -a palabras <<<"$t"
    completar "${palabras[@]}" "-"
  done
) | grep -vx -e - -e -- | sort -u)
[[ $ofrecidas == "$opciones" ]] && bien "telquin -⇥ y telquin ORDEN -⇥ ofrecen las opciones de --help" \
  || mal "telquin -⇥ y telquin ORDEN -⇥ ofrecen «$(unaLinea <<<"$ofrecidas")»; --help lista «$(unaLinea <<<"$opciones")»"

# --- words and files ----------------------------------------------------------
carpeta=$(mktemp -d "${TMPDIR:-/tmp}/completado.XXXXXX")
trap 'rm -rf "$carpeta"' EXIT
cd "$carpeta" || exit 1
mkdir cambios
touch cambios.csv notas.txt -- -raro.csv

# what is typed after "telquin" (| between words, the last being completed) → expected
casos=(
  "c → cambiar conciliar consultar"
  "lote| → - -raro.csv cambios cambios.csv notas.txt"
  "lote|cam → cambios cambios.csv"
  "lote|- → - -- --aplicar --help --version -h -v"
  "lote|-- → -- --aplicar --help --version"
  "lote|--|- → - -raro.csv"
  "lote|--| → - -raro.csv cambios cambios.csv notas.txt"
  "--aplicar|lote| → - -raro.csv cambios cambios.csv notas.txt"
  "lote|-| → "
  "lote|cambios.csv| → "
  "lote|cambios.csv|- → -- --aplicar --help --version -h -v"
  "consultar| → "
  "consultar|- → -- --help --version -h -v"
  "cambiar|8901.10.00.000L| → "
  "historial| → "
  "-v| → buscar cambiar conciliar consultar historial lista lote"
  "--|l → lista lote"
  "lista| → importar"
  "lista|i → importar"
  "lista|importar| → - -raro.csv cambios cambios.csv notas.txt"
  "lista|importar|cambios.csv| → "
  "buscar| → "
  "buscar|- → -- --help --max --version -h -v"
  "buscar|--max| → "
  "buscar|--max|5|tejidos|- → -- --help --max --version -h -v"
  "conciliar|- → -- --help --lote --version -h -v"
  "conciliar|--lote| → -raro.csv cambios cambios.csv notas.txt"
)
for caso in "${casos[@]}"; do
  escrito=${caso%% → *}
  esperado=$(enLinea <<<"${caso#* → }")
  IFS='|' read -r -a palabras <<<"$escrito|"
  ofrecidas=$(completar "${palabras[@]}")
  [[ $ofrecidas == "$esperado" ]] && bien "telquin ${escrito//|/ }⇥ → $(unaLinea <<<"$esperado")" \
    || mal "telquin ${escrito//|/ }⇥ ofrece «$(unaLinea <<<"$ofrecidas")», se esperaba «$(unaLinea <<<"$esperado")»"
done

# --- words that come from the program ---------------------------------------
# Another program under the same name, with other commands: the completion offers
# what it declares, nothing of telquin's own.
mkdir otro
cat >otro/telquin <<'FIN'
#!/bin/sh
[ "$1" = --palabras-de-completado ] || exit 2
printf 'opciones -q --quieto\norden probar --seco\narchivo probar 2\norden medir\n'
printf 'orden guardar\norden guardar todo --max --en\narchivo guardar todo 1\nvalor --max\nvalor --en archivo\n'
FIN
chmod +x otro/telquin
casos=(
  " → guardar medir probar"
  "- → -- --quieto -q"
  "guardar| → todo"
  "guardar|t → todo"
  "guardar|todo| → - -raro.csv cambios cambios.csv notas.txt otro"
  "guardar|todo|- → - -- --en --max --quieto -q"
  "guardar|todo|--max| → "
  "guardar|todo|--en| → -raro.csv cambios cambios.csv notas.txt otro"
  "guardar|--max|3|todo|x|- → -- --en --max --quieto -q"
  "guardar|--max|3|todo| → - -raro.csv cambios cambios.csv notas.txt otro"
  "guardar|todo|a| → "
  "probar|- → -- --quieto --seco -q"
  "probar|x|- → - -- --quieto --seco -q"
  "probar|x| → - -raro.csv cambios cambios.csv notas.txt otro"
  "probar| → "
  "medir|- → -- --quieto -q"
  "lote| → "
)
for caso in "${casos[@]}"; do
  escrito=${caso%% → *}
  esperado=$(enLinea <<<"${caso#* → }")
  IFS='|' read -r -a palabras <<<"$escrito|"
  ofrecidas=$(PATH="$carpeta/otro:$PATH" completar "${palabras[@]}")
  [[ $ofrecidas == "$esperado" ]] && bien "otro telquin ${escrito//|/ }⇥ → $(unaLinea <<<"$esperado")" \
    || mal "otro telquin ${escrito//|/ }⇥ ofrece «$(unaLinea <<<"$ofrecidas")», se esperaba «$(unaLinea <<<"$esperado")»"
done
# A program that does not answer: no words, and no error on the terminal.
printf '#!/bin/sh\nexit 1\n' >otro/telquin
ofrecidas=$(PATH="$carpeta/otro:$PATH" completar "" 2>&1)
[[ -z $ofrecidas ]] && bien "un telquin que no responde no ofrece nada" \
  || mal "un telquin que no responde ofrece «$(unaLinea <<<"$ofrecidas")»"

echo
if [[ $fallos -eq 0 ]]; then
  echo "completado: todo bien"
else
  echo "completado: $fallos falla(s)"
fi
[[ $fallos -eq 0 ]]
