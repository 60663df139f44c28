#!/bin/sh
# Installs into a temporary home, checks every file the install places and
# that a second install keeps the memory, then uninstalls and checks that
# only the memory is left. Also installs under a PREFIX and XDG_DATA_HOME
# with a space in them, and with `cmake --install` under DESTDIR as a
# packager does.
set -eu
src=$1
build=$2
bin=$build/bin
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
as_user() { env -u XDG_DATA_HOME -u PREFIX HOME="$home" "$@"; }

as_user "$src/scripts/install" "$build" >/dev/null

lib=$home/.local/lib/quibbo
share=$home/.local/share
for file in "$lib/quibbo" "$lib/quibbo-cli"; do
  [ -x "$file" ] || fail "$file is not an installed program"
done
# Each installed file, and where it came from.
while read -r installed origin; do
  cmp -s "$home/.local/$installed" "$origin" || fail "$installed not installed"
done <<EOF2
lib/quibbo/readme.txt $src/ui/readme.txt
share/icons/hicolor/16x16/apps/quibbo.png $src/ui/icons/quibbo-16.png
share/icons/hicolor/32x32/apps/quibbo.png $src/ui/icons/quibbo-32.png
share/man/man1/quibbo.1 $build/share/man/man1/quibbo.1
share/man/man1/quibbo-cli.1 $build/share/man/man1/quibbo-cli.1
share/bash-completion/completions/quibbo-cli $build/share/bash-completion/completions/quibbo-cli
EOF2
[ -f "$lib/qvd.mdb" ] || fail "no memory in $lib"
for program in quibbo quibbo-cli; do
  [ "$(readlink -f "$home/.local/bin/$program")" = "$lib/$program" ] ||
    fail "launcher $program does not lead to $lib/$program"
done
entry=$share/applications/quibbo.desktop
grep -qx "Exec=\"$lib/quibbo\"" "$entry" || fail "menu entry runs the wrong program"
grep -qx "Icon=quibbo" "$entry" || fail "menu entry lacks the icon"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$entry" || fail "menu entry is not valid"
fi

# The installed launcher talks to the installed memory, which starts empty.
reply=$(echo "hello there" | as_user "$home/.local/bin/quibbo-cli" --json)
[ "$reply" = '{"quibbo":"Hello there.","you":"hello there"}' ] ||
  fail "installed quibbo-cli answered: $reply"
learned=$(cksum <"$lib/qvd.mdb")

# A second install updates the programs and keeps what was learned.
as_user "$src/scripts/install" "$build" >/dev/null
[ "$(cksum <"$lib/qvd.mdb")" = "$learned" ] || fail "reinstall changed the memory"

# A launcher that is someone else's is not replaced or removed.
rm "$home/.local/bin/quibbo-cli"
echo "#!/bin/sh" >"$home/.local/bin/quibbo-cli"
as_user "$src/scripts/install" "$build" >/dev/null 2>&1
[ ! -L "$home/.local/bin/quibbo-cli" ] || fail "a foreign launcher was replaced"

# Uninstalling leaves the memory and the foreign launcher, and nothing else.
as_user "$src/scripts/uninstall" >/dev/null
left=$(cd "$home" && find . ! -type d | sort | tr '\n' ' ')
[ "$left" = "./.local/bin/quibbo-cli ./.local/lib/quibbo/qvd.mdb " ] ||
  fail "uninstall left: $left"
[ "$(cksum <"$lib/qvd.mdb")" = "$learned" ] || fail "uninstall touched the memory"

# PREFIX and XDG_DATA_HOME move everything, spaces and all.
prefix="$home/my apps"
data="$home/my data"
HOME="$home" PREFIX="$prefix" XDG_DATA_HOME="$data" \
  "$src/scripts/install" "$build" >/dev/null
[ -x "$prefix/lib/quibbo/quibbo" ] || fail "PREFIX not honoured"
[ -f "$prefix/lib/quibbo/qvd.mdb" ] || fail "no memory under PREFIX"
grep -qx "Exec=\"$prefix/lib/quibbo/quibbo\"" "$data/applications/quibbo.desktop" ||
  fail "XDG_DATA_HOME not honoured"
[ -f "$data/bash-completion/completions/quibbo-cli" ] ||
  fail "completion not under XDG_DATA_HOME"
HOME="$home" PREFIX="$prefix" XDG_DATA_HOME="$data" "$src/scripts/uninstall" >/dev/null
left=$(find "$prefix" "$data" ! -type d)
[ "$left" = "$prefix/lib/quibbo/qvd.mdb" ] || fail "uninstall left: $left"

# A packager's install: every file lands under DESTDIR, and the links and
# the menu entry lead to the programs' final place.
root=$home/root
DESTDIR="$root" cmake --install "$build" --prefix /usr >/dev/null
target=$(readlink "$root/usr/bin/quibbo")
case $target in /*) fail "the link in bin is absolute: $target" ;; esac
[ -x "$root/usr/bin/$target" ] || fail "the link in bin leads nowhere"
exec=$(sed -n 's/^Exec="\(.*\)"$/\1/p' "$root/usr/share/applications/quibbo.desktop")
[ -x "$root$exec" ] || fail "the menu entry runs $exec"
names=$(find "$root" ! -type d -printf '%f\n' | sort | tr '\n' ' ')
[ "$names" = "quibbo quibbo quibbo-cli quibbo-cli quibbo-cli quibbo-cli.1 quibbo.1 \
quibbo.desktop quibbo.png quibbo.png qvd.mdb readme.txt unicase.so " ] || fail "installed: $names"
echo "install and uninstall: all files checked"
