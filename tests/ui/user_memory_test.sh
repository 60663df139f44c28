#!/bin/sh
# The memory each program chooses, run from a copy of an installed program
# folder (a build's bin, or the Debian package's /usr/lib/quibbo):
# where the folder holds no memory and cannot be written, as in a system
# install, each user gets their own at their first start, private, in a
# private folder, and the window and quibbo-cli agree on it; a memory beside
# the program wins; a writable folder keeps the missing-memory message; and
# --memory overrides all, creating nothing. The users are HOMEs of their own;
# run as root, the programs run as nobody, for whom the folder is read-only.
# FOLDER is copied, and a memory in it left out: build/bin will do.
#   user_memory_test.sh FOLDER
# A && B || fail: fails when either check does, which is meant.
# shellcheck disable=SC2015
set -eu
installed=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2 && exit 1; }
chmod 755 "$work"
cp -R "$installed" "$work/system"
rm -f "$work/system"/qvd.mdb*
cp -R "$work/system" "$work/writable"
chmod a-w "$work/system"

nobody=65534
# Runs a program as a user whose home is $1, clean of the caller's
# settings; in place of this shell, so that $! of `as_user ... &` is the
# program's.
as_user() (
  home=$1 && shift
  set -- env -i PATH=/usr/bin:/bin HOME="$home" LANG=C.UTF-8 "$@"
  if [ "$(id -u)" -eq 0 ]; then
    exec setpriv --reuid=$nobody --regid=$nobody --clear-groups -- "$@"
  fi
  exec "$@"
)
new_home() {
  mkdir -p "$work/$1" && [ "$(id -u)" -ne 0 ] || chown $nobody:$nobody "$work/$1"
  echo "$work/$1"
}
sentences() { as_user "$1" "$2/quibbo-cli" export --memory "$3" -; }
mode() { stat -c %a "$1"; }

# Two users of a system install, one with XDG_DATA_HOME: each gets a memory
# of their own at the first start, and keeps what they said in it.
alice=$(new_home alice) bob=$(new_home bob)
mine=$alice/.local/share/quibbo/qvd.mdb bobs=$bob/data/quibbo/qvd.mdb
reply=$(echo "hello there" | as_user "$alice" "$work/system/quibbo-cli" --json)
[ "$reply" = '{"quibbo":"Hello there.","you":"hello there"}' ] || fail "alice's first reply: $reply"
echo "good morning" | as_user "$bob" XDG_DATA_HOME="$bob/data" "$work/system/quibbo-cli" >/dev/null
[ "$(mode "$mine")" = 600 ] && [ "$(mode "$bobs")" = 600 ] || fail "a memory is not private"
for folder in "$alice/.local" "$alice/.local/share" "$alice/.local/share/quibbo" "$bob/data" "$bob/data/quibbo"; do
  [ "$(mode "$folder")" = 700 ] || fail "$folder is $(mode "$folder"), not 700"
done
[ "$(sentences "$alice" "$work/system" "$mine")" = "Hello there." ] || fail "alice's memory"
[ "$(sentences "$bob" "$work/system" "$bobs")" = "Good morning." ] || fail "bob's memory"
echo "general kenobi" | as_user "$alice" "$work/system/quibbo-cli" >/dev/null
[ "$(sentences "$alice" "$work/system" "$mine" | wc -l)" = 2 ] || fail "alice's second start"

# The window names the same memory in --help, and makes it at its first
# start too.
carol=$(new_home carol)
hers=$carol/.local/share/quibbo/qvd.mdb
as_user "$carol" "$work/system/quibbo" --help | grep -qx "  $hers" || fail "quibbo --help: $(as_user "$carol" "$work/system/quibbo" --help)"
[ ! -e "$hers" ] || fail "--help made a memory"
as_user "$carol" QT_QPA_PLATFORM=offscreen "$work/system/quibbo" >/dev/null 2>&1 &
window=$!
for _ in $(seq 100); do [ -e "$hers" ] && break; sleep 0.1; done
kill $window && wait $window 2>/dev/null || true
[ -e "$hers" ] && [ "$(mode "$hers")" = 600 ] || fail "the window made no memory for carol"

# --memory overrides everything and creates nothing; a writable folder
# without a memory, and a memory beside the program, are used as they are.
dave=$(new_home dave)
other=$work/other.mdb
reply=$(echo hi | as_user "$dave" "$work/system/quibbo-cli" --memory "$other")
echo "$reply" | grep -qF "$other does not exist" || fail "--memory: $reply"
chmod u+w "$work/system" "$work/writable"
[ "$(id -u)" -ne 0 ] || chown $nobody:$nobody "$work/writable"
reply=$(echo hi | as_user "$dave" "$work/writable/quibbo-cli")
echo "$reply" | grep -qF "$work/writable/qvd.mdb does not exist" || fail "writable folder: $reply"
as_user "$dave" "$work/writable/quibbo" --help | grep -qx "  $work/writable/qvd.mdb" || fail "quibbo --help in a writable folder"
"$work/system/quibbo-cli" init --memory "$work/system/qvd.mdb" >/dev/null
chmod a-w "$work/system"
as_user "$dave" "$work/system/quibbo" --help | grep -qx "  $work/system/qvd.mdb" || fail "quibbo --help beside a memory"
echo hi | as_user "$dave" "$work/system/quibbo-cli" >/dev/null
[ -z "$(find "$dave" "$work/writable" -name qvd.mdb)" ] && [ ! -e "$other" ] || fail "a memory was made: $(find "$work" -name qvd.mdb)"
echo "memory of each user: all checks passed"
