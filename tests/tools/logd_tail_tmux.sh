#!/usr/bin/env bash
# brindle-logd tail in an 100 x 24 tmux pane: the status pane counts the
# clients, records and gaps, new records scroll into the pane below as the
# server stores them, the filters of query apply, and q gives the terminal
# back.
#   logd_tail_tmux.sh BRINDLE_LOGD SOURCE_DIR
set -euo pipefail
logd=$1
client=$2/tests/tools/logd_client.py
source "$(dirname "${BASH_SOURCE[0]}")/tmux_pane.sh"
server=
trap 'tmx kill-server 2>/dev/null || true; [[ -n $server ]] && kill $server 2>/dev/null; rm -rf "$work"' EXIT

db=$work/logd.db
"$logd" serve --port 0 --port-file "$work/port" --file "$db" >"$work/server.out" 2>&1 &
server=$!
eventually test -s "$work/port" || fail "the server never wrote its port file"
port=$(cat "$work/port")
python3 "$client" send "$port" early h1 1 3 --reset >/dev/null

tmx new-session -d -x 100 -y 24 "\"$logd\" tail --file \"$db\" --interval 100; echo TAIL-EXIT=\$?; sleep 600"
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
# A tmux server of its own: a new session must not race the old server's end.
tmx kill-server
sock=$work/tmux-filtered.sock
tmx new-session -d -x 100 -y 24 "\"$logd\" tail --file \"$db\" --application later --match \"record [18]\" --interval 100; echo TAIL-EXIT=\$?; sleep 600"
# Record 10 (its text matches "record 1") comes last: after it, nothing
# else can still be on its way to the pane.
wait_for "later@h2 pysrc: record 10 "
s=$(screen)
grep -q "later@h2 pysrc: record 8 " <<<"$s" || fail "record 8 matches the pattern"
grep -q "early@h1" <<<"$s" && fail "the application filter let early through"
grep -q "record 2 " <<<"$s" && fail "the pattern let record 2 through"
tmx send-keys q
wait_for "TAIL-EXIT=0"
echo "tail shows status and records"
