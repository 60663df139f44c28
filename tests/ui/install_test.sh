#!/bin/sh
# Installs into a temporary home, checks every file the install places and
# that a second install keeps the memory, then uninstalls and checks that
# only the memory is left. Also installs under a PREFIX and XDG_DATA_HOME
# with a space in them.
set -eu
src=$1
bin=$2
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
as_user() { env -u XDG_DATA_HOME -u PREFIX HOME="$home" "$@"; }

as_user "$src/scripts/install" "$bin" >/dev/null

lib=$home/.local/lib/quibbo
share=$home/.local/share
for file in "$lib/quibbo" "$lib/quibbo-cli"; do
  [ -x "$file" ] || fail "$file is not an installed program"
done
cmp -s "$lib/readme.txt" "$bin/readme.txt" || fail "readme.txt not installed"
[ -f "$lib/qvd.mdb" ] || fail "no memory in $lib"
for program in quibbo quibbo-cli; do
  [ "$(readlink "$home/.local/bin/$program")" = "$lib/$program" ] ||
    fail "launcher $program does not lead to $lib/$program"
done
cmp -s "$share/icons/hicolor/16x16/apps/quibbo.png" "$src/ui/icons/quibbo-16.png" ||
  fail "16 pixel icon not installed"
cmp -s "$share/icons/hicolor/32x32/apps/quibbo.png" "$src/ui/icons/quibbo-32.png" ||
  fail "32 pixel icon not installed"
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
as_user "$src/scripts/install" "$bin" >/dev/null
[ "$(cksum <"$lib/qvd.mdb")" = "$learned" ] || fail "reinstall changed the memory"

# A launcher that is someone else's is not replaced or removed.
rm "$home/.local/bin/quibbo-cli"
echo "#!/bin/sh" >"$home/.local/bin/quibbo-cli"
as_user "$src/scripts/install" "$bin" >/dev/null 2>&1
[ ! -L "$home/.local/bin/quibbo-cli" ] || fail "a foreign launcher was replaced"

as_user "$src/scripts/uninstall" >/dev/null
for file in "$lib/quibbo" "$lib/quibbo-cli" "$lib/readme.txt" \
    "$home/.local/bin/quibbo" "$entry" \
    "$share/icons/hicolor/16x16/apps/quibbo.png" \
    "$share/icons/hicolor/32x32/apps/quibbo.png"; do
  [ ! -e "$file" ] && [ ! -L "$file" ] || fail "$file left after uninstall"
done
[ -f "$home/.local/bin/quibbo-cli" ] || fail "a foreign launcher was removed"
[ "$(cksum <"$lib/qvd.mdb")" = "$learned" ] || fail "uninstall touched the memory"

# PREFIX and XDG_DATA_HOME move everything, spaces and all.
prefix="$home/my apps"
data="$home/my data"
HOME="$home" PREFIX="$prefix" XDG_DATA_HOME="$data" \
  "$src/scripts/install" "$bin" >/dev/null
[ -x "$prefix/lib/quibbo/quibbo" ] || fail "PREFIX not honoured"
[ -f "$prefix/lib/quibbo/qvd.mdb" ] || fail "no memory under PREFIX"
grep -qx "Exec=\"$prefix/lib/quibbo/quibbo\"" "$data/applications/quibbo.desktop" ||
  fail "XDG_DATA_HOME not honoured"
HOME="$home" PREFIX="$prefix" XDG_DATA_HOME="$data" "$src/scripts/uninstall" >/dev/null
[ ! -e "$data/applications/quibbo.desktop" ] || fail "uninstall missed XDG_DATA_HOME"
echo "install and uninstall: all files checked"
