#!/bin/sh
# The manual pages and the bash completion know everything --help shows:
# every subcommand and option of `quibbo-cli --help` and of each
# `quibbo-cli SUBCOMMAND --help` appears in quibbo-cli(1) and is offered by
# the completion after that subcommand, and every option of `quibbo --help`
# appears in quibbo(1). The completion offers file names where a file is
# expected, and groff finds nothing to warn about in either page.
#   help_test.sh BUILD
set -eu
build=$(cd "$1" && pwd)
pages=$build/share/man/man1
completion=$build/share/bash-completion/completions/quibbo-cli
fail() { echo "FAIL: $*" >&2 && exit 1; }

# The options and commands that a --help text lists.
options() { grep -oE '^  -[-a-z]+(, -[-a-z]+)?' | tr -d ' ' | tr ',' '\n'; }
subcommands() { sed -n '/^Commands:/,/^$/s/^  \([a-z][a-z-]*\) .*/\1/p'; }
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

cli=$build/bin/quibbo-cli
help=$("$cli" --help)
cli_page=$(page_text quibbo-cli.1)
all_in "quibbo-cli(1)" "$(echo "$help" | subcommands)" "$cli_page"
all_in "completion of quibbo-cli" "$(echo "$help" | subcommands)" "$(complete '')"
# Each help fits the width of a terminal that is not there: 80 columns.
for command in "" $(echo "$help" | subcommands); do
  # shellcheck disable=SC2086
  text=$("$cli" $command --help)
  echo "$text" | awk 'length > 80 { exit 1 }' || fail "$command --help is too wide"
  all_in "quibbo-cli(1)" "$(echo "$text" | options)" "$cli_page"
  # shellcheck disable=SC2086
  all_in "completion of $command -" "$(echo "$text" | options)" "$(complete $command -)"
done
if [ -x "$build/bin/quibbo" ]; then
  all_in "quibbo(1)" "$("$build/bin/quibbo" --help | options)" "$(page_text quibbo.1)"
  # Both programs tell their version alike.
  [ "$("$build/bin/quibbo" --version | sed '1s/^quibbo/quibbo-cli/')" = "$("$cli" --version)" ] ||
    fail "quibbo --version differs from quibbo-cli --version"
fi

# File names where a file is expected (a memory only where a memory may
# go), and nothing ("-") where none is.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
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
- --seed =
- stats
- --seed
- frob
EOF2

command -v groff >/dev/null && for page in "$pages"/*.1; do
  warnings=$(groff -man -ww -z "$page" 2>&1) && [ -z "$warnings" ] || fail "$page: $warnings"
done
echo "manual pages and completion: all options found"
