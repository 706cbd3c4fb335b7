#!/bin/sh
# SPDX-License-Identifier: MIT
# Man pages of a program with commands, from its CLI11 help, with help2man:
#   - PROGRAM.1 from `PROGRAM --help`;
#   - PROGRAM-COMMAND.1 for each command `PROGRAM --help` lists under
#     "Subcommands:", from `PROGRAM COMMAND --help` and, in a section each,
#     the help of every subcommand below it, found the same way at any depth.
# The commands are found here, at build time: a new command or subcommand has
# its page or section without a change to the build. Every page names the
# others under SEE ALSO. The pages are compressed with gzip -9n (no name or
# time in the header) into OUT_DIR, which keeps no page of a command gone.
# usage: kiv_man_pages.sh HELP2MAN PROGRAM SUMMARY VERSION OUT_DIR
# PROGRAM is run by its name from PATH, so that its usage lines name it so; a
# cross build puts a script of that name first, which runs it under the
# emulator.
set -eu
help2man=$1
program=$2
summary=$3
version=$4
out=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin" "$work/pages"
# help2man's own patterns (Usage:, Options:) in English.
export LC_ALL=C

# subcommands < HELP: "NAME SUMMARY" for each entry of the help's Subcommands
# list (a name too long for its column has its summary on the next line).
subcommands() {
  awk 'tolower($0) == "subcommands:" { list = 1; next }
    !list { next }
    $0 == "" { exit }
    /^  [^ ]/ {
      if (name != "") print name, text
      name = $1
      sub(/,$/, "", name)
      text = $0
      sub(/^ *[^ ]+ */, "", text)
      next
    }
    text == "" { text = $0; sub(/^ */, "", text) }
    END { if (name != "") print name, text }'
}

# gather HELP WORD...: appends to HELP, for the command WORD... and for each of
# its subcommands below it, a line of \001 and its words, then its help.
gather() {
  file=$1
  shift
  printf '\001%s\n' "$program $*" >> "$file"
  "$program" "$@" --help < /dev/null > "$work/help"
  cat "$work/help" >> "$file"
  for word in $(subcommands < "$work/help" | cut -d ' ' -f 1); do
    gather "$file" "$@" "$word"
  done
}

