#!/bin/sh
# quibbo-cli's --help, its manual page and its completion are made from one
# table; this checks how each shows it. What `quibbo-cli --help` and each
# `quibbo-cli COMMAND --help` say of every command and option stands word
# for word in quibbo-cli(1), each help fits 80 columns, and the completion
# offers the commands, each command's options and file names where a file
# is expected. Every option of `quibbo --help` appears in quibbo(1), and
# groff finds nothing to warn about in either page.
#   help_test.sh BUILD
set -eu
build=$(cd "$1" && pwd)
pages=$build/share/man/man1
completion=$build/share/bash-completion/completions/quibbo-cli
fail() { echo "FAIL: $*" >&2 && exit 1; }

# The options and commands that a --help text lists, and what it says of
# each, one a line, unwrapped as the table has it.
options() { grep -oE '^  -[-a-z]+(, -[-a-z]+)?' | tr -d ' ' | tr ',' '\n'; }
subcommands() { sed -n '/^Commands:/,/^$/s/^  \([a-z][a-z-]*\) .*/\1/p'; }
meanings() {
  awk '/^(Options|Commands):$/ { on = 1; next } !/^ / { on = 0 }
    on && /^  [^ ]/ && n++ { print "" } on { printf " %s", substr($0, 23) }
    END { print "" }' | sed 's/^ *//'
}
# The page as text, hyphens and all.
page_text() { sed 's/\\-/-/g' "$pages/$1"; }
# What the completion offers for the command line "quibbo-cli $*".
complete() {
  bash -c '. "$1"; shift; COMP_WORDS=(quibbo-cli "$@"); COMP_CWORD=$#
    _quibbo_cli; printf "%s\n" "${COMPREPLY[@]}"' _ "$completion" "$@"
}
# Fails unless every line of $2 is a whole word in $3; $1 names the check.
all_in() {
  for word in $2; do
    printf '%s\n' "$3" | grep -qE -- "(^|[^-a-z])$word([^-a-z]|\$)" || fail "$1 lacks $word"
  done
}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cli=$build/bin/quibbo-cli
help=$("$cli" --help)
page_text quibbo-cli.1 >"$scratch/page"
all_in "completion of quibbo-cli" "$(echo "$help" | subcommands)" "$(complete '')"
# Each help fits the width of a terminal that is not there: 80 columns.
for command in "" $(echo "$help" | subcommands); do
  # shellcheck disable=SC2086
  text=$("$cli" $command --help)
  echo "$text" | awk 'length > 80 { exit 1 }' || fail "$command --help is too wide"
  missing=$(echo "$text" | meanings | grep -vxF -f "$scratch/page") &&
    fail "quibbo-cli(1) lacks what $command --help says: $missing"
  # shellcheck disable=SC2086
  all_in "completion of $command -" "$(echo "$text" | options)" "$(complete $command -)"
done
if [ -x "$build/bin/quibbo" ]; then
  all_in "quibbo(1)" "$("$build/bin/quibbo" --help | options)" "$(page_text quibbo.1)"
fi

# File names where a file is expected (a memory only where a memory may
# go), and nothing ("-") where none is.
touch "$scratch/some book.txt" "$scratch/some.mdb"
cd "$scratch"
while read -r expected words; do
  # shellcheck disable=SC2086
  [ "$(complete $words s | LC_ALL=C sort | tr ' ' _ | paste -sd, -)" = "${expected#-}" ] ||
    fail "completion of '$words s' is not '$expected'"
done <<EOF2
some_book.txt learn
some_book.txt,some.mdb --memory
some_book.txt,some.mdb --memory =
some_book.txt,some.mdb backup
sentence,stats --memory learn
some_book.txt --memory = x learn
- stats
- --seed
- frob
EOF2

command -v groff >/dev/null && for page in "$pages"/*.1; do
  warnings=$(groff -man -ww -z "$page" 2>&1) && [ -z "$warnings" ] || fail "$page: $warnings"
done
echo "manual pages and completion: all of --help found"
