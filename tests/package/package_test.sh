#!/bin/sh
# The Debian package that `make deb` built in BUILD: it holds exactly the
# files of a system install and no memory, its links and menu entry lead to
# the programs, its metadata validates, it depends on runtime libraries
# alone, and its programs give each user a memory of their own.
#   package_test.sh BUILD      (make deb-check runs it, after lintian)
# A && B || fail: fails when either check does, which is meant.
# shellcheck disable=SC2015
set -eu
here=$(cd "$(dirname "$0")" && pwd)
fail() { echo "FAIL: $*" >&2 && exit 1; }
set -- "$1"/quibbo_*.deb
[ $# -eq 1 ] && [ -f "$1" ] || fail "not one package: $*"
deb=$1 root=$(mktemp -d) id=org.example.quibbo
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"

held=$(cd "$root" && find . ! -type d | sed 's|^\./||' | sort)
expected=$( (printf "%s\n" usr/bin/quibbo usr/bin/quibbo-cli usr/lib/quibbo/quibbo \
  usr/lib/quibbo/quibbo-cli usr/lib/quibbo/readme.txt usr/lib/quibbo/unicase.so \
  usr/share/applications/$id.desktop usr/share/metainfo/$id.metainfo.xml \
  usr/share/icons/hicolor/scalable/apps/$id.svg usr/share/bash-completion/completions/quibbo-cli \
  usr/share/man/man1/quibbo.1.gz usr/share/man/man1/quibbo-cli.1.gz \
  usr/share/doc/quibbo/changelog.gz usr/share/doc/quibbo/copyright \
  usr/share/lintian/overrides/quibbo
  for size in 16 22 24 32 48 64 128 256; do echo "usr/share/icons/hicolor/${size}x$size/apps/$id.png"; done) | sort)
[ "$held" = "$expected" ] || fail "the package holds: $held"
for program in quibbo quibbo-cli; do
  [ "$(readlink "$root/usr/bin/$program")" = "../lib/quibbo/$program" ] || fail "/usr/bin/$program"
done
grep -qx 'Exec="/usr/lib/quibbo/quibbo"' "$root/usr/share/applications/$id.desktop" &&
  desktop-file-validate "$root/usr/share/applications/$id.desktop" || fail "menu entry"
report=$(appstreamcli validate --pedantic --no-net "$root/usr/share/metainfo/$id.metainfo.xml") ||
  fail "metainfo: $report"
# The licence it states is the sources' own, word for word.
words() { tr -s '[:space:].' ' '; }
[ "$(sed -n '/^ Permission/, $ s/^ //p' "$root/usr/share/doc/quibbo/copyright" | words)" = \
  "$(sed -n '/^Permission/, $p' "$here/../../LICENSE" | words)" ] || fail "copyright and LICENSE differ"
# Libraries only, never a -dev package or a tool.
depends=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/^ *//; s/[ (|].*//')
[ -z "$(echo "$depends" | awk '!/^lib/ || /-dev$/')" ] || fail "depends on $depends"

sh "$here/../ui/user_memory_test.sh" "$root/usr/lib/quibbo"
echo "package $(basename "$deb"): all checks passed"
