#!/usr/bin/env bash
# The console windows end to end: console-demo runs in an 80 x 24 tmux pane;
# what tmux shows (capture-pane) must have the panes' borders, the log
# lines scrolled in order, a help window laid over them and taken off again
# with the lines that scrolled beneath it intact, control bytes as glyphs, a
# new layout when the terminal is resized, and the terminal given back on q.
#   console_demo_tmux.sh CONSOLE_DEMO
set -euo pipefail
demo=$1
settle_after_wait=1
source "$(dirname "${BASH_SOURCE[0]}")/../../../../tools/tmux_pane.sh"
trap 'tmx kill-server 2>/dev/null || true; rm -rf "$work"' EXIT
row() { screen | sed -n "$(($1 + 1))p"; }
# Characters (not bytes) $2 on, $3 of them, of row $1.
cells() { local line; line=$(row "$1"); echo "${line:$2:$3}"; }

tmx new-session -d -x 80 -y 24 "\"$demo\" --interval 20 --lines 40; echo DEMO-EXIT=\$?; sleep 600"
wait_for "lines 40 "

h78=$(printf '─%.0s' $(seq 78))
check_frames() {
    local s
    s=$(screen)
    [[ $(sed -n 1p <<<"$s") == "┌${h78}┐" ]] || fail "status pane top border"
    [[ $(sed -n 3p <<<"$s") == "└${h78}┘" ]] || fail "status pane bottom border"
    [[ $(sed -n 4p <<<"$s") == "┌${h78}┐" ]] || fail "log pane top border"
    [[ $(sed -n 24p <<<"$s") == "└${h78}┘" ]] || fail "log pane bottom border"
    sed -n 2p <<<"$s" | grep -qE '^│ [0-9]{2}:[0-9]{2}:[0-9]{2} UTC   lines [0-9]+ .*│$' || fail "status line"
    for r in $(seq 5 23); do
        local line
        line=$(sed -n "${r}p" <<<"$s")
        [[ $line == │*│ ]] || fail "log pane side borders on row $((r - 1))"
    done
}
# The log pane's inner rows (4 to 22) hold the 19 lines up to $1, in order;
# rows in "$2" (a regex of row numbers) are left out (covered).
check_lines() {
    local last=$1 covered=${2:-^$} r n line
    for r in $(seq 4 22); do
        [[ $r =~ $covered ]] && continue
        n=$((last - 22 + r))
        line=$(row "$r")
        printf -v want '│line %04d  ' "$n"
        [[ $line == "$want"* ]] || fail "row $r should start with line $n: $line"
        [[ $line =~ ^│line\ [0-9]{4}\ \ [0-9]{2}:[0-9]{2}:[0-9]{2}\ +│$ ]] || fail "row $r is not a whole log line: $line"
    done
}

check_frames
check_lines 40
screen | grep -q "line 0021" && fail "line 21 should have scrolled out of the pane"
echo "ok: borders and 40 scrolled lines"

# The help window over the log pane: 30 x 7 at column 25, row 10.
tmx send-keys h
wait_for "n  one log line now"
help_top="┌$(printf '─%.0s' $(seq 28))┐"
help_bottom="└$(printf '─%.0s' $(seq 28))┘"
[[ $(cells 10 25 30) == "$help_top" ]] || fail "help window top border: $(row 10)"
[[ $(cells 16 25 30) == "$help_bottom" ]] || fail "help window bottom border: $(row 16)"
check_frames
check_lines 40 '^1[0-6]$'
echo "ok: help window over the log"

# Lines scroll beneath it; it stays whole on top.
tmx send-keys n n n
wait_for "lines 43 "
[[ $(cells 10 25 30) == "$help_top" ]] || fail "help window top after scrolling beneath: $(row 10)"
[[ $(cells 16 25 30) == "$help_bottom" ]] || fail "help window bottom after scrolling beneath: $(row 16)"
row 12 | grep -qF "│ q  quit" || fail "help text after scrolling beneath: $(row 12)"
check_lines 43 '^1[0-6]$'
echo "ok: lines scroll beneath the help window"

# Taken off: the lines that scrolled beneath are whole.
tmx send-keys h
wait_gone "n  one log line now"
check_frames
check_lines 43
echo "ok: help window gone, lines beneath intact"

# Control bytes in text are drawn as their code page 437 glyphs: the line
# shows them, and nothing else on the screen moved.
tmx send-keys c
wait_for "lines 44 "
glyphs="☺☻♥♦♣♠•◘○◙♂♀♪♫☼►◄↕‼¶§▬↨↑↓→←∟↔▲▼⌂"
want="│controls ${glyphs}"
[[ $(row 22) == "$want"*"│" ]] || fail "control bytes line: $(row 22)"
check_frames
check_lines 44 '^22$'
echo "ok: control bytes drawn as glyphs"

# A terminal of another size: the panes are laid out anew to its width and
# the log pane shows its latest lines again.
tmx resize-window -x 100 -y 20
h98=$(printf '─%.0s' $(seq 98))
wait_for "┌${h98}┐"
for r in 0 3; do [[ $(row $r) == "┌${h98}┐" ]] || fail "top border of a pane after resizing, row $r"; done
for r in 2 19; do [[ $(row $r) == "└${h98}┘" ]] || fail "bottom border of a pane after resizing, row $r"; done
[[ $(row 18) == "│controls ${glyphs}"*"│" ]] || fail "control bytes line after resizing: $(row 18)"
for r in $(seq 4 17); do
    printf -v want '│line %04d  ' "$((26 + r))"
    [[ $(row "$r") == "$want"*"│" ]] || fail "row $r after resizing should hold line $((26 + r)): $(row "$r")"
done
echo "ok: laid out anew for a resized terminal"

tmx send-keys q
wait_for "DEMO-EXIT=0"
screen | grep -qF "┌" && fail "the main screen should be back after q"
echo "ok: q quits and gives the terminal back"