# The help2man text of gathered helps, the first one the page's command:
#   - its description, usage line and further paragraphs make the page's
#     DESCRIPTION (ahead of its lists, such as Positionals:, as subsections),
#     and its Options: list the OPTIONS;
#   - each subcommand has a section of its words (*kivctl serial send*) with
#     its help; its Options: heading carries a \001, removed from the page
#     after, so that help2man keeps it in that section;
#   - every "Example: a; b" paragraph goes to EXAMPLES, one command each,
#     each once;
#   - every usage line goes to the SYNOPSIS, written to the include file.
text() {
  awk -v include="$1" -v program="$program" '
    function roman(s) {
      gsub(/\\/, "\\e", s)
      gsub(/-/, "\\-", s)
      return s
    }
    function paragraph(   heading, lines, count, i) {
      if (para == "") return
      heading = para
      sub(/\n.*/, "", heading)
      if (heading ~ /^Examples?: /) {
        sub(/^Examples?: */, "", para)
        gsub("; " program " ", "\n" program " ", para)
        # A subcommand may show again what its command showed.
        count = split(para, lines, "\n")
        for (i = 1; i <= count; i++)
          if (!seen[lines[i]]++) examples = examples lines[i] "\n"
      } else if (heading ~ /^[A-Za-z][A-Za-z0-9 _-]*:$/ && para ~ /\n/) {
        # CLI11 2.4 writes its headings in capitals.
        if (heading !~ /[a-z]/)
          para = substr(heading, 1, 1) tolower(substr(para, 2, length(heading) - 1)) \
                 substr(para, length(heading) + 1)
        if (para ~ /^Options:\n/ && sections == 0) options = para "\n\n"
        else {
          if (para ~ /^Options:\n/) sub(/:/, "\001:", para)
          lists = lists para "\n\n"
        }
      } else prose = prose para "\n\n"
      para = ""
    }
    function flush(   args) {
      paragraph()
      if (words == "") return
      # The words in bold, the arguments in italics, marked \002 and \003
      # until the text is escaped.
      args = usage
      if (index(args, words) == 1) args = substr(args, length(words) + 1)
      sub(/^ +/, "", args)
      gsub(/[^][ .|]+/, "\002&\003", args)
      args = roman(args)
      gsub(/\002/, "\\fI", args)
      gsub(/\003/, "\\fR", args)
      # \& keeps a line of "[OPTIONS]" alone from reading as a section of the
      # include file.
      synopsis = synopsis (synopsis == "" ? "" : ".br\n") ".B " roman(words) "\n" \
                 (args == "" ? "" : "\\&" args "\n")
      if (sections++ == 0)
        printf "%s\nUsage: %s\n\n%s%s%s", description, usage, prose, lists, options
      else
        printf "*%s*\n%s\n\nUsage: %s\n\n%s%s", words, description, usage, prose, lists
      description = usage = prose = lists = options = ""
    }
    /^\001/ { flush(); words = substr($0, 2); state = "description"; next }
    state == "description" && /^Usage: / { usage = substr($0, 8); state = "body"; next }
    state == "description" {
      description = description (description == "" ? "" : "\n") $0
      next
    }
    $0 == "" { paragraph(); next }
    { para = para (para == "" ? "" : "\n") $0 }
    END {
      flush()
      if (examples != "") {
        gsub(/\n/, "\n\n", examples)
        printf "Examples:\n%s", examples
      }
      printf "[SYNOPSIS]\n%s", synopsis > include
    }'
}

# page NAME SUMMARY HELP: NAME.1.gz from the gathered HELP.
page() {
  text "$work/$1.h2m" < "$3" > "$work/$1.txt"
  printf '#!/bin/sh\nexec cat "%s"\n' "$work/$1.txt" > "$work/bin/$1"
  chmod +x "$work/bin/$1"
  {
    printf '[SEE ALSO]\n'
    grep -vx "$1" "$work/names" | sed 's/-/\\-/g; s/^/.BR /; s/$/ (1),/; $s/,$//'
  } >> "$work/$1.h2m"
  PATH="$work/bin:$PATH" "$help2man" --no-info --section=1 --name="$2" \
    --version-string="$version" --source="$program $version" --include="$work/$1.h2m" \
    --output="$work/$1.1" "$1"
  tr -d '\001' < "$work/$1.1" | gzip -9n > "$work/pages/$1.1.gz"
}

"$program" --help < /dev/null > "$work/top"
subcommands < "$work/top" > "$work/commands"
[ -s "$work/commands" ] || { echo "$0: '$program --help' lists no commands" >&2; exit 1; }
{
  echo "$program"
  sed "s/ .*//; s/^/$program-/" "$work/commands"
} > "$work/names"

printf '\001%s\n' "$program" | cat - "$work/top" > "$work/$program.help"
page "$program" "$summary" "$work/$program.help"
while read -r command about <&3; do
  : > "$work/$program-$command.help"
  gather "$work/$program-$command.help" "$command"
  # The page's name in the lower case of man pages: "Raw bytes on ..." makes
  # "raw bytes on ...", and "I2C ..." stays so.
  name=$(printf '%s\n' "$about" | awk '{ sub(/\.$/, "") }
    substr($0, 2, 1) ~ /[a-z]/ { $0 = tolower(substr($0, 1, 1)) substr($0, 2) } 1')
  page "$program-$command" "$name" "$work/$program-$command.help"
done 3< "$work/commands"

mkdir -p "$out"
rm -f "$out/$program.1.gz" "$out/$program"-*.1.gz
mv "$work/pages"/* "$out/"
