#!/usr/bin/env bash
# brindle-logd tail in an 100 x 24 tmux pane: the status pane counts the
# clients, records and gaps, new records scroll into the pane below as the
# server stores them, the filters of query apply, and q gives the terminal
# back.
#   logd_tail_tmux.sh BRINDLE_LOGD SOURCE_DIR
set -euo pipefail
logd=$1
client=$2/tests/tools/logd_client.py
export LANG=C.UTF-8 LC_ALL=C.UTF-8
unset TMUX TMUX_PANE
work=$(mktemp -d)
sock=$work/tmux.sock
tmx() { tmux -S "$sock" -f /dev/null "$@"; }
server=
trap 'tmx kill-server 2>/dev/null || true; [[ -n $server ]] && kill $server 2>/dev/null; rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*" >&2
    echo "--- pane:" >&2
    tmx capture-pane -p >&2 || true
    exit 1
}
screen() { tmx capture-pane -p; }
wait_for() {
    for _ in $(seq 600); do
        screen | grep -qE -- "$1" && return 0
        sleep 0.1
    done
    fail "the pane never showed \"$1\""
}

db=$work/logd.db
"$logd" serve --port 0 --port-file "$work/port" --file "$db" >"$work/server.out" 2>&1 &
server=$!
for _ in $(seq 300); do [[ -s $work/port ]] && break; sleep 0.1; done
port=$(cat "$work/port")
python3 "$client" send "$port" early h1 1 3 --reset >/dev/null

tmx new-session -d -x 100 -y 24 "\"$logd\" tail --file \"$db\" --interval 100; echo TAIL-EXIT=\$?; sleep 60"
wait_for "clients 1   records 3 .*gaps 0 \(lost 0\)   resets 1"
wait_for "│[0-9:]{8} I early@h1 pysrc: record 3"
# New records arrive while it watches; a gap of 4 (from 4 to 7) is counted.
python3 "$client" send "$port" later h2 1 10 --reset --skip 3-6 --severity 2 >/dev/null
wait_for "clients 2   records 9 .*gaps 1 \(lost 4\)   resets 2"
wait_for "│[0-9:]{8} E later@h2 pysrc: record 10"
# In order: record 2 of later is above record 7, which is above 10.
s=$(screen)
a=$(grep -n "later@h2 pysrc: record 2 " <<<"$s" | cut -d: -f1)
b=$(grep -n "later@h2 pysrc: record 7 " <<<"$s" | cut -d: -f1)
c=$(grep -n "later@h2 pysrc: record 10 " <<<"$s" | cut -d: -f1)
[[ $a -lt $b && $b -lt $c ]] || fail "records out of order ($a $b $c)"
tmx send-keys q
wait_for "TAIL-EXIT=0"

# Filtered: only the application asked for, only texts the pattern finds.
tmx kill-server
tmx new-session -d -x 100 -y 24 "\"$logd\" tail --file \"$db\" --application later --match \"record [18]\" --interval 100; echo TAIL-EXIT=\$?; sleep 60"
wait_for "later@h2 pysrc: record 8"
s=$(screen)
grep -q "early@h1" <<<"$s" && fail "the application filter let early through"
grep -q "record 2 " <<<"$s" && fail "the pattern let record 2 through"
grep -q "record 10 " <<<"$s" || fail "record 10 matches record 1"
tmx send-keys q
wait_for "TAIL-EXIT=0"
echo "tail shows status and records"
