#!/bin/sh
# SPDX-License-Identifier: MIT
# The installed man pages of kivctl: kivctl.1.gz and, for each command
# `kivctl --help` lists, kivctl-COMMAND.1.gz. Each is gzip, man shows it
# without a warning, it names the others under SEE ALSO, and it tells every
# entry (argument, option, subcommand) that the help of its command tells, and
# that of every subcommand below it. No page is left uncompressed.
# usage: check_man_pages.sh MAN1_DIR KIVCTL
set -eu
dir=$1
kivctl=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() {
  echo "$*" >&2
  exit 1
}

# subcommands WORD...: the subcommands `kivctl WORD... --help` lists.
subcommands() {
  "$kivctl" "$@" --help | awk 'tolower($0) == "subcommands:" { list = 1; next }
    list && $0 == "" { exit }
    list && /^  [^ ]/ { print $1 }'
}

# shown PAGE: man's text of PAGE on one line, in single spaces.
shown() {
  gzip -t "$dir/$1.1.gz" || fail "$1.1.gz is missing or not gzip"
  LC_ALL=C MANWIDTH=80 man --nh --warnings -l "$dir/$1.1.gz" > "$scratch/text" \
    2> "$scratch/warnings" || fail "man cannot show $1.1.gz"
  [ ! -s "$scratch/warnings" ] || { cat "$scratch/warnings" >&2; fail "man warns about $1.1.gz"; }
  tr -s ' \n' '  ' < "$scratch/text"
}

# tells PAGE WORD...: PAGE tells the entries of `kivctl WORD... --help`, and
# of the subcommands below when WORD is given.
tells() {
  page=$1
  shift
  "$kivctl" "$@" --help | awk '/^  [^ ]/ { s = substr($0, 3); i = index(s, "  ") }
    /^  [^ ]/ && i { s = substr(s, i); sub(/^ +/, "", s); print s }
    /^                    +[^ ]/ { sub(/^ +/, ""); print }' | tr -s ' ' > "$scratch/entries"
  [ -s "$scratch/entries" ] || fail "no entries in 'kivctl $* --help'"
  while read -r entry; do
    grep -qF -- "$entry" "$scratch/$page" || fail "$page.1.gz lacks '$entry' of 'kivctl $* --help'"
  done < "$scratch/entries"
  [ $# -eq 0 ] || for sub in $(subcommands "$@"); do tells "$page" "$@" "$sub"; done
}

commands=$(subcommands)
[ -n "$commands" ] || fail "'kivctl --help' lists no commands"
shown kivctl > "$scratch/kivctl"
tells kivctl
for command in $commands; do
  grep -qF "kivctl-$command(1)" "$scratch/kivctl" || fail "kivctl.1.gz does not name kivctl-$command(1)"
  shown "kivctl-$command" > "$scratch/kivctl-$command"
  grep -qF "kivctl(1)" "$scratch/kivctl-$command" || fail "kivctl-$command.1.gz does not name kivctl(1)"
  tells "kivctl-$command" "$command"
done
plain=$(find "$dir" -name '*.1')
[ -z "$plain" ] || fail "uncompressed pages: $plain"
echo "kivctl's man pages tell each command's help and their subcommands'"
