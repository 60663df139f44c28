#!/bin/sh
# Installs into a temporary home and checks every file placed, that the
# memory is private and survives reinstalling and uninstalling, and that
# nothing else is left; then under a PREFIX and XDG_DATA_HOME with spaces,
# and with `cmake --install` under DESTDIR as a packager does.
# A && B || fail: fails when either check does, which is meant.
# shellcheck disable=SC2015
set -eu
src=$1 build=$2
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
fail() { echo "FAIL: $*" >&2 && exit 1; }
as_user() { env -u XDG_DATA_HOME -u PREFIX HOME="$home" "$@"; }
# The files under a folder, one path a line, relative to it.
files() { find "$1" ! -type d -printf '%P\n' | sort; }
lib=$home/.local/lib/quibbo
id=org.example.quibbo
entry=$home/.local/share/applications/$id.desktop
icons="16 22 24 32 48 64 128 256"

as_user "$src/scripts/install" "$build" >/dev/null
while read -r installed origin; do
  cmp -s "$home/.local/$installed" "$origin" || fail "$installed not installed"
done <<EOF
lib/quibbo/readme.txt $src/ui/readme.txt
$(for size in $icons; do echo "share/icons/hicolor/${size}x$size/apps/$id.png $src/ui/icons/quibbo-$size.png"; done)
share/icons/hicolor/scalable/apps/$id.svg $src/ui/icons/quibbo.svg
share/metainfo/$id.metainfo.xml $src/ui/$id.metainfo.xml
share/man/man1/quibbo.1 $build/share/man/man1/quibbo.1
share/man/man1/quibbo-cli.1 $build/share/man/man1/quibbo-cli.1
share/bash-completion/completions/quibbo-cli $build/share/bash-completion/completions/quibbo-cli
EOF
for program in quibbo quibbo-cli; do
  [ -x "$lib/$program" ] && [ "$(readlink -f "$home/.local/bin/$program")" = "$lib/$program" ] ||
    fail "$program is not installed and linked from bin"
done
grep -qx "Exec=\"$lib/quibbo\"" "$entry" && grep -qx "Icon=$id" "$entry" || fail "menu entry"
! command -v desktop-file-validate >/dev/null || desktop-file-validate "$entry" || fail "menu entry"
! command -v appstreamcli >/dev/null || report=$(appstreamcli validate --pedantic --no-net \
  "$home/.local/share/metainfo/$id.metainfo.xml") || fail "metainfo: $report"
[ "$(stat -c %a "$lib/qvd.mdb")" = 600 ] || fail "the memory is not private"
# The installed launcher talks to the installed memory, which starts empty.
reply=$(echo "hello there" | as_user "$home/.local/bin/quibbo-cli" --json)
[ "$reply" = '{"you":"hello there","quibbo":"Hello there."}' ] || fail "quibbo-cli answered: $reply"
learned=$(cksum <"$lib/qvd.mdb")
# What goes under the data folder, the manual pages aside.
shared=$(files "$home/.local/share" | grep -v '^man/')

# Reinstalling keeps the memory and someone else's launcher; uninstalling
# leaves just those.
rm "$home/.local/bin/quibbo-cli" && echo "#!/bin/sh" >"$home/.local/bin/quibbo-cli"
as_user "$src/scripts/install" "$build" >/dev/null 2>&1
as_user "$src/scripts/uninstall" >/dev/null
[ "$(cd "$home" && find . ! -type d | sort | tr '\n' ' ')" = "./.local/bin/quibbo-cli ./.local/lib/quibbo/qvd.mdb " ] ||
  fail "uninstall left the wrong files"
[ "$(cksum <"$lib/qvd.mdb")" = "$learned" ] || fail "the memory changed"

# PREFIX and XDG_DATA_HOME move everything, spaces and all.
prefix="$home/my apps" data="$home/my data"
HOME="$home" PREFIX="$prefix" XDG_DATA_HOME="$data" "$src/scripts/install" "$build" >/dev/null
[ "$(files "$data")" = "$shared" ] || fail "in XDG_DATA_HOME: $(files "$data")"
grep -qx "Exec=\"$prefix/lib/quibbo/quibbo\"" "$data/applications/$id.desktop" || fail "menu entry under PREFIX"
HOME="$home" PREFIX="$prefix" XDG_DATA_HOME="$data" "$src/scripts/uninstall" >/dev/null
[ "$(find "$prefix" "$data" ! -type d)" = "$prefix/lib/quibbo/qvd.mdb" ] || fail "uninstall under PREFIX"

# A packager's install: every file lands under DESTDIR, and the links and
# the menu entry lead to the programs' final place.
root=$home/root
DESTDIR="$root" cmake --install "$build" --prefix /usr >/dev/null
target=$(readlink "$root/usr/bin/quibbo")
[ "${target#/}" = "$target" ] && [ -x "$root/usr/bin/$target" ] || fail "the link in bin: $target"
exec=$(sed -n 's/^Exec="\(.*\)"$/\1/p' "$root/usr/share/applications/$id.desktop")
[ -x "$root$exec" ] || fail "the menu entry runs $exec"
[ "$(files "$root${exec%/quibbo}" | tr '\n' ' ')" = "quibbo quibbo-cli qvd.mdb readme.txt unicase.so " ] ||
  fail "installed: $(files "$root")"
echo "install and uninstall: all files checked"
