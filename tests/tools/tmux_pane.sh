# Sourced by the tmux tests: a private tmux server, the pane's text, and
# waits that poll the pane until a generous deadline, so that a loaded
# machine makes them slower but cannot fail them.
export LANG=C.UTF-8 LC_ALL=C.UTF-8
# A private tmux server, also when the test itself runs inside tmux.
unset TMUX TMUX_PANE
work=$(mktemp -d)
sock=$work/tmux.sock
deadline=${PANE_DEADLINE_SECONDS:-180}
settle_after_wait=${settle_after_wait:-0}
tmx() { tmux -S "$sock" -f /dev/null "$@"; }
screen() { tmx capture-pane -p; }
fail() {
    echo "FAIL: $*" >&2
    echo "--- pane:" >&2
    tmx capture-pane -p >&2 || true
    exit 1
}
# Runs the command every tenth of a second until it succeeds; false once
# the deadline has passed.
eventually() {
    local end=$((SECONDS + deadline))
    until "$@"; do
        ((SECONDS < end)) || return 1
        sleep 0.1
    done
}
# The capture is read whole first: grep -q ending early must not break
# tmux's pipe (and so the wait) under pipefail.
shows() {
    local s
    s=$(screen)
    grep -qE -- "$1" <<<"$s"
}
hides() { ! shows "$1"; }
# Waits until two captures a little apart agree (the status row 2 aside, it
# holds a clock), so that no check reads a screen tmux is still taking in.
settle() {
    local before now end=$((SECONDS + deadline))
    before=$(screen | sed 2d)
    while ((SECONDS < end)); do
        sleep 0.2
        now=$(screen | sed 2d)
        [[ $now == "$before" ]] && return 0
        before=$now
    done
    fail "the pane never settled"
}
wait_for() {
    eventually shows "$1" || fail "the pane never showed \"$1\""
    ((settle_after_wait)) && settle
    return 0
}
wait_gone() {
    eventually hides "$1" || fail "the pane kept showing \"$1\""
    ((settle_after_wait)) && settle
    return 0
}
