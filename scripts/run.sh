#!/usr/bin/env bash
# Sets up, builds and runs the main job: the feed server zphd on loopback and
# MAVO connected to it. Without a display MAVO runs offscreen for a few
# seconds and leaves a picture of its main window.
#
#   MAVO_SETTINGS_DIR   the settings store MAVO uses (default build/run/settings,
#                       kept between runs, so settings stay as they were left)
#   MAVO_RUN_SECONDS    end MAVO after this many seconds and save a picture of
#                       the main window (default without a display: 8)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRINDLE_BUILD_CLIENT=ON >/dev/null
cmake --build build -j "$(nproc)"

mavo=build/client/mavo
zphd=build/feed/server/zphd
reg=build/tools/brindle-reg/brindle-reg
for program in "$mavo" "$zphd" "$reg"; do
  if [ ! -x "$program" ]; then
    echo "$program is not part of this build; the library, the tools and the tests were built in build/."
    exit 1
  fi
done

run=$root/build/run
mkdir -p "$run"
chmod 700 "$run"
export BRINDLE_REGISTRY_DIR=${MAVO_SETTINGS_DIR:-$run/settings}
mkdir -p "$BRINDLE_REGISTRY_DIR"
# Where MAVO keeps its single-instance lock and socket (a root shell often has
# no runtime directory of its own).
if [ -z "${XDG_RUNTIME_DIR:-}" ] || [ ! -d "$XDG_RUNTIME_DIR" ]; then
  export XDG_RUNTIME_DIR=$run/runtime
  mkdir -p "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
fi

# zphd on free loopback ports; it stops when this script ends, however it ends.
rm -f "$run/ports"
"$zphd" --port 0 --database-port 0 --control-port 0 --ports-file "$run/ports" -q 2>"$run/zphd.log" &
zphd_pid=$!
stop_zphd() {
  kill "$zphd_pid" 2>/dev/null || true
  wait "$zphd_pid" 2>/dev/null || true
}
trap stop_zphd EXIT
trap 'exit 130' INT TERM
for _ in $(seq 1 300); do
  [ -s "$run/ports" ] && break
  kill -0 "$zphd_pid" 2>/dev/null || { echo "zphd did not start:"; cat "$run/zphd.log"; exit 1; }
  sleep 0.1
done
socket_port=$(awk '$1 == "socket" {print $2}' "$run/ports")
control_port=$(awk '$1 == "control" {print $2}' "$run/ports")
[ -n "$socket_port" ] || { echo "zphd wrote no ports"; exit 1; }

# Both the primary and the backup connection are socket sources at zphd, so
# that failover has somewhere to go. One import: all or nothing.
key='HKEY_CURRENT_USER\Software\Halvern\MAVO\Controller'
port_hex=$(printf '%08x' "$socket_port")
{
  echo 'Windows Registry Editor Version 5.00'
  for connection in "$key" "$key\\Backup"; do
    echo
    echo "[$connection]"
    echo '"FeedSource"=dword:00000001'
    echo
    echo "[$connection\\Socket]"
    echo '"Host"="127.0.0.1"'
    echo "\"Port\"=dword:$port_hex"
  done
} > "$run/feed.reg"
"$reg" import "$run/feed.reg"

# At the first start (no settings saved yet) MAVO opens page 1 of the market,
# as if it had been left open: a saved page document of the lines page 1 has
# (zphd's control port answers "ERR no line" past the last one).
mavo_key='HKEY_CURRENT_USER\Software\Halvern\MAVO'
if ! "$reg" query "$mavo_key\MainFrame" >/dev/null 2>&1 &&
   ! "$reg" query "$mavo_key\MAVO Document" >/dev/null 2>&1; then
  lines=0
  while [ $lines -lt 26 ]; do
    reply=$(printf 'get 1 %d\n' $((lines + 1)) | socat -T 2 - "TCP:127.0.0.1:$control_port" 2>/dev/null || true)
    case $reply in OK*) lines=$((lines + 1)) ;; *) break ;; esac
  done
  [ $lines -gt 0 ] || lines=26
  {
    echo 'Windows Registry Editor Version 5.00'
    echo
    echo "[$mavo_key\MAVO Document\0]"
    echo '"Title"="Page 1"'
    printf '"LineCount"=dword:%08x\n' "$lines"
    echo '"Page"=dword:00000001'
    echo
    echo "[$mavo_key\MAVO Document\0\Lines]"
    for line in $(seq 1 "$lines"); do
      printf '"%d"=dword:%08x\n' $((line - 1)) $((100 + line))
    done
  } > "$run/first-page.reg"
  "$reg" import "$run/first-page.reg"
fi

echo "zphd is serving on 127.0.0.1:$socket_port (log: $run/zphd.log)."
echo "Its control port is $control_port, for example:"
echo "  printf 'notify all Desk closes at 5|Call 110\\n' | socat - TCP:127.0.0.1:$control_port"
echo "MAVO's settings: $BRINDLE_REGISTRY_DIR"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  seconds=${MAVO_RUN_SECONDS:-8}
  shot=$run/mavo-main-window.png
  echo "No display: MAVO runs offscreen for $seconds seconds."
  QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES='qt.qpa.*=false' \
    "$mavo" --quit-after "$seconds" --screenshot "$shot"
  echo "A picture of MAVO's main window: $shot"
  echo "For a real window run it on a desktop; under a virtual display (X server,"
  echo "window manager-less) the same picture comes from a real window with:"
  echo "  MAVO_RUN_SECONDS=8 xvfb-run -a bash scripts/run.sh"
elif [ -n "${MAVO_RUN_SECONDS:-}" ]; then
  shot=$run/mavo-main-window.png
  "$mavo" --quit-after "$MAVO_RUN_SECONDS" --screenshot "$shot"
  echo "A picture of MAVO's main window: $shot"
else
  "$mavo"
fi
