#!/bin/sh
# The memory each program chooses, run from a copy of a program folder (a
# build's bin, or the Debian package's /usr/lib/quibbo) without its memory.
# Per-user memory: in a folder that is not theirs, as in a system install,
# each user gets their own at their first start, private, in a private
# folder, and the window and quibbo-cli agree on it; so does the folder's
# owner (root in a system install); a full disk at the first start is
# told as such. A folder of the user's, in their home or a build's, keeps
# the memory beside the program; --memory overrides all and creates
# nothing; with no display the window ends at once. Links and folders: the
# folder of a user's own memory is made theirs alone, or refused. The users
# are HOMEs of their own; run as root, the programs run as nobody.
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
# Runs a program as the owner of the copies, whose home is $1.
as_owner() (home=$1 && shift && exec env -i PATH=/usr/bin:/bin HOME="$home" LANG=C.UTF-8 "$@")
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

# --memory, and a folder of the user's, in their home or a build's: the
# missing memory is named, none is made. Elsewhere, even in a folder they
# may write, they have their own.
mkdir -p "$d/apps" "$work/build" && cp -R "$system/." "$d/apps" && cp -R "$system" "$work/build/bin"
touch "$work/build/CMakeCache.txt" && chmod -R u+w "$d/apps" "$work/build"
[ -z "$as" ] || chown -R 65534:65534 "$d/apps" "$work/build"
for memory in "$work/other.mdb" "$d/apps/qvd.mdb" "$work/build/bin/qvd.mdb"; do
  folder=${memory%/*} named=""
  [ "$folder" != "$work" ] || folder=$system named="--memory $memory"
  # shellcheck disable=SC2086
  reply=$(echo hi | as_user "$d" "$folder/quibbo-cli" $named || true)
  echo "$reply" | grep -qF "$memory does not exist" || fail "$memory: $reply"
done
echo hi | as_user "$d" "$writable/quibbo-cli" >/dev/null && [ -e "$d/.local/share/quibbo/qvd.mdb" ] ||
  fail "a folder dave may write, not his"
[ -z "$(find "$d/apps" "$work/build" "$writable" "$work/other.mdb" -name 'qvd.mdb' 2>/dev/null)" ] ||
  fail "a memory was made beside the program"

# The folder's owner gets a memory of their own, as init and a conversation
# show, and is never pointed at the folder, nor at another user's build.
r=$work/root && mkdir "$r"
as_owner "$r" "$system/quibbo-cli" init | grep -qF "$r/.local/share/quibbo/qvd.mdb" || fail "init for the owner"
reply=$(echo hi | as_owner "$r" "$system/quibbo-cli" --json)
[ "$reply" = '{"you":"hi","quibbo":"Hi."}' ] && [ -z "$(find "$system" -name 'qvd*')" ] || fail "the owner: $reply"
[ -z "$as" ] || [ "$(echo hi | as_owner "$r" "$work/build/bin/quibbo-cli" --json)" = "$reply" ] ||
  fail "root in a build of nobody's"

# A full disk at the first start: one line, status 8, and nothing left
# behind, in a conversation and in init. It takes a file system of its own:
# as root, or as a user in a namespace of their own where those are allowed.
if [ -n "$as" ]; then ns="unshare -m" owner=65534; else ns="unshare -rm" owner=0; fi
full=$work/full && mkdir "$full"
# shellcheck disable=SC2016,SC2086
on_full_disk() { $ns sh -c 'mount -t tmpfs -o size=128k none "$1" && d=$1 && chown "$2" "$1" && shift 2 &&
  { dd if=/dev/zero of="$d/fill" bs=4k; truncate -s -16k "$d/fill"; } 2>/dev/null
  status=0 && "$@" || status=$?; find "$d" -name "qvd*"; exit $status' _ "$full" "$owner" \
  $as env -i PATH=/usr/bin:/bin HOME="$full" "$system/quibbo-cli" "$@"; }
if $ns true 2>/dev/null; then
  for command in chat init; do
    status=0 && echo hi | on_full_disk $command >"$work/out" 2>"$work/err" || status=$?
    [ "$status" = 8 ] && [ "$(wc -l <"$work/err")" = 1 ] && [ ! -s "$work/out" ] ||
      fail "$command on a full disk: $status, $(cat "$work/out" "$work/err")"
  done
fi

# Links and folders: erin's folder is made hers alone, and refused in one
# line naming the folder at fault as a link (by the window too), in a folder
# others may write without the sticky bit, and as another's.
e=$work/erin share=$work/erin/.local/share && mkdir -p "$share/quibbo" "$e/elsewhere" && chmod 755 "$share/quibbo"
[ -z "$as" ] || chown -R 65534:65534 "$e"
echo hi | as_user "$e" "$system/quibbo-cli" >/dev/null && [ "$(stat -c %a "$share/quibbo")" = 700 ] ||
  fail "erin's folder was not made hers alone"
refused() {
  status=0 && as_user "$e" "$system/quibbo-cli" stats >/dev/null 2>"$work/err" || status=$?
  [ "$status" = 13 ] && [ "$(wc -l <"$work/err")" = 1 ] && grep -qE "$1[ ,]" "$work/err" || fail "$1: $status, $(cat "$work/err")"
}
mv "$share/quibbo" "$e/kept" && ln -s ../../elsewhere "$share/quibbo" && refused "$share/quibbo"
# The window too, in its message box and in a line on stderr.
: >"$work/err" && $as env -i PATH=/usr/bin:/bin HOME="$e" QT_QPA_PLATFORM=offscreen "$system/quibbo" 2>"$work/err" &
window=$!
for _ in $(seq 100); do grep -q "^quibbo: " "$work/err" && break; sleep 0.1; done
kill "$window" 2>/dev/null || true
{ wait "$window"; } 2>/dev/null || true
window=""
grep "^quibbo: " "$work/err" | grep -qF "$share/quibbo" || fail "the window beside a link: $(cat "$work/err")"
[ -z "$(ls "$e/elsewhere")" ] || fail "a memory was made through a link"
rm "$share/quibbo" && mv "$e/kept" "$share/quibbo" && chmod 777 "$share" && refused "$share"
chmod 1777 "$share" && as_user "$e" "$system/quibbo-cli" stats >/dev/null || fail "a folder with the sticky bit"
[ -z "$as" ] || { chown 0 "$share/quibbo" && refused "$share/quibbo"; }
echo "memory of each user: all checks passed"
