#!/bin/sh
# The memory each program chooses, run from a copy of a program folder (a
# build's bin, or the Debian package's /usr/lib/quibbo) without its memory.
# Where the folder cannot be written, as in a system install, each user gets
# their own at their first start, private, in a private folder, and the
# window and quibbo-cli agree on it; a memory beside the program wins; a
# writable folder keeps the missing-memory message; --memory overrides all
# and creates nothing; with no display the window ends at once. The users
# are HOMEs of their own; run as root, the programs run as nobody, for whom
# the folder is read-only.
#   user_memory_test.sh FOLDER
# A && B || fail: fails when either check does, which is meant.
# shellcheck disable=SC2015
set -eu
work=$(mktemp -d)
window=""
trap '[ -z "$window" ] || kill "$window" 2>/dev/null || true; chmod -R u+w "$work"; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2 && exit 1; }
chmod 755 "$work"
system=$work/system writable=$work/writable
cp -R "$1" "$system" && rm -f "$system"/qvd.mdb* && cp -R "$system" "$writable"
a=$work/alice b=$work/bob c=$work/carol d=$work/dave
mkdir "$a" "$b" "$c" "$d"
as=""
if [ "$(id -u)" -eq 0 ]; then
  as="setpriv --reuid=65534 --regid=65534 --clear-groups --"
  chown 65534:65534 "$a" "$b" "$c" "$d" "$writable"
fi
chmod a-w "$system"
# Runs a program as the user whose home is $1.
as_user() (home=$1 && shift && exec $as env -i PATH=/usr/bin:/bin HOME="$home" LANG=C.UTF-8 "$@")
said() { as_user "$1" "$system/quibbo-cli" export --memory "$2" | tr '\n' ' '; }

# Two users, one with XDG_DATA_HOME: each has a memory of their own from the
# first start on, and keeps what they said in it.
mine=$a/.local/share/quibbo/qvd.mdb bobs=$b/data/quibbo/qvd.mdb hers=$c/.local/share/quibbo/qvd.mdb
echo "hello there" | as_user "$a" "$system/quibbo-cli" >/dev/null
echo "good morning" | as_user "$b" XDG_DATA_HOME="$b/data" "$system/quibbo-cli" >/dev/null
echo "general kenobi" | as_user "$a" "$system/quibbo-cli" >/dev/null
[ "$(said "$a" "$mine")" = "Hello there. General kenobi. " ] && [ "$(said "$b" "$bobs")" = "Good morning. " ] ||
  fail "alice said $(said "$a" "$mine"), bob $(said "$b" "$bobs")"
modes=$(stat -c %a "$mine" "$bobs" "$a/.local" "$a/.local/share" "$a/.local/share/quibbo" "$b/data" "$b/data/quibbo" | tr '\n' ' ')
[ "$modes" = "600 600 700 700 700 700 700 " ] || fail "modes of the memories and their folders: $modes"

# The window names the same memory in --help, and makes it at its first start.
as_user "$c" "$system/quibbo" --help | grep -qx "  $hers" && [ ! -e "$hers" ] || fail "quibbo --help for carol"
# Started here, not through as_user, so that $! is the window's own pid.
$as env -i PATH=/usr/bin:/bin HOME="$c" QT_QPA_PLATFORM=offscreen "$system/quibbo" >/dev/null 2>&1 &
window=$!
for _ in $(seq 100); do [ -e "$hers" ] && break; sleep 0.1; done
kill "$window" 2>/dev/null || true
{ wait "$window"; } 2>/dev/null || true
window=""
[ "$(stat -c %a "$hers")" = 600 ] || fail "the window made no memory for carol"
# With no display, or one set but not there, it says so in one line and
# ends with status 3.
for display in "" DISPLAY=:9999; do
  # shellcheck disable=SC2086
  status=0 && as_user "$c" $display "$system/quibbo" 2>"$work/err" || status=$?
  [ "$status" = 3 ] && [ "$(wc -l <"$work/err")" = 1 ] || fail "quibbo with no display: $status, $(cat "$work/err")"
done

# --memory and a writable folder: the missing memory is named, none is made.
# A memory beside the program is used as it is.
reply=$(echo hi | as_user "$d" "$system/quibbo-cli" --memory "$work/other.mdb" || true)
echo "$reply" | grep -qF "$work/other.mdb does not exist" || fail "--memory: $reply"
reply=$(echo hi | as_user "$d" "$writable/quibbo-cli" || true)
echo "$reply" | grep -qF "$writable/qvd.mdb does not exist" || fail "a writable folder: $reply"
chmod u+w "$system" && "$system/quibbo-cli" init --memory "$system/qvd.mdb" >/dev/null && chmod a-w "$system"
as_user "$d" "$system/quibbo" --help | grep -qx "  $system/qvd.mdb" || fail "quibbo --help beside a memory"
echo hi | as_user "$d" "$system/quibbo-cli" >/dev/null || true
[ -z "$(find "$d" "$writable" "$work/other.mdb" -name '*.mdb' 2>/dev/null)" ] || fail "a memory was made for dave"
echo "memory of each user: all checks passed"
