#!/bin/sh
# Installs under a PREFIX and an XDG_DATA_HOME with spaces in their names,
# checks every file placed, that the installed launcher talks to the
# installed memory, and that a second install keeps the memory and someone
# else's launcher; then uninstalls, and checks that only those are left.
set -eu
src=$1
bin=$2
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
export HOME="$home" PREFIX="$home/my apps" XDG_DATA_HOME="$home/my data"
lib=$PREFIX/lib/quibbo
icons=$XDG_DATA_HOME/icons/hicolor
entry=$XDG_DATA_HOME/applications/quibbo.desktop

"$src/scripts/install" "$bin" >/dev/null
for program in quibbo quibbo-cli; do
  [ -x "$lib/$program" ] || fail "$program is not installed"
  [ "$(readlink "$PREFIX/bin/$program")" = "$lib/$program" ] ||
    fail "the launcher $program does not lead to $lib/$program"
done
for size in 16 32; do
  cmp -s "$icons/${size}x$size/apps/quibbo.png" "$src/ui/icons/quibbo-$size.png" ||
    fail "the $size pixel icon is not installed"
done
cmp -s "$lib/readme.txt" "$bin/readme.txt" || fail "readme.txt not installed"
grep -qx "Exec=\"$lib/quibbo\"" "$entry" || fail "the menu entry runs $(grep Exec "$entry")"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$entry" || fail "the menu entry is not valid"
fi
reply=$(echo "hello there" | "$PREFIX/bin/quibbo-cli" --json)
[ "$reply" = '{"quibbo":"Hello there.","you":"hello there"}' ] ||
  fail "the installed quibbo-cli answered: $reply"
learned=$(cksum <"$lib/qvd.mdb")

rm "$PREFIX/bin/quibbo-cli"
echo "#!/bin/sh" >"$PREFIX/bin/quibbo-cli"
"$src/scripts/install" "$bin" >/dev/null 2>&1
[ "$(cksum <"$lib/qvd.mdb")" = "$learned" ] || fail "reinstall changed the memory"
[ ! -L "$PREFIX/bin/quibbo-cli" ] || fail "a foreign launcher was replaced"

"$src/scripts/uninstall" >/dev/null
for file in "$lib/quibbo" "$lib/quibbo-cli" "$lib/readme.txt" "$entry" \
    "$PREFIX/bin/quibbo" "$icons/16x16/apps/quibbo.png"; do
  [ ! -e "$file" ] && [ ! -L "$file" ] || fail "$file left after uninstall"
done
[ -f "$PREFIX/bin/quibbo-cli" ] || fail "a foreign launcher was removed"
[ "$(cksum <"$lib/qvd.mdb")" = "$learned" ] || fail "uninstall touched the memory"
echo "install and uninstall: all files checked"
