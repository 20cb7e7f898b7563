#!/usr/bin/env bash
# Generates the sivo(1) manual page from the program's own --help texts, so
# that the page and the program never disagree.
#
#   tools/sivo_manpage.sh PATH/TO/sivo OUT.1
set -euo pipefail
sivo=$1
out=$2
include=$(mktemp)
trap 'rm -f "$include"' EXIT

# A help text as preformatted roff, each line protected from roff requests.
preformatted() {
  echo ".nf"
  sed -e 's/\\/\\e/g' -e 's/^/\\\&/'
  echo ".fi"
}

{
  echo "[COMMANDS]"
  for command in encode decode info compare raw2wav; do
    echo ".SS sivo $command"
    "$sivo" "$command" --help | preformatted
  done
  echo "[EXAMPLES]"
  preformatted <<'TEXT'
sivo encode -r 1 speech.flac speech.siv
sivo info speech.siv
sivo decode --loss 5 speech.siv decoded.wav
sivo decode speech.siv - --rate 48000 | aplay -f S16_LE -r 48000
arecord -f S16_LE -r 8000 -c 1 | sivo encode - - | sivo decode - - | aplay -f S16_LE -r 8000
TEXT
} >"$include"

help2man --no-info --section=1 --name="narrow-band speech codec" \
  --include="$include" --output="$out" "$sivo"
